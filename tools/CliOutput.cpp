#include "tools/CliOutput.h"

#include <cstdio>

#include "tools/Cli.h"

#include <cstdio>

#include "platform/CodePage.h"
#include "platform/Dialogs.h"

std::string CliEscape(std::string_view utf8) { return EscapeControls(utf8, true); }
std::string CliEscapeControls(std::string_view utf8) { return EscapeControls(utf8); }

std::string CliEscape(std::u16string_view text) { return CliEscape(WideToUtf8(text)); }

std::string CliShellWord(std::string_view utf8) {
  auto plain = [](char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
           std::string_view("_@%+=:,./-").find(c) != std::string_view::npos;
  };
  bool controls = false, allPlain = !utf8.empty();
  for (size_t i = 0; i < utf8.size(); ++i) {
    uint8_t code;
    controls = controls || ControlCharacterAt(utf8, i, code) != 0;
    allPlain = allPlain && plain(utf8[i]);
  }
  if (allPlain) return std::string(utf8);
  if (!controls) {
    std::string out = "'";
    for (const char c : utf8) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
  }
  static const char kHex[] = "0123456789ABCDEF";
  std::string out = "$'";
  for (size_t i = 0; i < utf8.size();) {
    uint8_t code;
    if (const size_t n = ControlCharacterAt(utf8, i, code)) {
      // A C1 character is two bytes of UTF-8: both are written.
      for (size_t k = 0; k < n; ++k) {
        const auto b = static_cast<uint8_t>(utf8[i + k]);
        out += "\\x";
        out += kHex[b >> 4];
        out += kHex[b & 15];
      }
      i += n;
      continue;
    }
    if (utf8[i] == '\\' || utf8[i] == '\'') out += '\\';
    out += utf8[i++];
  }
  return out + "'";
}

int CliUsage(const char* synopsis) {
  std::fprintf(stderr, "usage: sorvane-cli %s\n", synopsis);
  return kCliUsageError;
}

bool CliFormatOption(int argc, char** argv, int& i, bool& json) {
  if (std::string(argv[i]) != "--format" || i + 1 >= argc) return false;
  const std::string value = argv[i + 1];
  if (value != "json" && value != "text") return false;
  json = value == "json";
  ++i;
  return true;
}

bool SetCliDialogAnswer(const std::string& word) {
  if (word == "ok") SetConsoleDialogAnswer(mrOk);
  else if (word == "ignore") SetConsoleDialogAnswer(mrIgnore);
  else if (word == "abort") SetConsoleDialogAnswer(mrAbort);
  else if (word == "yes") SetConsoleDialogAnswer(mrYes);
  else if (word == "no") SetConsoleDialogAnswer(mrNo);
  else return false;
  return true;
}

std::string CliJson(const std::string& text) {
  // JSON is UTF-8: bytes that are not (a folder named in another encoding) become U+FFFD.
  const std::string utf8 = WideToUtf8(Utf8ToWide(text));
  std::string out = "\"";
  for (size_t i = 0; i < utf8.size();) {
    uint8_t code;
    if (const size_t n = ControlCharacterAt(utf8, i, code)) {
      char hex[8];
      std::snprintf(hex, sizeof hex, "\\u%04x", unsigned(code));
      out += hex;
      i += n;
      continue;
    }
    if (utf8[i] == '"' || utf8[i] == '\\') out += '\\';
    out += utf8[i++];
  }
  return out + "\"";
}
