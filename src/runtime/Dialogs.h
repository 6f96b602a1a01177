#pragma once
// The stock dialogs: the message box and the file-open dialog, both modal forms built
// from the runtime's own controls.
#include <cstdint>
#include <string>
#include <vector>

#include "runtime/Forms.h"

inline constexpr int32_t IDOK = 1;
inline constexpr int32_t IDCANCEL = 2;

// A modal box with the text, the caption and an OK button; Enter or Escape closes it.
// Answers IDOK (IDCANCEL when closed by its close box).
int32_t ShowMessageBox(const std::string& Text, const std::string& Caption);
// A message box captioned with the application's title.
void ShowMessage(const std::string& Text);

// Open dialog options: a set of these bits.
using TOpenOptions = uint32_t;
inline constexpr TOpenOptions ofReadOnly = 1u << 0;
inline constexpr TOpenOptions ofOverwritePrompt = 1u << 1;
inline constexpr TOpenOptions ofHideReadOnly = 1u << 2;
inline constexpr TOpenOptions ofNoChangeDir = 1u << 3;
inline constexpr TOpenOptions ofShowHelp = 1u << 4;
inline constexpr TOpenOptions ofNoValidate = 1u << 5;
inline constexpr TOpenOptions ofAllowMultiSelect = 1u << 6;
inline constexpr TOpenOptions ofExtensionDifferent = 1u << 7;
inline constexpr TOpenOptions ofPathMustExist = 1u << 8;
inline constexpr TOpenOptions ofFileMustExist = 1u << 9;

inline constexpr const char* SFileNotFound = "%s\nFile not found.\nCheck the file name and try again.";

class TEdit;
class TListBox;
class TLabel;

// The file-open dialog. Execute shows a modal form with the folder's matching files,
// its subfolders (with ".." to go up), a file-name field, the file type, and Ok/Cancel.
// Typing a name and pressing Enter chooses it; a folder name opens that folder.
class TOpenDialog : public TComponent {
 public:
  PELLORA_CLASS_NAME(TOpenDialog)
  explicit TOpenDialog(TComponent* AOwner);
  ~TOpenDialog() override;

  const std::string& Filter() const { return FFilter; }
  void SetFilter(const std::string& Value) { FFilter = Value; }
  int32_t FilterIndex() const { return FFilterIndex; }
  void SetFilterIndex(int32_t Value) { FFilterIndex = Value; }
  const std::string& InitialDir() const { return FInitialDir; }
  void SetInitialDir(const std::string& Value) { FInitialDir = Value; }
  // The chosen file's full path after Execute answered true.
  const std::string& FileName() const { return FFileName; }
  void SetFileName(const std::string& Value) { FFileName = Value; }
  const std::string& Title() const { return FTitle; }
  void SetTitle(const std::string& Value) { FTitle = Value; }
  const std::string& DefaultExt() const { return FDefaultExt; }
  void SetDefaultExt(const std::string& Value) { FDefaultExt = Value; }
  TOpenOptions Options() const { return FOptions; }
  void SetOptions(TOpenOptions Value) { FOptions = Value; }

  bool Execute();

  // The description and masks of each filter entry ("Bitmap files|*.bmp").
  struct TFilterEntry {
    std::string Description;
    std::vector<std::string> Masks;
  };
  static std::vector<TFilterEntry> ParseFilter(const std::string& Filter);
  static bool MatchesMask(const std::string& Name, const std::vector<std::string>& Masks);
  // The dialog form while Execute runs (nullptr otherwise), for scripted tests.
  TForm* DialogForm() const { return FForm; }
  const std::string& CurrentDir() const { return FDir; }

 private:
  void Fill();
  void ChangeDir(const std::string& Dir);
  void OkClick(TObject* Sender);
  void FileClick(TObject* Sender);
  void FileDblClick(TObject* Sender);
  void FolderDblClick(TObject* Sender);
  bool Accept(const std::string& Path);
  std::vector<std::string> CurrentMasks() const;

  std::string FFilter;
  int32_t FFilterIndex = 1;
  std::string FInitialDir;
  std::string FFileName;
  std::string FTitle;
  std::string FDefaultExt;
  TOpenOptions FOptions = ofHideReadOnly;

  std::string FDir;
  std::vector<std::string> FMaskOverride;
  TForm* FForm = nullptr;
  TEdit* FNameEdit = nullptr;
  TListBox* FFiles = nullptr;
  TListBox* FFolders = nullptr;
  TLabel* FDirLabel = nullptr;
};

// Makes this unit's classes known to the design reader; the program's list of units calls
// it once at start.
void RegisterDialogsClasses();
