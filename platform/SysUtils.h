// Basic types, the exception base and the integer/boolean text conversions that every
// part of the system shares.
// Threads: everything here is safe to call from any thread.
#pragma once

#include <cstdint>
#include <exception>
#include <initializer_list>
#include <string>
#include <string_view>

#include "PlatformApi.h"

using WideString = std::u16string;  // UTF-16 text
using AnsiString = std::string;     // 8-bit text in the system code page (UTF-8 here)

// Root of the objects that tables and lists may own.
class SVP_API TObject {
 public:
  virtual ~TObject();
};

// Base of every exception of the system: a UTF-8 message and a class name as reported
// to the user ("EConvertError", "ESVXScriptError", ...).
class SVP_API Exception : public std::exception {
 public:
  explicit Exception(std::string message);
  ~Exception() override;
  const char* what() const noexcept override;
  virtual const char* ClassName() const noexcept;
  const std::string& Message() const noexcept { return FMessage; }

 private:
  std::string FMessage;
};

// Declares an exception class that reports NAME as its class name.
#define SORVANE_DECLARE_EXCEPTION(API, NAME, BASE)                                  \
  class API NAME : public BASE {                                                 \
   public:                                                                       \
    using BASE::BASE;                                                            \
    const char* ClassName() const noexcept override { return #NAME; }            \
  }

SORVANE_DECLARE_EXCEPTION(SVP_API, EConvertError, Exception);
SORVANE_DECLARE_EXCEPTION(SVP_API, EOSError, Exception);
SORVANE_DECLARE_EXCEPTION(SVP_API, EInOutError, Exception);
SORVANE_DECLARE_EXCEPTION(SVP_API, EStreamError, Exception);
SORVANE_DECLARE_EXCEPTION(SVP_API, EDivByZero, Exception);
SORVANE_DECLARE_EXCEPTION(SVP_API, EInvalidOp, Exception);
SORVANE_DECLARE_EXCEPTION(SVP_API, EIntOverflow, Exception);
SORVANE_DECLARE_EXCEPTION(SVP_API, EZeroDivide, Exception);
SORVANE_DECLARE_EXCEPTION(SVP_API, EFOpenError, EStreamError);
SORVANE_DECLARE_EXCEPTION(SVP_API, EReadError, EStreamError);

// The system's text for an errno value ("No such file or directory").
SVP_API std::string SysErrorMessage(int error);

// Integer text: leading blanks, an optional sign, then decimal digits or hexadecimal
// digits after '$', 'x' or '0x'; the value must fit 32 bits signed. Anything else raises
// EConvertError "'<text>' is not a valid integer value".
SVP_API int32_t StrToInt(std::string_view text);
SVP_API int32_t StrToInt(std::u16string_view text);
// The same rules without raising; false when the text is not integer text.
SVP_API bool TryStrToInt(std::string_view text, int32_t& value);
SVP_API bool TryStrToInt(std::u16string_view text, int32_t& value);

// Boolean text: integer text (zero is false) or True/False in any case. Anything else
// raises EConvertError "'<text>' is not a valid boolean value".
SVP_API bool StrToBool(std::string_view text);
SVP_API bool StrToBool(std::u16string_view text);

// Replaces each "%s" of `format` with the next argument, in order; "%%" stands for '%'.
SVP_API std::string Format(std::string_view format, std::initializer_list<std::string_view> args);

SVP_API std::string IntToStr(int64_t value);
SVP_API WideString IntToWideStr(int64_t value);

// ASCII-only case mapping (A-Z / a-z), as the markup rules want.
SVP_API std::string AsciiUpper(std::string_view text);

// FNV-1a over bytes, continuing from `h`: how places, folders and states hash what they are.
constexpr uint32_t Fnv1a32(const void* data, size_t size, uint32_t h = 2166136261u) {
  for (size_t k = 0; k < size; ++k) h = (h ^ static_cast<const uint8_t*>(data)[k]) * 16777619u;
  return h;
}
constexpr uint64_t Fnv1a64(const void* data, size_t size, uint64_t h = 14695981039346656037ull) {
  for (size_t k = 0; k < size; ++k) h = (h ^ static_cast<const uint8_t*>(data)[k]) * 1099511628211ull;
  return h;
}
SVP_API std::string AsciiLower(std::string_view text);
SVP_API bool SameTextAscii(std::string_view a, std::string_view b);
