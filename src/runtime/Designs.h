#pragma once
// The text form of stored window designs and its parser. A design reads
//
//   object OptionsForm1: TOptionsForm1
//     Caption = 'Options'
//     Font.Color = clWhite
//     BorderIcons = [biSystemMenu]
//     OnCreate = FormCreate
//     object Button2: TButton
//       Left = 40
//     end
//     ...
//   end
//
// Values are integers (with '-' and '$hex'), strings in single quotes joined with
// #nn character codes ('It''s'#13#10'ok'), identifiers (True/False, enumeration names,
// colours, methods, components), sets [a, b], binary data {hex} or
// { @include File.bin } for a file compiled in beside the designs, and collections
// < item ... end item ... end >. Comments run from // to the end of a line.
#include <cstdint>
#include <string>
#include <vector>

#include "runtime/Classes.h"

// Every error of reading a design names the design and the line: "Name" line 12: problem.
class EDesignError : public EReadError {
 public:
  EDesignError(const std::string& Design, int Line, const std::string& Problem);
  const std::string& Design() const { return FDesign; }
  int Line() const { return FLine; }
  const std::string& Problem() const { return FProblem; }

 private:
  std::string FDesign;
  int FLine;
  std::string FProblem;
};

enum class TDesignValueKind { Integer, String, Ident, Set, Binary, Collection };

struct TDesignItem;

struct TDesignValue {
  TDesignValueKind Kind = TDesignValueKind::Integer;
  int Line = 0;
  int64_t Integer = 0;
  std::string Text;                  // String and Ident
  std::vector<std::string> Names;    // Set
  std::vector<uint8_t> Bytes;        // Binary
  std::vector<TDesignItem> Items;    // Collection
};

struct TDesignProperty {
  std::string Path;  // dotted for nested persistents: "Font.Color"
  TDesignValue Value;
  int Line = 0;
};

struct TDesignItem {
  std::vector<TDesignProperty> Properties;
  int Line = 0;
};

struct TDesignObject {
  std::string Name;
  std::string ClassName;
  int Line = 0;
  std::vector<TDesignProperty> Properties;
  std::vector<TDesignObject> Children;
};

// Finds the bytes of a file compiled in beside the designs, for { @include Name }.
// Answers false when there is no such file.
using TDesignIncludeResolver = bool (*)(const std::string& Name, std::vector<uint8_t>& Bytes);

// Parses one design. DesignName is used in error messages only. Include resolves
// { @include } directives; nullptr refuses them.
TDesignObject ParseDesign(const std::string& DesignName, const std::string& Text,
                          TDesignIncludeResolver Include = nullptr);

// ---- Designs compiled into the program ----

struct TDesignResource {
  std::string Name;  // the file name, e.g. "Options1.pfm" or "BallPicture.bin"
  const uint8_t* Data;
  size_t Size;
};

// Registered by the generated code of the designs library (and by tests).
void RegisterDesignResource(const std::string& Name, const uint8_t* Data, size_t Size);
void UnregisterDesignResource(const std::string& Name);
const TDesignResource* FindDesignResource(const std::string& Name);
// The design whose root object is of class ClassName, or nullptr.
const TDesignResource* FindDesignForClass(const std::string& ClassName);
// The resolver for { @include } over the registered resources.
bool ResolveDesignInclude(const std::string& Name, std::vector<uint8_t>& Bytes);
