#pragma once
// Published properties, fields and methods, registered per class by name so that the
// design reader can make components and set their properties from a stored design.
//
//   RegisterComponentClass<TButton, TWinControl>()
//       .Str("Caption", &TButton::SetCaption)
//       .Int("ModalResult", &TButton::SetModalResult)
//       .Event("OnClick", &TButton::SetOnClick);
//   RegisterFormClass<TOptionsForm1>()
//       .Field("Button2", &TOptionsForm1::Button2)
//       .Method("Button2Click", &TOptionsForm1::Button2Click);
#include <any>
#include <cstdint>
#include <functional>
#include <string>
#include <type_traits>
#include <typeindex>
#include <utility>
#include <vector>

#include "runtime/Components.h"

enum class TPropKind { Integer, Boolean, String, Enumeration, Set, Color, Component, Persistent, Collection, Event };

struct TEnumName {
  std::string Name;
  int32_t Value;
};

struct TPropInfo {
  std::string Name;
  TPropKind Kind = TPropKind::Integer;
  // Integer, Boolean (0/1), Enumeration (value), Set (bit n = element n), Color.
  std::function<void(TPersistent*, int64_t)> SetOrdinal;
  int64_t MinValue = INT32_MIN;
  int64_t MaxValue = INT32_MAX;
  std::function<void(TPersistent*, const std::string&)> SetString;
  // Component: the setter and a test that the referenced component is of the right class.
  std::function<void(TPersistent*, TComponent*)> SetComponent;
  std::function<bool(TComponent*)> AcceptsComponent;
  // Persistent and Collection: the object the nested properties or items go to.
  std::function<TPersistent*(TPersistent*)> GetObject;
  std::vector<TEnumName> Names;  // Enumeration and Set
  // Event: the handler type (a std::function) and its setter taking a std::any of it.
  std::type_index EventType = typeid(void);
  std::function<void(TPersistent*, const std::any&)> SetEvent;
};

// A published method: its type as a std::function and how to bind it to an instance.
struct TMethodInfo {
  std::string Name;
  std::type_index Type = typeid(void);
  std::function<std::any(TComponent* Instance)> Bind;
};

// A published field: a component pointer of the root form set when a component of that
// name is made from its design.
struct TFieldInfo {
  std::string Name;
  std::function<bool(TComponent* Root, TComponent* Value)> Set;  // false: wrong class
};

struct TClassInfo {
  std::string Name;
  std::string ParentName;
  std::function<TComponent*(TComponent* Owner)> Create;  // empty for plain persistents
  std::vector<TPropInfo> Properties;
  std::vector<TFieldInfo> Fields;
  std::vector<TMethodInfo> Methods;

  const TClassInfo* Parent() const;
  // Looked up through the parents, case-insensitively.
  const TPropInfo* FindProperty(const std::string& PropName) const;
  const TFieldInfo* FindField(const std::string& FieldName) const;
  const TMethodInfo* FindMethod(const std::string& MethodName) const;
  bool InheritsFrom(const std::string& AncestorName) const;
};

// Registering a name twice replaces the earlier entry, so a test may re-register.
TClassInfo& RegisterClassInfo(const std::string& Name, const std::string& ParentName);
const TClassInfo* FindClassInfo(const std::string& Name);
void UnregisterClassInfo(const std::string& Name);

// Named colour constants for Color properties ("clBlack", "clBtnFace", ...).
bool IdentToColor(const std::string& Ident, int32_t& Color);

namespace designs_detail {
template <class T>
struct MemberArg;
template <class R, class O, class A>
struct MemberArg<R (O::*)(A)> {
  using Object = O;
  using Arg = std::remove_cvref_t<A>;
};
template <class T>
struct MemberGet;
template <class R, class O>
struct MemberGet<R (O::*)() const> {
  using Object = O;
};
template <class R, class O>
struct MemberGet<R (O::*)()> {
  using Object = O;
};
template <class O, class T>
O* Cast(TPersistent* p) {
  O* o = dynamic_cast<O*>(p);
  if (o == nullptr) throw EReadError("Property applied to an object of the wrong class");
  return o;
}
}  // namespace designs_detail

// The fluent face of a TClassInfo for class C; each call adds one published entry.
template <class C>
class TClassBuilder {
 public:
  explicit TClassBuilder(TClassInfo& Info) : FInfo(Info) {}
  TClassInfo& Info() { return FInfo; }

  template <class Setter>
  TClassBuilder& Int(const std::string& Name, Setter set, int64_t Min = INT32_MIN, int64_t Max = INT32_MAX) {
    TPropInfo p = Ordinal(Name, TPropKind::Integer, set);
    p.MinValue = Min;
    p.MaxValue = Max;
    FInfo.Properties.push_back(std::move(p));
    return *this;
  }
  template <class Setter>
  TClassBuilder& Bool(const std::string& Name, Setter set) {
    FInfo.Properties.push_back(Ordinal(Name, TPropKind::Boolean, set));
    return *this;
  }
  template <class Setter>
  TClassBuilder& Color(const std::string& Name, Setter set) {
    FInfo.Properties.push_back(Ordinal(Name, TPropKind::Color, set));
    return *this;
  }
  template <class Setter>
  TClassBuilder& Enum(const std::string& Name, Setter set, std::vector<TEnumName> Names) {
    TPropInfo p = Ordinal(Name, TPropKind::Enumeration, set);
    p.Names = std::move(Names);
    FInfo.Properties.push_back(std::move(p));
    return *this;
  }
  // Element n of Names is bit n of the set value handed to the setter.
  template <class Setter>
  TClassBuilder& Set(const std::string& Name, Setter set, std::vector<std::string> Names) {
    TPropInfo p = Ordinal(Name, TPropKind::Set, set);
    for (size_t i = 0; i < Names.size(); ++i) p.Names.push_back({Names[i], static_cast<int32_t>(i)});
    FInfo.Properties.push_back(std::move(p));
    return *this;
  }
  template <class Setter>
  TClassBuilder& Str(const std::string& Name, Setter set) {
    using M = designs_detail::MemberArg<Setter>;
    TPropInfo p;
    p.Name = Name;
    p.Kind = TPropKind::String;
    p.SetString = [set](TPersistent* o, const std::string& v) {
      (designs_detail::Cast<typename M::Object, C>(o)->*set)(v);
    };
    FInfo.Properties.push_back(std::move(p));
    return *this;
  }
  // A reference to another component of the design, set after the whole design is read.
  template <class Setter>
  TClassBuilder& Ref(const std::string& Name, Setter set) {
    using M = designs_detail::MemberArg<Setter>;
    using Target = std::remove_pointer_t<typename M::Arg>;
    TPropInfo p;
    p.Name = Name;
    p.Kind = TPropKind::Component;
    p.SetComponent = [set](TPersistent* o, TComponent* v) {
      (designs_detail::Cast<typename M::Object, C>(o)->*set)(dynamic_cast<Target*>(v));
    };
    p.AcceptsComponent = [](TComponent* v) { return v == nullptr || dynamic_cast<Target*>(v) != nullptr; };
    FInfo.Properties.push_back(std::move(p));
    return *this;
  }
  // A nested persistent (Font, Display, Picture) whose own properties the design sets.
  template <class Getter>
  TClassBuilder& Object(const std::string& Name, Getter get) {
    FInfo.Properties.push_back(Nested(Name, TPropKind::Persistent, get));
    return *this;
  }
  template <class Getter>
  TClassBuilder& Collection(const std::string& Name, Getter get) {
    FInfo.Properties.push_back(Nested(Name, TPropKind::Collection, get));
    return *this;
  }
  // An event; the setter takes the handler type, a std::function.
  template <class Setter>
  TClassBuilder& Event(const std::string& Name, Setter set) {
    using M = designs_detail::MemberArg<Setter>;
    using Handler = typename M::Arg;
    TPropInfo p;
    p.Name = Name;
    p.Kind = TPropKind::Event;
    p.EventType = typeid(Handler);
    p.SetEvent = [set](TPersistent* o, const std::any& h) {
      (designs_detail::Cast<typename M::Object, C>(o)->*set)(std::any_cast<Handler>(h));
    };
    FInfo.Properties.push_back(std::move(p));
    return *this;
  }
  // A published component field of a form class.
  template <class O, class T>
  TClassBuilder& Field(const std::string& Name, T* O::*field) {
    FInfo.Fields.push_back({Name, [field](TComponent* root, TComponent* v) {
                              O* o = dynamic_cast<O*>(root);
                              T* t = dynamic_cast<T*>(v);
                              if (o == nullptr || (t == nullptr && v != nullptr)) return false;
                              o->*field = t;
                              return true;
                            }});
    return *this;
  }
  // A published method that events of the design can name.
  template <class O, class... A>
  TClassBuilder& Method(const std::string& Name, void (O::*method)(A...)) {
    using Handler = std::function<void(A...)>;
    FInfo.Methods.push_back({Name, typeid(Handler), [method](TComponent* instance) -> std::any {
                               O* o = dynamic_cast<O*>(instance);
                               if (o == nullptr) return {};
                               return Handler([o, method](A... args) { (o->*method)(std::forward<A>(args)...); });
                             }});
    return *this;
  }

 private:
  template <class Setter>
  TPropInfo Ordinal(const std::string& Name, TPropKind Kind, Setter set) {
    using M = designs_detail::MemberArg<Setter>;
    TPropInfo p;
    p.Name = Name;
    p.Kind = Kind;
    p.SetOrdinal = [set](TPersistent* o, int64_t v) {
      (designs_detail::Cast<typename M::Object, C>(o)->*set)(static_cast<typename M::Arg>(v));
    };
    if (Kind == TPropKind::Boolean) {
      p.MinValue = 0;
      p.MaxValue = 1;
    }
    return p;
  }
  template <class Getter>
  TPropInfo Nested(const std::string& Name, TPropKind Kind, Getter get) {
    using M = designs_detail::MemberGet<Getter>;
    TPropInfo p;
    p.Name = Name;
    p.Kind = Kind;
    p.GetObject = [get](TPersistent* o) -> TPersistent* {
      return (designs_detail::Cast<typename M::Object, C>(o)->*get)();
    };
    return p;
  }

  TClassInfo& FInfo;
};

// A persistent class whose properties designs set (a font, a picture, a collection item).
template <class C, class Parent = TPersistent>
TClassBuilder<C> RegisterPersistentClass() {
  return TClassBuilder<C>(RegisterClassInfo(C::StaticClassName(), Parent::StaticClassName()));
}

// A component class that designs can make; it needs a constructor taking the owner.
template <class C, class Parent>
TClassBuilder<C> RegisterComponentClass() {
  TClassInfo& info = RegisterClassInfo(C::StaticClassName(), Parent::StaticClassName());
  info.Create = [](TComponent* owner) -> TComponent* { return new C(owner); };
  return TClassBuilder<C>(info);
}
