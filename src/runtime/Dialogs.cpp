#include "runtime/Dialogs.h"

#include <fnmatch.h>

#include <algorithm>
#include <filesystem>
#include <memory>
#include <system_error>

#include "runtime/DesignsRegistry.h"
#include "runtime/StdCtrls.h"

namespace fs = std::filesystem;

namespace {

// A form made in code for a stock dialog: a fixed dialog border, centred.
std::unique_ptr<TForm> MakeDialogForm(const std::string& Caption, int32_t ClientW, int32_t ClientH) {
  auto f = std::make_unique<TForm>(nullptr);
  f->SetCaption(Caption);
  f->SetBorderStyle(bsDialog);
  f->SetBorderIcons(biSystemMenu);
  f->SetPosition(poScreenCenter);
  f->Font()->SetName("MS Sans Serif");
  f->SetClientWidth(ClientW);
  f->SetClientHeight(ClientH);
  return f;
}

template <class T>
T* Place(TForm* Form, int32_t L, int32_t T_, int32_t W, int32_t H) {
  T* c = new T(Form);
  c->SetBounds(L, T_, W, H);
  c->SetParent(Form);
  return c;
}

std::string Lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

}  // namespace

int32_t ShowMessageBox(const std::string& Text, const std::string& Caption) {
  TFont font;
  font.SetName("MS Sans Serif");
  // The text is laid out line by line; the box grows to fit it, within reason.
  std::vector<std::string> lines;
  size_t start = 0;
  while (true) {
    size_t br = Text.find('\n', start);
    std::string line = Text.substr(start, br == std::string::npos ? std::string::npos : br - start);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
    if (br == std::string::npos) break;
    start = br + 1;
  }
  // A line wider than the widest box is broken between words, so a long explanation (a
  // hive's reason after the settings' own message) is read whole rather than cut off.
  constexpr int32_t kMaxTextW = 800 - 48;
  int32_t lineH = 13;
  std::vector<std::string> wrapped;
  for (const std::string& l : lines) {
    std::string current;
    size_t pos = 0;
    while (pos <= l.size()) {
      size_t space = l.find(' ', pos);
      if (space == std::string::npos) space = l.size();
      const std::string word = l.substr(pos, space - pos);
      const std::string joined = current.empty() ? word : current + " " + word;
      if (!current.empty() && MeasureText(&font, joined, &lineH, TTextWidth::Ink) > kMaxTextW) {
        wrapped.push_back(current);
        current = word;
      } else {
        current = joined;
      }
      pos = space + 1;
    }
    wrapped.push_back(current);
  }
  std::string shown;
  int32_t textW = 0;
  for (size_t i = 0; i < wrapped.size(); ++i) {
    textW = std::max(textW, MeasureText(&font, wrapped[i], &lineH, TTextWidth::Ink));
    shown += (i == 0 ? "" : "\n") + wrapped[i];
  }
  textW = std::min(textW, kMaxTextW);
  const int32_t textH = lineH * static_cast<int32_t>(wrapped.size());
  const int32_t clientW = std::clamp(textW + 48, 160, 800);
  const int32_t clientH = textH + 24 + 16 + 25 + 12;
  std::unique_ptr<TForm> form = MakeDialogForm(Caption, clientW, clientH);
  auto* label = Place<TLabel>(form.get(), 24, 20, textW, textH);
  label->SetName("Message");
  label->SetCaption(shown);
  auto* ok = Place<TButton>(form.get(), (clientW - 75) / 2, 20 + textH + 16, 75, 25);
  ok->SetName("OKButton");
  ok->SetCaption("OK");
  ok->SetDefault(true);
  ok->SetCancel(true);
  ok->SetModalResult(mrOk);
  form->SetActiveControl(ok);
  const TModalResult r = form->ShowModal();
  return r == mrOk ? IDOK : IDCANCEL;
}

void ShowMessage(const std::string& Text) { ShowMessageBox(Text, Application != nullptr ? Application->Title() : ""); }

// ---- TOpenDialog ----

TOpenDialog::TOpenDialog(TComponent* AOwner) : TComponent(AOwner) {}
TOpenDialog::~TOpenDialog() = default;

std::vector<TOpenDialog::TFilterEntry> TOpenDialog::ParseFilter(const std::string& Filter) {
  std::vector<std::string> parts;
  size_t start = 0;
  while (start <= Filter.size()) {
    size_t bar = Filter.find('|', start);
    if (bar == std::string::npos) bar = Filter.size();
    parts.push_back(Filter.substr(start, bar - start));
    start = bar + 1;
  }
  std::vector<TFilterEntry> out;
  for (size_t i = 0; i + 1 < parts.size(); i += 2) {
    TFilterEntry e;
    e.Description = parts[i];
    size_t s = 0;
    const std::string& masks = parts[i + 1];
    while (s <= masks.size()) {
      size_t semi = masks.find(';', s);
      if (semi == std::string::npos) semi = masks.size();
      std::string m = masks.substr(s, semi - s);
      m.erase(0, m.find_first_not_of(' '));
      if (!m.empty()) e.Masks.push_back(m);
      s = semi + 1;
    }
    out.push_back(std::move(e));
  }
  return out;
}

bool TOpenDialog::MatchesMask(const std::string& Name, const std::vector<std::string>& Masks) {
  if (Masks.empty()) return true;
  for (const std::string& m : Masks) {
    if (m == "*.*" || m == "*") return true;
    // Extensions are compared without regard to case: a ".BMP" file is a bitmap too.
    if (fnmatch(Lower(m).c_str(), Lower(Name).c_str(), 0) == 0) return true;
  }
  return false;
}

std::vector<std::string> TOpenDialog::CurrentMasks() const {
  if (!FMaskOverride.empty()) return FMaskOverride;
  const auto entries = ParseFilter(FFilter);
  if (entries.empty()) return {};
  const int32_t i = std::clamp(FFilterIndex, 1, static_cast<int32_t>(entries.size())) - 1;
  return entries[static_cast<size_t>(i)].Masks;
}

void TOpenDialog::Fill() {
  std::vector<std::string> files;
  std::vector<std::string> folders;
  std::error_code ec;
  for (fs::directory_iterator it(FDir, fs::directory_options::skip_permission_denied, ec), end; !ec && it != end;
       it.increment(ec)) {
    const std::string name = it->path().filename().string();
    if (name.empty() || name[0] == '.') continue;
    std::error_code tec;
    if (it->is_directory(tec)) {
      folders.push_back(name);
    } else if (MatchesMask(name, CurrentMasks())) {
      files.push_back(name);
    }
  }
  auto byName = [](const std::string& a, const std::string& b) { return Lower(a) < Lower(b); };
  std::sort(files.begin(), files.end(), byName);
  std::sort(folders.begin(), folders.end(), byName);
  if (fs::path(FDir) != fs::path(FDir).root_path()) folders.insert(folders.begin(), "..");
  FFiles->SetItems(files);
  FFolders->SetItems(folders);
  FDirLabel->SetCaption(FDir);
}

void TOpenDialog::ChangeDir(const std::string& Dir) {
  std::error_code ec;
  fs::path p = fs::weakly_canonical(fs::absolute(Dir, ec), ec);
  if (ec || !fs::is_directory(p, ec)) return;
  FDir = p.string();
  Fill();
}

bool TOpenDialog::Accept(const std::string& Path) {
  fs::path p(Path);
  if (p.extension().empty() && !FDefaultExt.empty()) {
    fs::path withExt = p;
    withExt += "." + FDefaultExt;
    std::error_code ec;
    if (fs::exists(withExt, ec) || !fs::exists(p, ec)) p = withExt;
  }
  std::error_code ec;
  if ((FOptions & ofFileMustExist) && !fs::is_regular_file(p, ec)) {
    ShowMessageBox(Format(SFileNotFound, {p.filename().string()}), FTitle.empty() ? "Open" : FTitle);
    return false;
  }
  FFileName = p.lexically_normal().string();
  FForm->SetModalResult(mrOk);
  return true;
}

void TOpenDialog::OkClick(TObject* Sender) {
  (void)Sender;
  TWinControl* focused = FForm->ActiveControl();
  if (focused == FFolders && FFolders->ItemIndex() >= 0) {
    ChangeDir((fs::path(FDir) / FFolders->Item(FFolders->ItemIndex())).string());
    return;
  }
  std::string text = FNameEdit->Text();
  if (text.empty() && focused == FFiles && FFiles->ItemIndex() >= 0) text = FFiles->Item(FFiles->ItemIndex());
  if (text.empty()) return;
  // A home-relative name is what people type in a terminal; take it as such.
  if (text[0] == '~') {
    if (const char* home = std::getenv("HOME")) text = std::string(home) + text.substr(1);
  }
  fs::path p(text);
  if (p.is_relative()) p = fs::path(FDir) / p;
  std::error_code ec;
  if (fs::is_directory(p, ec)) {
    ChangeDir(p.string());
    FNameEdit->SetText("");
    return;
  }
  const std::string leaf = p.filename().string();
  if (leaf.find_first_of("*?") != std::string::npos) {
    FMaskOverride = {leaf};
    ChangeDir(p.parent_path().string());
    return;
  }
  Accept(p.string());
}

void TOpenDialog::FileClick(TObject* Sender) {
  (void)Sender;
  if (FFiles->ItemIndex() >= 0) FNameEdit->SetText(FFiles->Item(FFiles->ItemIndex()));
}

void TOpenDialog::FileDblClick(TObject* Sender) {
  (void)Sender;
  if (FFiles->ItemIndex() >= 0) Accept((fs::path(FDir) / FFiles->Item(FFiles->ItemIndex())).string());
}

void TOpenDialog::FolderDblClick(TObject* Sender) {
  (void)Sender;
  if (FFolders->ItemIndex() >= 0) ChangeDir((fs::path(FDir) / FFolders->Item(FFolders->ItemIndex())).string());
}

bool TOpenDialog::Execute() {
  std::unique_ptr<TForm> form = MakeDialogForm(FTitle.empty() ? "Open" : FTitle, 400, 272);
  FForm = form.get();
  FMaskOverride.clear();
  auto* look = Place<TLabel>(FForm, 8, 8, 50, 13);
  look->SetCaption("Look in:");
  FDirLabel = Place<TLabel>(FForm, 64, 8, 328, 13);
  FDirLabel->SetAutoSize(false);
  FDirLabel->SetBounds(64, 8, 328, 13);  // an empty label had shrunk to nothing
  auto* nameLabel = Place<TLabel>(FForm, 8, 28, 60, 13);
  nameLabel->SetCaption("File name:");
  auto* folderLabel = Place<TLabel>(FForm, 200, 28, 60, 13);
  folderLabel->SetCaption("Folders:");
  FNameEdit = Place<TEdit>(FForm, 8, 44, 184, 21);
  FNameEdit->SetName("FileNameEdit");
  FFiles = Place<TListBox>(FForm, 8, 70, 184, 140);
  FFiles->SetName("FileList");
  FFolders = Place<TListBox>(FForm, 200, 44, 192, 166);
  FFolders->SetName("FolderList");
  // The lists show whole rows, their bottoms level: a row cut in half at the bottom
  // looks like the end of the list.
  FFolders->SetHeight(FFolders->WholeRowsHeight(166));
  const int32_t listsBottom = FFolders->Top() + FFolders->Height();
  const int32_t filesHeight = FFiles->WholeRowsHeight(listsBottom - 70);
  FFiles->SetBounds(8, listsBottom - filesHeight, 184, filesHeight);
  auto* typeLabel = Place<TLabel>(FForm, 8, 220, 80, 13);
  typeLabel->SetCaption("Files of type:");
  auto* typeName = Place<TLabel>(FForm, 90, 220, 300, 13);
  const auto entries = ParseFilter(FFilter);
  if (!entries.empty()) {
    typeName->SetCaption(entries[static_cast<size_t>(std::clamp(FFilterIndex, 1, static_cast<int32_t>(entries.size())) - 1)].Description);
  } else {
    typeName->SetCaption("All files");
  }
  auto* ok = Place<TButton>(FForm, 236, 240, 75, 25);
  ok->SetName("OKButton");
  ok->SetCaption("OK");
  ok->SetDefault(true);
  auto* cancel = Place<TButton>(FForm, 317, 240, 75, 25);
  cancel->SetName("CancelButton");
  cancel->SetCaption("Cancel");
  cancel->SetCancel(true);
  cancel->SetModalResult(mrCancel);
  ok->SetOnClick([this](TObject* s) { OkClick(s); });
  FFiles->SetOnClick([this](TObject* s) { FileClick(s); });
  FFiles->SetOnDblClick([this](TObject* s) { FileDblClick(s); });
  FFolders->SetOnDblClick([this](TObject* s) { FolderDblClick(s); });

  // Start where the current name lives, else in the initial folder, else here.
  std::error_code ec;
  std::string start = FInitialDir;
  fs::path current(FFileName);
  if (!FFileName.empty() && current.has_parent_path() && fs::is_directory(current.parent_path(), ec)) {
    start = current.parent_path().string();
  }
  if (start.empty() || !fs::is_directory(start, ec)) start = fs::current_path(ec).string();
  FDir.clear();
  ChangeDir(start);
  if (FDir.empty()) ChangeDir("/");
  FNameEdit->SetText(current.filename().string());
  FForm->SetActiveControl(FNameEdit);

  TModalResult r = mrCancel;
  try {
    r = FForm->ShowModal();
  } catch (...) {
    FForm = nullptr;
    throw;
  }
  FForm = nullptr;
  FNameEdit = nullptr;
  FFiles = FFolders = nullptr;
  FDirLabel = nullptr;
  return r == mrOk;
}

void RegisterDialogsClasses() {
  RegisterComponentClass<TOpenDialog, TComponent>()
      .Str("Filter", &TOpenDialog::SetFilter)
      .Int("FilterIndex", &TOpenDialog::SetFilterIndex)
      .Str("InitialDir", &TOpenDialog::SetInitialDir)
      .Str("FileName", &TOpenDialog::SetFileName)
      .Str("Title", &TOpenDialog::SetTitle)
      .Str("DefaultExt", &TOpenDialog::SetDefaultExt)
      .Set("Options", &TOpenDialog::SetOptions,
           {"ofReadOnly", "ofOverwritePrompt", "ofHideReadOnly", "ofNoChangeDir", "ofShowHelp", "ofNoValidate",
            "ofAllowMultiSelect", "ofExtensionDifferent", "ofPathMustExist", "ofFileMustExist"});
}
