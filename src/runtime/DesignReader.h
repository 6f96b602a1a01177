#pragma once
// The design reader: makes the components of a parsed design, sets their published
// properties, binds events to the root's published methods, fixes up component
// references once everything is made, and runs each component's after-loading step.
// Any error frees every component the reading made and names the design and the line.
#include <any>
#include <string>
#include <vector>

#include "runtime/Components.h"
#include "runtime/Designs.h"
#include "runtime/DesignsRegistry.h"

class TReader : public TFiler {
 public:
  TReader(std::string DesignName, TDesignIncludeResolver Include = ResolveDesignInclude);

  // Parses Text and reads it into Root, whose class must be the design's root class.
  void ReadRoot(TComponent* Root, const std::string& Text);
  TComponent* Root() const { return FRoot; }
  const std::string& DesignName() const { return FDesignName; }

  // TFiler: a class that stores data of its own offers it here while a property of that
  // name is being read.
  void DefineBinaryProperty(const std::string& Name, TStreamProc ReadData, TStreamProc WriteData,
                            bool HasData) override;
  void DefineProperty(const std::string& Name, TReaderProc ReadData, TWriterProc WriteData, bool HasData) override;
  // The value of the property being read, for DefineProperty's readers.
  int32_t ReadInteger();
  bool ReadBoolean();
  std::string ReadString();
  std::string ReadIdent();

 private:
  struct Fixup {
    TPersistent* Instance;
    const TPropInfo* Prop;
    std::string ClassName;
    std::string Target;
    int Line;
  };

  [[noreturn]] void Fail(int Line, const std::string& Problem) const;
  void ReadObject(const TDesignObject& Obj, TComponent* Parent);
  void ApplyProperties(TPersistent* Instance, const std::vector<TDesignProperty>& Props);
  void ApplyProperty(TPersistent* Instance, const TDesignProperty& Prop);
  void SetValue(TPersistent* Instance, const std::string& ClassName, const TPropInfo& Info,
                const TDesignValue& Value, int Line);
  bool TryDefinedProperty(TPersistent* Instance, const std::string& Name, const TDesignValue& Value, int Line);
  void ResolveFixups();
  std::string Where(const TPropInfo& Info, const std::string& ClassName) const;

  std::string FDesignName;
  TDesignIncludeResolver FInclude;
  TComponent* FRoot = nullptr;
  const TClassInfo* FRootClass = nullptr;
  std::vector<TComponent*> FMade;  // in the order made; freed in reverse on failure
  std::vector<Fixup> FFixups;
  // The property DefineProperties is being asked about.
  const std::string* FPendingName = nullptr;
  const TDesignValue* FPendingValue = nullptr;
  std::string FPendingClass;
  int FPendingLine = 0;
  bool FPendingHandled = false;
};

// Reads the design compiled into the program for Root's class. Raises EDesignError when
// there is none ("no design for class TFoo") or when reading fails.
void ReadComponentRes(TComponent* Root);
// Reads a design given as text (tests, and designs that come from elsewhere).
void ReadComponentText(TComponent* Root, const std::string& DesignName, const std::string& Text);
