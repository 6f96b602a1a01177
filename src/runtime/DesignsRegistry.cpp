#include "runtime/DesignsRegistry.h"

#include <map>
#include <memory>

#include "runtime/Graphics.h"

// The runtime's own classes register themselves on the first lookup, which also makes
// sure their units are linked into every program that reads designs.
void RegisterComponentsClasses();
void RegisterControlsClasses();
void RegisterFormsClasses();
void RegisterStdCtrlsClasses();
void RegisterExtCtrlsClasses();
void RegisterDialogsClasses();

namespace {

std::string Lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

std::map<std::string, std::unique_ptr<TClassInfo>>& Classes() {
  static std::map<std::string, std::unique_ptr<TClassInfo>> map;
  return map;
}

void EnsureRuntimeClasses() {
  static bool done = false;
  if (done) return;
  done = true;
  RegisterComponentsClasses();
  RegisterControlsClasses();
  RegisterFormsClasses();
  RegisterStdCtrlsClasses();
  RegisterExtCtrlsClasses();
  RegisterDialogsClasses();
}

template <class T>
const T* FindByName(const std::vector<T>& list, const std::string& name) {
  for (const T& e : list) {
    if (SameText(e.Name, name)) return &e;
  }
  return nullptr;
}

}  // namespace

const TClassInfo* TClassInfo::Parent() const { return ParentName.empty() ? nullptr : FindClassInfo(ParentName); }

const TPropInfo* TClassInfo::FindProperty(const std::string& PropName) const {
  for (const TClassInfo* c = this; c != nullptr; c = c->Parent()) {
    if (const TPropInfo* p = FindByName(c->Properties, PropName)) return p;
  }
  return nullptr;
}

const TFieldInfo* TClassInfo::FindField(const std::string& FieldName) const {
  for (const TClassInfo* c = this; c != nullptr; c = c->Parent()) {
    if (const TFieldInfo* f = FindByName(c->Fields, FieldName)) return f;
  }
  return nullptr;
}

const TMethodInfo* TClassInfo::FindMethod(const std::string& MethodName) const {
  for (const TClassInfo* c = this; c != nullptr; c = c->Parent()) {
    if (const TMethodInfo* m = FindByName(c->Methods, MethodName)) return m;
  }
  return nullptr;
}

bool TClassInfo::InheritsFrom(const std::string& AncestorName) const {
  for (const TClassInfo* c = this; c != nullptr; c = c->Parent()) {
    if (SameText(c->Name, AncestorName)) return true;
  }
  return false;
}

TClassInfo& RegisterClassInfo(const std::string& Name, const std::string& ParentName) {
  auto info = std::make_unique<TClassInfo>();
  info->Name = Name;
  info->ParentName = ParentName;
  TClassInfo& ref = *info;
  Classes()[Lower(Name)] = std::move(info);
  return ref;
}

const TClassInfo* FindClassInfo(const std::string& Name) {
  EnsureRuntimeClasses();
  auto it = Classes().find(Lower(Name));
  return it == Classes().end() ? nullptr : it->second.get();
}

void UnregisterClassInfo(const std::string& Name) { Classes().erase(Lower(Name)); }

bool IdentToColor(const std::string& Ident, int32_t& Color) {
  static const std::vector<std::pair<const char*, TColor>> names = {
      {"clBlack", clBlack},
      {"clMaroon", clMaroon},
      {"clGreen", clGreen},
      {"clOlive", clOlive},
      {"clNavy", clNavy},
      {"clPurple", clPurple},
      {"clTeal", clTeal},
      {"clGray", clGray},
      {"clSilver", clSilver},
      {"clRed", clRed},
      {"clLime", clLime},
      {"clYellow", clYellow},
      {"clBlue", clBlue},
      {"clFuchsia", clFuchsia},
      {"clAqua", clAqua},
      {"clLtGray", clLtGray},
      {"clDkGray", clDkGray},
      {"clWhite", clWhite},
      {"clNone", clNone},
      {"clDefault", clDefault},
      {"clScrollBar", clScrollBar},
      {"clBackground", clBackground},
      {"clActiveCaption", clActiveCaption},
      {"clInactiveCaption", clInactiveCaption},
      {"clMenu", clMenu},
      {"clWindow", clWindow},
      {"clWindowFrame", clWindowFrame},
      {"clMenuText", clMenuText},
      {"clWindowText", clWindowText},
      {"clCaptionText", clCaptionText},
      {"clActiveBorder", clActiveBorder},
      {"clInactiveBorder", clInactiveBorder},
      {"clAppWorkSpace", clAppWorkSpace},
      {"clHighlight", clHighlight},
      {"clHighlightText", clHighlightText},
      {"clBtnFace", clBtnFace},
      {"clBtnShadow", clBtnShadow},
      {"clGrayText", clGrayText},
      {"clBtnText", clBtnText},
      {"clInactiveCaptionText", clInactiveCaptionText},
      {"clBtnHighlight", clBtnHighlight},
      {"cl3DDkShadow", cl3DDkShadow},
      {"cl3DLight", cl3DLight},
      {"clInfoText", clInfoText},
      {"clInfoBk", clInfoBk},
  };
  for (const auto& [name, value] : names) {
    if (SameText(name, Ident)) {
      Color = value;
      return true;
    }
  }
  return false;
}

// ---- the component model's and the drawing classes' published properties ----

namespace {
void SetFontStyleBits(TFont* f, uint32_t bits) {
  TFontStyles s;
  for (int i = 0; i < 4; ++i) {
    if (bits & (1u << i)) s.Include(static_cast<TFontStyle>(i));
  }
  f->SetStyle(s);
}
}  // namespace

void RegisterComponentsClasses() {
  RegisterClassInfo("TObject", "");
  RegisterClassInfo("TPersistent", "TObject");
  RegisterClassInfo("TComponent", "TPersistent");
  RegisterClassInfo("TCollectionItem", "TPersistent");
  RegisterClassInfo("TCollection", "TPersistent");
  RegisterPersistentClass<THashCollectionItem, TCollectionItem>().Str("Name", &THashCollectionItem::SetName);
  RegisterClassInfo("THashCollection", "TCollection");
  RegisterClassInfo("TGraphicsObject", "TPersistent");
  RegisterPersistentClass<TFont, TGraphicsObject>()
      .Str("Name", &TFont::SetName)
      .Int("Size", &TFont::SetSize)
      .Int("Height", &TFont::SetHeight)
      .Color("Color", &TFont::SetColor)
      .Enum("Pitch", &TFont::SetPitch, {{"fpDefault", fpDefault}, {"fpVariable", fpVariable}, {"fpFixed", fpFixed}});
  // A set setter wants a plain bit set; the font's style set is built from it.
  TClassInfo& font = *const_cast<TClassInfo*>(FindClassInfo("TFont"));
  TPropInfo style;
  style.Name = "Style";
  style.Kind = TPropKind::Set;
  style.Names = {{"fsBold", 0}, {"fsItalic", 1}, {"fsUnderline", 2}, {"fsStrikeOut", 3}};
  style.SetOrdinal = [](TPersistent* o, int64_t v) {
    if (auto* f = dynamic_cast<TFont*>(o)) SetFontStyleBits(f, static_cast<uint32_t>(v));
  };
  font.Properties.push_back(std::move(style));
  // Text is 8-bit throughout, so a stored character set changes nothing; designs may
  // still name one.
  TPropInfo charset;
  charset.Name = "Charset";
  charset.Kind = TPropKind::Enumeration;
  charset.Names = {{"ANSI_CHARSET", 0}, {"DEFAULT_CHARSET", 1}, {"SYMBOL_CHARSET", 2}, {"OEM_CHARSET", 255}};
  charset.SetOrdinal = [](TPersistent*, int64_t) {};
  font.Properties.push_back(std::move(charset));
  RegisterPersistentClass<TBrush, TGraphicsObject>()
      .Color("Color", &TBrush::SetColor)
      .Enum("Style", &TBrush::SetStyle, {{"bsSolid", bsSolid}, {"bsClear", bsClear}});
  RegisterPersistentClass<TPen, TGraphicsObject>()
      .Color("Color", &TPen::SetColor)
      .Int("Width", &TPen::SetWidth);
  // A picture's contents come through its "Data" binary property (DefineProperties).
  RegisterPersistentClass<TPicture, TPersistent>();
}
