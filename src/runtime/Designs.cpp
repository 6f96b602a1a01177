#include "runtime/Designs.h"

#include <cctype>
#include <map>
#include <memory>

#include "runtime/Components.h"

EDesignError::EDesignError(const std::string& Design, int Line, const std::string& Problem)
    : EReadError(Format("\"%s\" line %d: %s", {Design, static_cast<int64_t>(Line), Problem})),
      FDesign(Design),
      FLine(Line),
      FProblem(Problem) {}

namespace {

enum class Tok { End, Ident, Integer, String, CharCode, Symbol };

struct Token {
  Tok Kind = Tok::End;
  std::string Text;  // identifier, string contents, or the symbol character
  int64_t Value = 0;
  int Line = 1;
};

// Nesting and sizes are bounded so a hostile design cannot exhaust the stack or memory.
constexpr int kMaxDepth = 64;
constexpr size_t kMaxStringLength = 1 << 20;

class Lexer {
 public:
  Lexer(const std::string& design, const std::string& text) : FDesign(design), FText(text) {}

  [[noreturn]] void Fail(int line, const std::string& problem) const { throw EDesignError(FDesign, line, problem); }

  const Token& Peek() {
    if (!FHasPeek) {
      FPeek = Scan();
      FHasPeek = true;
    }
    return FPeek;
  }
  Token Next() {
    Peek();
    FHasPeek = false;
    return FPeek;
  }
  int Line() { return Peek().Line; }

  // Reads the inside of { ... } after the opening brace: hex digit pairs, or one
  // @include directive. Answers the bytes; Include resolves directives.
  std::vector<uint8_t> ReadBinary(int line, TDesignIncludeResolver include) {
    std::vector<uint8_t> bytes;
    int high = -1;
    while (true) {
      SkipSpace();
      if (FPos >= FText.size()) Fail(line, "binary data is not closed with '}'");
      const char c = FText[FPos];
      if (c == '}') {
        ++FPos;
        break;
      }
      if (c == '@') {
        const int at = FLine;
        ++FPos;
        std::string word = ReadWord();
        if (!SameText(word, "include")) Fail(at, "unknown directive '@" + word + "'");
        SkipSpace();
        std::string file;
        while (FPos < FText.size() && !std::isspace(static_cast<unsigned char>(FText[FPos])) && FText[FPos] != '}') {
          file += FText[FPos++];
        }
        if (file.empty()) Fail(at, "@include needs a file name");
        if (!bytes.empty() || high >= 0) Fail(at, "@include cannot be mixed with hex data");
        if (include == nullptr || !include(file, bytes)) Fail(at, "included file '" + file + "' not found");
        SkipSpace();
        if (FPos >= FText.size() || FText[FPos] != '}') Fail(at, "expected '}' after the included file name");
        ++FPos;
        return bytes;
      }
      const int v = HexDigit(c);
      if (v < 0) Fail(FLine, std::string("bad character '") + c + "' in binary data");
      ++FPos;
      if (high < 0) {
        high = v;
      } else {
        bytes.push_back(static_cast<uint8_t>(high << 4 | v));
        high = -1;
      }
    }
    if (high >= 0) Fail(line, "binary data has an odd number of hex digits");
    return bytes;
  }

 private:
  static int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
  }

  void SkipSpace() {
    while (FPos < FText.size()) {
      const char c = FText[FPos];
      if (c == '\n') {
        ++FLine;
        ++FPos;
      } else if (std::isspace(static_cast<unsigned char>(c))) {
        ++FPos;
      } else if (c == '/' && FPos + 1 < FText.size() && FText[FPos + 1] == '/') {
        while (FPos < FText.size() && FText[FPos] != '\n') ++FPos;
      } else {
        break;
      }
    }
  }

  std::string ReadWord() {
    std::string w;
    while (FPos < FText.size() &&
           (std::isalnum(static_cast<unsigned char>(FText[FPos])) || FText[FPos] == '_')) {
      w += FText[FPos++];
    }
    return w;
  }

  int64_t ReadNumber(int line, bool hex) {
    int64_t v = 0;
    size_t digits = 0;
    while (FPos < FText.size()) {
      const char c = FText[FPos];
      const int d = hex ? HexDigit(c) : (std::isdigit(static_cast<unsigned char>(c)) ? c - '0' : -1);
      if (d < 0) break;
      v = v * (hex ? 16 : 10) + d;
      if (v > 0xFFFFFFFFLL) Fail(line, "number is too large");
      ++digits;
      ++FPos;
    }
    if (digits == 0) Fail(line, hex ? "'$' must be followed by hex digits" : "expected a number");
    if (FPos < FText.size() && (std::isalpha(static_cast<unsigned char>(FText[FPos])) || FText[FPos] == '.')) {
      Fail(line, std::string("bad character '") + FText[FPos] + "' in a number");
    }
    return v;
  }

  Token Scan() {
    SkipSpace();
    Token t;
    t.Line = FLine;
    if (FPos >= FText.size()) return t;
    const char c = FText[FPos];
    if (std::isalpha(static_cast<unsigned char>(c)) || c == '_') {
      t.Kind = Tok::Ident;
      t.Text = ReadWord();
      return t;
    }
    if (std::isdigit(static_cast<unsigned char>(c))) {
      t.Kind = Tok::Integer;
      t.Value = ReadNumber(t.Line, false);
      return t;
    }
    if (c == '$') {
      ++FPos;
      t.Kind = Tok::Integer;
      t.Value = ReadNumber(t.Line, true);
      return t;
    }
    if (c == '#') {
      ++FPos;
      bool hex = FPos < FText.size() && FText[FPos] == '$';
      if (hex) ++FPos;
      t.Kind = Tok::CharCode;
      t.Value = ReadNumber(t.Line, hex);
      if (t.Value > 255) Fail(t.Line, "character code above 255");
      return t;
    }
    if (c == '\'') {
      ++FPos;
      t.Kind = Tok::String;
      while (true) {
        if (FPos >= FText.size() || FText[FPos] == '\n') Fail(t.Line, "string is not closed");
        const char s = FText[FPos++];
        if (s == '\'') {
          if (FPos < FText.size() && FText[FPos] == '\'') {
            t.Text += '\'';
            ++FPos;
            continue;
          }
          break;
        }
        t.Text += s;
        if (t.Text.size() > kMaxStringLength) Fail(t.Line, "string is too long");
      }
      return t;
    }
    ++FPos;
    t.Kind = Tok::Symbol;
    t.Text = std::string(1, c);
    return t;
  }

  std::string FDesign;
  const std::string& FText;
  size_t FPos = 0;
  int FLine = 1;
  Token FPeek;
  bool FHasPeek = false;
};

std::string Describe(const Token& t) {
  switch (t.Kind) {
    case Tok::End: return "end of design";
    case Tok::Ident: return "'" + t.Text + "'";
    case Tok::Integer: return "number " + std::to_string(t.Value);
    case Tok::String: return "string '" + t.Text + "'";
    case Tok::CharCode: return "character code #" + std::to_string(t.Value);
    case Tok::Symbol: return "'" + t.Text + "'";
  }
  return "?";
}

class Parser {
 public:
  Parser(const std::string& design, const std::string& text, TDesignIncludeResolver include)
      : FLex(design, text), FInclude(include) {}

  TDesignObject ParseRoot() {
    TDesignObject root = ParseObject(0);
    const Token t = FLex.Peek();
    if (t.Kind != Tok::End) FLex.Fail(t.Line, "unexpected " + Describe(t) + " after the last 'end'");
    return root;
  }

 private:
  bool IsWord(const Token& t, const char* word) { return t.Kind == Tok::Ident && SameText(t.Text, word); }
  bool IsSymbol(const Token& t, char c) { return t.Kind == Tok::Symbol && t.Text[0] == c; }

  Token ExpectIdent(const char* what) {
    Token t = FLex.Next();
    if (t.Kind != Tok::Ident) FLex.Fail(t.Line, std::string("expected ") + what + ", found " + Describe(t));
    return t;
  }
  void ExpectSymbol(char c) {
    Token t = FLex.Next();
    if (!IsSymbol(t, c)) FLex.Fail(t.Line, std::string("expected '") + c + "', found " + Describe(t));
  }

  TDesignObject ParseObject(int depth) {
    if (depth > kMaxDepth) FLex.Fail(FLex.Line(), "objects are nested too deeply");
    Token start = FLex.Next();
    if (IsWord(start, "inherited") || IsWord(start, "inline")) {
      FLex.Fail(start.Line, "'" + start.Text + "' designs are not supported");
    }
    if (!IsWord(start, "object")) FLex.Fail(start.Line, "expected 'object', found " + Describe(start));
    TDesignObject obj;
    obj.Line = start.Line;
    obj.Name = ExpectIdent("a component name").Text;
    ExpectSymbol(':');
    obj.ClassName = ExpectIdent("a class name").Text;
    while (true) {
      const Token& t = FLex.Peek();
      if (t.Kind == Tok::End) FLex.Fail(t.Line, "'end' missing for object '" + obj.Name + "'");
      if (IsWord(t, "end")) {
        FLex.Next();
        break;
      }
      if (IsWord(t, "object") || IsWord(t, "inherited") || IsWord(t, "inline")) {
        obj.Children.push_back(ParseObject(depth + 1));
      } else {
        obj.Properties.push_back(ParseProperty(depth));
      }
    }
    return obj;
  }

  TDesignProperty ParseProperty(int depth) {
    TDesignProperty p;
    Token name = ExpectIdent("a property name");
    p.Line = name.Line;
    p.Path = name.Text;
    while (IsSymbol(FLex.Peek(), '.')) {
      FLex.Next();
      p.Path += "." + ExpectIdent("a property name after '.'").Text;
    }
    ExpectSymbol('=');
    p.Value = ParseValue(depth);
    return p;
  }

  TDesignValue ParseValue(int depth) {
    TDesignValue v;
    Token t = FLex.Next();
    v.Line = t.Line;
    if (IsSymbol(t, '-') || IsSymbol(t, '+')) {
      const bool negative = IsSymbol(t, '-');
      Token n = FLex.Next();
      if (n.Kind != Tok::Integer) FLex.Fail(n.Line, "expected a number after '" + t.Text + "'");
      v.Kind = TDesignValueKind::Integer;
      v.Integer = negative ? -n.Value : n.Value;
      return v;
    }
    switch (t.Kind) {
      case Tok::Integer:
        v.Kind = TDesignValueKind::Integer;
        v.Integer = t.Value;
        return v;
      case Tok::String:
      case Tok::CharCode:
        v.Kind = TDesignValueKind::String;
        v.Text = ParseStringRest(t);
        return v;
      case Tok::Ident:
        v.Kind = TDesignValueKind::Ident;
        v.Text = t.Text;
        return v;
      case Tok::Symbol:
        break;
      case Tok::End:
        FLex.Fail(t.Line, "expected a value, found end of design");
    }
    switch (t.Text[0]) {
      case '[': {
        v.Kind = TDesignValueKind::Set;
        if (IsSymbol(FLex.Peek(), ']')) {
          FLex.Next();
          return v;
        }
        while (true) {
          v.Names.push_back(ExpectIdent("a set element").Text);
          Token sep = FLex.Next();
          if (IsSymbol(sep, ']')) break;
          if (!IsSymbol(sep, ',')) FLex.Fail(sep.Line, "expected ',' or ']' in a set, found " + Describe(sep));
        }
        return v;
      }
      case '{':
        v.Kind = TDesignValueKind::Binary;
        v.Bytes = FLex.ReadBinary(t.Line, FInclude);
        return v;
      case '<': {
        v.Kind = TDesignValueKind::Collection;
        while (true) {
          Token it = FLex.Next();
          if (IsSymbol(it, '>')) break;
          if (!IsWord(it, "item")) FLex.Fail(it.Line, "expected 'item' or '>', found " + Describe(it));
          TDesignItem item;
          item.Line = it.Line;
          while (true) {
            const Token& p = FLex.Peek();
            if (p.Kind == Tok::End) FLex.Fail(p.Line, "'end' missing for a collection item");
            if (IsWord(p, "end")) {
              FLex.Next();
              break;
            }
            if (depth > kMaxDepth) FLex.Fail(p.Line, "collections are nested too deeply");
            item.Properties.push_back(ParseProperty(depth + 1));
          }
          v.Items.push_back(std::move(item));
        }
        return v;
      }
      default:
        FLex.Fail(t.Line, "expected a value, found " + Describe(t));
    }
  }

  // A string is a run of quoted parts and #nn codes, possibly joined with '+'.
  std::string ParseStringRest(const Token& first) {
    std::string s;
    auto add = [&](const Token& t) {
      if (t.Kind == Tok::String) {
        s += t.Text;
      } else {
        s += static_cast<char>(static_cast<uint8_t>(t.Value));
      }
      if (s.size() > kMaxStringLength) FLex.Fail(t.Line, "string is too long");
    };
    add(first);
    while (true) {
      const Token& t = FLex.Peek();
      if (t.Kind == Tok::String || t.Kind == Tok::CharCode) {
        add(FLex.Next());
      } else if (IsSymbol(t, '+')) {
        FLex.Next();
        Token n = FLex.Next();
        if (n.Kind != Tok::String && n.Kind != Tok::CharCode) FLex.Fail(n.Line, "expected a string after '+'");
        add(n);
      } else {
        break;
      }
    }
    return s;
  }

  Lexer FLex;
  TDesignIncludeResolver FInclude;
};

std::map<std::string, TDesignResource>& Resources() {
  static std::map<std::string, TDesignResource> map;
  return map;
}

std::string Lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

// The class of a design's root object, read from its first words without parsing it all.
std::string RootClassOf(const TDesignResource& r) {
  const std::string text(reinterpret_cast<const char*>(r.Data), r.Size);
  try {
    Lexer lex(r.Name, text);
    Token t = lex.Next();
    if (t.Kind != Tok::Ident || !SameText(t.Text, "object")) return "";
    if (lex.Next().Kind != Tok::Ident) return "";
    Token colon = lex.Next();
    if (colon.Kind != Tok::Symbol || colon.Text != ":") return "";
    Token cls = lex.Next();
    return cls.Kind == Tok::Ident ? cls.Text : "";
  } catch (const EDesignError&) {
    return "";
  }
}

}  // namespace

TDesignObject ParseDesign(const std::string& DesignName, const std::string& Text, TDesignIncludeResolver Include) {
  Parser parser(DesignName, Text, Include);
  return parser.ParseRoot();
}

void RegisterDesignResource(const std::string& Name, const uint8_t* Data, size_t Size) {
  Resources()[Lower(Name)] = TDesignResource{Name, Data, Size};
}

void UnregisterDesignResource(const std::string& Name) { Resources().erase(Lower(Name)); }

const TDesignResource* FindDesignResource(const std::string& Name) {
  auto it = Resources().find(Lower(Name));
  return it == Resources().end() ? nullptr : &it->second;
}

const TDesignResource* FindDesignForClass(const std::string& ClassName) {
  for (const auto& [key, res] : Resources()) {
    if (SameText(RootClassOf(res), ClassName)) return &res;
  }
  return nullptr;
}

bool ResolveDesignInclude(const std::string& Name, std::vector<uint8_t>& Bytes) {
  const TDesignResource* r = FindDesignResource(Name);
  if (r == nullptr) return false;
  Bytes.assign(r->Data, r->Data + r->Size);
  return true;
}
