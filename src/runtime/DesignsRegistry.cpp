#include "runtime/DesignsRegistry.h"

#include <map>
#include <memory>

#include "runtime/Graphics.h"

namespace {

std::string Lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

std::map<std::string, std::unique_ptr<TClassInfo>>& Classes() {
  static std::map<std::string, std::unique_ptr<TClassInfo>> map;
  return map;
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
