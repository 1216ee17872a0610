#include "SysUtils.h"

#include <cstring>

#include "CodePage.h"

TObject::~TObject() = default;

Exception::Exception(std::string message) : FMessage(std::move(message)) {}
Exception::~Exception() = default;
const char* Exception::what() const noexcept { return FMessage.c_str(); }
const char* Exception::ClassName() const noexcept { return "Exception"; }

namespace {

template <typename Char>
bool ParseInt(std::basic_string_view<Char> s, int32_t& out) {
  size_t i = 0;
  const size_t n = s.size();
  while (i < n && s[i] == Char(' ')) ++i;
  bool negative = false;
  if (i < n && (s[i] == Char('-') || s[i] == Char('+'))) {
    negative = s[i] == Char('-');
    ++i;
  }
  unsigned base = 10;
  if (i < n && s[i] == Char('$')) {
    base = 16;
    ++i;
  } else if (i < n && (s[i] == Char('x') || s[i] == Char('X'))) {
    base = 16;
    ++i;
  } else if (i + 1 < n && s[i] == Char('0') && (s[i + 1] == Char('x') || s[i + 1] == Char('X'))) {
    base = 16;
    i += 2;
  }
  if (i >= n) return false;
  // Accumulate the magnitude; the limit depends on the sign.
  const uint64_t limit = negative ? 0x80000000ull : 0x7FFFFFFFull;
  uint64_t value = 0;
  for (; i < n; ++i) {
    const char32_t c = char32_t(s[i]);
    unsigned digit;
    if (c >= U'0' && c <= U'9') {
      digit = unsigned(c - U'0');
    } else if (base == 16 && c >= U'a' && c <= U'f') {
      digit = unsigned(c - U'a' + 10);
    } else if (base == 16 && c >= U'A' && c <= U'F') {
      digit = unsigned(c - U'A' + 10);
    } else {
      return false;
    }
    value = value * base + digit;
    if (value > limit) return false;
  }
  out = negative ? int32_t(-int64_t(value)) : int32_t(value);
  return true;
}

template <typename Char>
bool EqualsNoCase(std::basic_string_view<Char> s, std::string_view word) {
  if (s.size() != word.size()) return false;
  for (size_t i = 0; i < s.size(); ++i) {
    char32_t c = char32_t(s[i]);
    if (c >= U'A' && c <= U'Z') c += 32;
    if (c != char32_t(word[i])) return false;
  }
  return true;
}

template <typename Char>
bool ParseBool(std::basic_string_view<Char> s, bool& out) {
  int32_t v;
  if (ParseInt(s, v)) {
    out = v != 0;
    return true;
  }
  if (EqualsNoCase(s, "true")) {
    out = true;
    return true;
  }
  if (EqualsNoCase(s, "false")) {
    out = false;
    return true;
  }
  return false;
}

}  // namespace

bool TryStrToInt(std::string_view text, int32_t& value) { return ParseInt(text, value); }
bool TryStrToInt(std::u16string_view text, int32_t& value) { return ParseInt(text, value); }

int32_t StrToInt(std::string_view text) {
  int32_t v;
  if (!ParseInt(text, v)) throw EConvertError("'" + std::string(text) + "' is not a valid integer value");
  return v;
}

int32_t StrToInt(std::u16string_view text) {
  int32_t v;
  if (!ParseInt(text, v)) throw EConvertError("'" + WideToUtf8(text) + "' is not a valid integer value");
  return v;
}

bool StrToBool(std::string_view text) {
  bool b;
  if (!ParseBool(text, b)) throw EConvertError("'" + std::string(text) + "' is not a valid boolean value");
  return b;
}

bool StrToBool(std::u16string_view text) {
  bool b;
  if (!ParseBool(text, b)) throw EConvertError("'" + WideToUtf8(text) + "' is not a valid boolean value");
  return b;
}

std::string Format(std::string_view format, std::initializer_list<std::string_view> args) {
  std::string out;
  out.reserve(format.size() + 64);
  auto next = args.begin();
  for (size_t i = 0; i < format.size(); ++i) {
    if (format[i] == '%' && i + 1 < format.size()) {
      if (format[i + 1] == 's') {
        if (next != args.end()) out.append(*next++);
        ++i;
        continue;
      }
      if (format[i + 1] == '%') {
        out += '%';
        ++i;
        continue;
      }
    }
    out += format[i];
  }
  return out;
}

std::string IntToStr(int64_t value) { return std::to_string(value); }

WideString IntToWideStr(int64_t value) {
  const std::string s = std::to_string(value);
  return WideString(s.begin(), s.end());
}

std::string AsciiUpper(std::string_view text) {
  std::string r(text);
  for (char& c : r)
    if (c >= 'a' && c <= 'z') c = char(c - 32);
  return r;
}

std::string AsciiLower(std::string_view text) {
  std::string r(text);
  for (char& c : r)
    if (c >= 'A' && c <= 'Z') c = char(c + 32);
  return r;
}

bool SameTextAscii(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (x >= 'a' && x <= 'z') x = char(x - 32);
    if (y >= 'a' && y <= 'z') y = char(y - 32);
    if (x != y) return false;
  }
  return true;
}

std::string SysErrorMessage(int error) {
  char buf[256];
  // GNU strerror_r returns the message, which may or may not live in buf.
  return strerror_r(error, buf, sizeof buf);
}
