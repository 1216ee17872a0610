#include "tools/CliOutput.h"

#include <cstdio>

#include "platform/CodePage.h"
#include "platform/Dialogs.h"

std::string CliEscape(std::string_view utf8) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(utf8.size());
  for (const char ch : utf8) {
    const auto c = static_cast<unsigned char>(ch);
    if (c == '\\') {
      out += "\\\\";
    } else if (c < 0x20) {
      out += "\\x";
      out += kHex[c >> 4];
      out += kHex[c & 15];
    } else {
      out += ch;
    }
  }
  return out;
}

std::string CliEscape(std::u16string_view text) { return CliEscape(WideToUtf8(text)); }

bool SetCliDialogAnswer(const std::string& word) {
  if (word == "ok") SetConsoleDialogAnswer(mrOk);
  else if (word == "ignore") SetConsoleDialogAnswer(mrIgnore);
  else if (word == "abort") SetConsoleDialogAnswer(mrAbort);
  else return false;
  return true;
}

std::string CliJson(const std::string& utf8) {
  std::string out = "\"";
  for (const char c : utf8) {
    if (c == '"' || c == '\\') {
      out += '\\';
      out += c;
    } else if (uint8_t(c) < 0x20) {
      char hex[8];
      std::snprintf(hex, sizeof hex, "\\u%04x", unsigned(uint8_t(c)));
      out += hex;
    } else {
      out += c;
    }
  }
  return out + "\"";
}
