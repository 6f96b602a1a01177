#pragma once
// The runtime's basic helpers: the exception every error derives from, message
// formatting from short templates, and the whole-number parser.
#include <cstdint>
#include <exception>
#include <initializer_list>
#include <string>
#include <variant>

// One argument of Format: a number or a text.
using FormatArg = std::variant<int64_t, std::string>;

// Fills a template: %s (text), %d (signed), %u (unsigned), %x (hexadecimal), %% (percent).
// A directive whose argument is missing or of the other kind is copied as it stands, so a
// broken template never throws while an error message is being made.
std::string Format(const std::string& pattern, std::initializer_list<FormatArg> args);

class Exception : public std::exception {
 public:
  explicit Exception(std::string message) : FMessage(std::move(message)) {}
  Exception(const std::string& pattern, std::initializer_list<FormatArg> args) : FMessage(Format(pattern, args)) {}
  const std::string& Message() const { return FMessage; }
  void SetMessage(std::string message) { FMessage = std::move(message); }
  const char* what() const noexcept override { return FMessage.c_str(); }

 private:
  std::string FMessage;
};

// Declares an exception class Name derived from Base with Base's constructors.
#define PELLORA_EXCEPTION(Name, Base) \
  class Name : public Base {          \
   public:                            \
    using Base::Base;                 \
  }

PELLORA_EXCEPTION(EOutOfMemory, Exception);
PELLORA_EXCEPTION(EConvertError, Exception);

// The whole-number parser: leading spaces, then an optional '-' or '+', or '$' for
// hexadecimal digits. When a bad character follows the digits, conversion stops and the
// value of the digits before it is given without the sign; errorPos (1-based) tells where
// it stopped, 0 when the text was a whole number. No digit at all gives 0.
int32_t Val(const std::string& text, int* errorPos);

std::string IntToStr(int64_t value);
std::string UpperCase(const std::string& text);  // ASCII letters only
