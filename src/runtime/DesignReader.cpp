#include "runtime/DesignReader.h"

#include <algorithm>

namespace {

std::string ClassOf(const TPersistent* p) { return p->ClassName(); }

const char* KindWord(TPropKind k) {
  switch (k) {
    case TPropKind::Integer: return "a number";
    case TPropKind::Boolean: return "True or False";
    case TPropKind::String: return "a string";
    case TPropKind::Enumeration: return "one of its names";
    case TPropKind::Set: return "a set in brackets";
    case TPropKind::Color: return "a colour";
    case TPropKind::Component: return "a component name";
    case TPropKind::Persistent: return "nested values";
    case TPropKind::Collection: return "a collection in < >";
    case TPropKind::Event: return "a method name";
  }
  return "a value";
}

std::string Show(const TDesignValue& v) {
  switch (v.Kind) {
    case TDesignValueKind::Integer: return std::to_string(v.Integer);
    case TDesignValueKind::String: return "'" + v.Text + "'";
    case TDesignValueKind::Ident: return v.Text;
    case TDesignValueKind::Set: return "a set";
    case TDesignValueKind::Binary: return "binary data";
    case TDesignValueKind::Collection: return "a collection";
  }
  return "?";
}

}  // namespace

TReader::TReader(std::string DesignName, TDesignIncludeResolver Include)
    : FDesignName(std::move(DesignName)), FInclude(Include) {}

void TReader::Fail(int Line, const std::string& Problem) const { throw EDesignError(FDesignName, Line, Problem); }

std::string TReader::Where(const TPropInfo& Info, const std::string& ClassName) const {
  return "property '" + Info.Name + "' of " + ClassName;
}

void TReader::ReadRoot(TComponent* Root, const std::string& Text) {
  // Parsing comes first and makes nothing, so a syntax error leaves no trace at all.
  const TDesignObject design = ParseDesign(FDesignName, Text, FInclude);
  if (!SameText(design.ClassName, Root->ClassName())) {
    Fail(design.Line, "the design is for class " + design.ClassName + ", not " + Root->ClassName());
  }
  FRoot = Root;
  FRootClass = FindClassInfo(Root->ClassName());
  if (FRootClass == nullptr) Fail(design.Line, "class " + Root->ClassName() + " is not registered");
  FMade.clear();
  FFixups.clear();
  Root->BeginLoading();
  try {
    try {
      // A second form of one class gets a numbered name, as its owner already knows
      // the first by the design's name.
      std::string name = design.Name;
      TComponent* owner = Root->Owner();
      for (int n = 1; owner != nullptr && owner->FindComponent(name) != nullptr && owner->FindComponent(name) != Root; ++n) {
        name = design.Name + "_" + std::to_string(n);
      }
      Root->SetName(name);
    } catch (const std::exception& e) {
      Fail(design.Line, e.what());
    }
    ApplyProperties(Root, design.Properties);
    for (const TDesignObject& child : design.Children) ReadObject(child, Root);
    ResolveFixups();
  } catch (...) {
    // Free what was made, newest first, and clear the root's fields that pointed at it.
    for (auto it = FMade.rbegin(); it != FMade.rend(); ++it) {
      TComponent* c = *it;
      if (const TFieldInfo* f = FRootClass->FindField(c->Name())) f->Set(Root, nullptr);
      delete c;
    }
    FMade.clear();
    Root->CancelLoading();
    throw;
  }
  Root->EndReading();
  for (TComponent* c : FMade) c->EndReading();
  // The after-loading steps run once everything is made and every reference is fixed.
  Root->EndLoading();
  for (TComponent* c : FMade) c->EndLoading();
}

void TReader::ReadObject(const TDesignObject& Obj, TComponent* Parent) {
  const TClassInfo* ci = FindClassInfo(Obj.ClassName);
  if (ci == nullptr) Fail(Obj.Line, "unknown class " + Obj.ClassName);
  if (!ci->Create) Fail(Obj.Line, "class " + Obj.ClassName + " is not a component");
  if (SameText(Obj.Name, FRoot->Name()) || FRoot->FindComponent(Obj.Name) != nullptr) {
    Fail(Obj.Line, "a component named " + Obj.Name + " already exists");
  }
  TComponent* c = nullptr;
  try {
    c = ci->Create(FRoot);
  } catch (const std::exception& e) {
    Fail(Obj.Line, "cannot make " + Obj.ClassName + ": " + e.what());
  }
  FMade.push_back(c);
  c->BeginLoading();
  try {
    c->SetName(Obj.Name);
  } catch (const std::exception& e) {
    Fail(Obj.Line, e.what());
  }
  if (const TFieldInfo* f = FRootClass->FindField(Obj.Name)) {
    if (!f->Set(FRoot, c)) Fail(Obj.Line, "field " + Obj.Name + " of " + FRootClass->Name + " is not a " + Obj.ClassName);
  }
  try {
    c->SetParentComponent(Parent);
  } catch (const std::exception& e) {
    Fail(Obj.Line, "cannot place " + Obj.Name + " in " + Parent->Name() + ": " + e.what());
  }
  ApplyProperties(c, Obj.Properties);
  for (const TDesignObject& child : Obj.Children) ReadObject(child, c);
}

void TReader::ApplyProperties(TPersistent* Instance, const std::vector<TDesignProperty>& Props) {
  for (const TDesignProperty& p : Props) ApplyProperty(Instance, p);
}

void TReader::ApplyProperty(TPersistent* Instance, const TDesignProperty& Prop) {
  TPersistent* target = Instance;
  std::string path = Prop.Path;
  // Walk the nested persistents of a dotted path: Display.BitCount, Font.Color.
  size_t dot;
  while ((dot = path.find('.')) != std::string::npos) {
    const std::string head = path.substr(0, dot);
    path = path.substr(dot + 1);
    const std::string cls = ClassOf(target);
    const TClassInfo* ci = FindClassInfo(cls);
    const TPropInfo* info = ci != nullptr ? ci->FindProperty(head) : nullptr;
    if (info == nullptr) Fail(Prop.Line, "unknown property '" + head + "' of " + cls);
    // A collection's own stored data (not its items) is reached the same way: Items.ColorTable.
    if (info->Kind != TPropKind::Persistent && info->Kind != TPropKind::Collection) {
      Fail(Prop.Line, Where(*info, cls) + " has no nested properties");
    }
    TPersistent* next = info->GetObject(target);
    if (next == nullptr) Fail(Prop.Line, Where(*info, cls) + " is empty");
    target = next;
  }
  const std::string cls = ClassOf(target);
  const TClassInfo* ci = FindClassInfo(cls);
  const TPropInfo* info = ci != nullptr ? ci->FindProperty(path) : nullptr;
  if (info != nullptr) {
    SetValue(target, cls, *info, Prop.Value, Prop.Line);
    return;
  }
  if (TryDefinedProperty(target, path, Prop.Value, Prop.Line)) return;
  Fail(Prop.Line, "unknown property '" + path + "' of " + cls);
}

void TReader::SetValue(TPersistent* Instance, const std::string& ClassName, const TPropInfo& Info,
                       const TDesignValue& Value, int Line) {
  auto bad = [&]() {
    Fail(Line, "bad value " + Show(Value) + " for " + Where(Info, ClassName) + ": expected " + KindWord(Info.Kind));
  };
  auto guarded = [&](auto&& apply) {
    try {
      apply();
    } catch (const EDesignError&) {
      throw;
    } catch (const std::exception& e) {
      Fail(Line, "cannot set " + Where(Info, ClassName) + ": " + e.what());
    }
  };
  switch (Info.Kind) {
    case TPropKind::Integer: {
      if (Value.Kind != TDesignValueKind::Integer) bad();
      if (Value.Integer < Info.MinValue || Value.Integer > Info.MaxValue) {
        Fail(Line, "value " + std::to_string(Value.Integer) + " is out of range for " + Where(Info, ClassName));
      }
      guarded([&] { Info.SetOrdinal(Instance, Value.Integer); });
      return;
    }
    case TPropKind::Boolean: {
      if (Value.Kind != TDesignValueKind::Ident) bad();
      int64_t v;
      if (SameText(Value.Text, "True")) {
        v = 1;
      } else if (SameText(Value.Text, "False")) {
        v = 0;
      } else {
        bad();
      }
      guarded([&] { Info.SetOrdinal(Instance, v); });
      return;
    }
    case TPropKind::String:
      if (Value.Kind != TDesignValueKind::String) bad();
      guarded([&] { Info.SetString(Instance, Value.Text); });
      return;
    case TPropKind::Enumeration: {
      if (Value.Kind != TDesignValueKind::Ident) bad();
      auto it = std::find_if(Info.Names.begin(), Info.Names.end(),
                             [&](const TEnumName& n) { return SameText(n.Name, Value.Text); });
      if (it == Info.Names.end()) bad();
      guarded([&] { Info.SetOrdinal(Instance, it->Value); });
      return;
    }
    case TPropKind::Set: {
      if (Value.Kind != TDesignValueKind::Set) bad();
      uint64_t bits = 0;
      for (const std::string& name : Value.Names) {
        auto it = std::find_if(Info.Names.begin(), Info.Names.end(),
                               [&](const TEnumName& n) { return SameText(n.Name, name); });
        if (it == Info.Names.end()) Fail(Line, "unknown element '" + name + "' in " + Where(Info, ClassName));
        bits |= uint64_t{1} << it->Value;
      }
      guarded([&] { Info.SetOrdinal(Instance, static_cast<int64_t>(bits)); });
      return;
    }
    case TPropKind::Color: {
      int32_t color = 0;
      if (Value.Kind == TDesignValueKind::Integer) {
        if (Value.Integer < INT32_MIN || Value.Integer > 0xFFFFFFFFLL) bad();
        color = static_cast<int32_t>(static_cast<uint32_t>(Value.Integer));
      } else if (Value.Kind != TDesignValueKind::Ident || !IdentToColor(Value.Text, color)) {
        bad();
      }
      guarded([&] { Info.SetOrdinal(Instance, color); });
      return;
    }
    case TPropKind::Component:
      if (Value.Kind != TDesignValueKind::Ident) bad();
      FFixups.push_back({Instance, &Info, ClassName, Value.Text, Line});
      return;
    case TPropKind::Persistent:
      Fail(Line, Where(Info, ClassName) + " needs nested values such as " + Info.Name + ".Name = ...");
    case TPropKind::Collection: {
      if (Value.Kind != TDesignValueKind::Collection) bad();
      auto* coll = dynamic_cast<TCollection*>(Info.GetObject(Instance));
      if (coll == nullptr) Fail(Line, Where(Info, ClassName) + " is not a collection");
      guarded([&] { coll->Clear(); });
      for (const TDesignItem& item : Value.Items) {
        TCollectionItem* made = nullptr;
        guarded([&] { made = coll->Add(); });
        ApplyProperties(made, item.Properties);
      }
      return;
    }
    case TPropKind::Event: {
      if (Value.Kind != TDesignValueKind::Ident) bad();
      const TMethodInfo* m = FRootClass->FindMethod(Value.Text);
      if (m == nullptr) {
        Fail(Line, "method '" + Value.Text + "' not found in " + FRootClass->Name + " for event '" + Info.Name +
                       "' of " + ClassName);
      }
      if (m->Type != Info.EventType) {
        Fail(Line, "method '" + Value.Text + "' of " + FRootClass->Name + " does not fit event '" + Info.Name +
                       "' of " + ClassName);
      }
      std::any handler = m->Bind(FRoot);
      if (!handler.has_value()) Fail(Line, "method '" + Value.Text + "' cannot be bound to " + FRoot->ClassName());
      guarded([&] { Info.SetEvent(Instance, handler); });
      return;
    }
  }
}

bool TReader::TryDefinedProperty(TPersistent* Instance, const std::string& Name, const TDesignValue& Value,
                                 int Line) {
  FPendingName = &Name;
  FPendingValue = &Value;
  FPendingLine = Line;
  FPendingHandled = false;
  FPendingClass = ClassOf(Instance);
  try {
    Instance->DefineProperties(*this);
  } catch (const EDesignError&) {
    FPendingName = nullptr;
    throw;
  } catch (const std::exception& e) {
    FPendingName = nullptr;
    Fail(Line, "bad data for property '" + Name + "' of " + FPendingClass + ": " + e.what());
  }
  FPendingName = nullptr;
  FPendingValue = nullptr;
  return FPendingHandled;
}

void TReader::DefineBinaryProperty(const std::string& Name, TStreamProc ReadData, TStreamProc WriteData,
                                   bool HasData) {
  (void)WriteData, (void)HasData;
  if (FPendingName == nullptr || FPendingHandled || !SameText(Name, *FPendingName)) return;
  FPendingHandled = true;
  if (FPendingValue->Kind != TDesignValueKind::Binary) {
    Fail(FPendingLine, "property '" + Name + "' of " + FPendingClass + " needs binary data in { }");
  }
  if (!ReadData) Fail(FPendingLine, "property '" + Name + "' of " + FPendingClass + " cannot be read");
  TMemoryStream stream;
  if (!FPendingValue->Bytes.empty()) {
    stream.WriteBuffer(FPendingValue->Bytes.data(), static_cast<int64_t>(FPendingValue->Bytes.size()));
  }
  stream.SetPosition(0);
  ReadData(stream);
}

void TReader::DefineProperty(const std::string& Name, TReaderProc ReadData, TWriterProc WriteData, bool HasData) {
  (void)WriteData, (void)HasData;
  if (FPendingName == nullptr || FPendingHandled || !SameText(Name, *FPendingName)) return;
  FPendingHandled = true;
  if (!ReadData) Fail(FPendingLine, "property '" + Name + "' of " + FPendingClass + " cannot be read");
  ReadData(*this);
}

int32_t TReader::ReadInteger() {
  if (FPendingValue == nullptr || FPendingValue->Kind != TDesignValueKind::Integer || FPendingValue->Integer < INT32_MIN ||
      FPendingValue->Integer > INT32_MAX) {
    Fail(FPendingLine, "expected a number");
  }
  return static_cast<int32_t>(FPendingValue->Integer);
}

bool TReader::ReadBoolean() {
  const std::string id = ReadIdent();
  if (SameText(id, "True")) return true;
  if (SameText(id, "False")) return false;
  Fail(FPendingLine, "expected True or False");
}

std::string TReader::ReadString() {
  if (FPendingValue == nullptr || FPendingValue->Kind != TDesignValueKind::String) Fail(FPendingLine, "expected a string");
  return FPendingValue->Text;
}

std::string TReader::ReadIdent() {
  if (FPendingValue == nullptr || FPendingValue->Kind != TDesignValueKind::Ident) Fail(FPendingLine, "expected a name");
  return FPendingValue->Text;
}

void TReader::ResolveFixups() {
  for (const Fixup& f : FFixups) {
    TComponent* target = nullptr;
    if (!SameText(f.Target, "nil")) {
      target = SameText(f.Target, FRoot->Name()) ? FRoot : FRoot->FindComponent(f.Target);
      if (target == nullptr) {
        Fail(f.Line, "component '" + f.Target + "' not found for " + Where(*f.Prop, f.ClassName));
      }
      if (!f.Prop->AcceptsComponent(target)) {
        Fail(f.Line, "component '" + f.Target + "' (" + target->ClassName() + ") does not fit " +
                         Where(*f.Prop, f.ClassName));
      }
    }
    try {
      f.Prop->SetComponent(f.Instance, target);
    } catch (const std::exception& e) {
      Fail(f.Line, "cannot set " + Where(*f.Prop, f.ClassName) + ": " + e.what());
    }
  }
  FFixups.clear();
}

void ReadComponentRes(TComponent* Root) {
  const TDesignResource* res = FindDesignForClass(Root->ClassName());
  if (res == nullptr) throw EReadError("No design found for class " + Root->ClassName());
  TReader reader(res->Name);
  reader.ReadRoot(Root, std::string(reinterpret_cast<const char*>(res->Data), res->Size));
}

void ReadComponentText(TComponent* Root, const std::string& DesignName, const std::string& Text) {
  TReader reader(DesignName);
  reader.ReadRoot(Root, Text);
}
