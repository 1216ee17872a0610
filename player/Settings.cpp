#include "player/Settings.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <sstream>

#include "platform/CodePage.h"
#include "platform/Files.h"
#include "platform/SysUtils.h"

namespace {
constexpr size_t kMaxSettingsBytes = 64 * 1024;

bool Number(const std::string& text, int64_t low, int64_t high, int64_t& out) {
  int32_t v;
  if (!TryStrToInt(std::string_view(text), v) || v < low || v > high) return false;
  out = v;
  return true;
}
}  // namespace

std::string SettingsPath() {
  std::filesystem::path base;
  if (const char* config = std::getenv("XDG_CONFIG_HOME"); config && config[0] == '/') base = config;
  else if (const char* home = std::getenv("HOME"); home && home[0] == '/') base = std::filesystem::path(home) / ".config";
  else return std::string();
  return (base / "sorvane" / "settings").string();
}

std::string FormatSettings(const TSettings& s) {
  return "window_width=" + std::to_string(s.WindowWidth) + "\nwindow_height=" + std::to_string(s.WindowHeight) +
         "\nauto_base=" + std::to_string(s.AutoBase) + "\nauto_per_char=" + std::to_string(s.AutoPerChar) +
         "\nskip_unread=" + (s.SkipUnread ? "1" : "0") + "\nvolume0=" + std::to_string(s.Volume[0]) +
         "\nvolume1=" + std::to_string(s.Volume[1]) + "\n";
}

bool ParseSettings(const std::string& text, TSettings& out, std::string& why) {
  TSettings s;
  std::istringstream in(text);
  int lineNumber = 0;
  for (std::string line; std::getline(in, line);) {
    ++lineNumber;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty() || line[0] == '#') continue;
    const size_t eq = line.find('=');
    const std::string key = eq == std::string::npos ? line : line.substr(0, eq);
    const std::string value = eq == std::string::npos ? "" : line.substr(eq + 1);
    int64_t v = 0;
    bool ok = eq != std::string::npos;
    if (key == "window_width") ok = ok && Number(value, 400, 7680, v), s.WindowWidth = int32_t(v);
    else if (key == "window_height") ok = ok && Number(value, 300, 4320, v), s.WindowHeight = int32_t(v);
    else if (key == "auto_base") ok = ok && Number(value, 0, 3600, v), s.AutoBase = uint32_t(v);
    else if (key == "auto_per_char") ok = ok && Number(value, 0, 600, v), s.AutoPerChar = uint32_t(v);
    else if (key == "skip_unread") ok = ok && Number(value, 0, 1, v), s.SkipUnread = v == 1;
    else if (key == "volume0") ok = ok && Number(value, 0, 100, v), s.Volume[0] = int32_t(v);
    else if (key == "volume1") ok = ok && Number(value, 0, 100, v), s.Volume[1] = int32_t(v);
    else ok = false;
    if (!ok) {
      why = "line " + std::to_string(lineNumber) + " (\"" + EscapeControls(line.substr(0, 60)) + "\")";
      out = TSettings{};
      return false;
    }
  }
  out = s;
  return true;
}

TSettings LoadSettings() {
  TSettings s;
  const std::string path = SettingsPath();
  if (path.empty()) return s;
  std::string text, why;
  const TFileRead read = ReadFileBytes(path, text, kMaxSettingsBytes, TFileScope::Reader);
  if (read == TFileRead::OpenFailed && !std::filesystem::exists(path)) return s;
  if (read != TFileRead::Ok) why = "it cannot be read";
  if (read != TFileRead::Ok || !ParseSettings(text, s, why)) {
    std::fprintf(stderr, "%s\n",
                 EscapeControls("the settings in " + path + " are damaged at " + why + ": the defaults are used").c_str());
    return TSettings{};
  }
  return s;
}

bool SaveSettings(const TSettings& settings, std::string& why) {
  const std::string path = SettingsPath();
  if (path.empty()) {
    why = "there is no folder for settings";
    return false;
  }
  if (!MakeFolders(std::filesystem::path(path).parent_path().string(), why)) return false;
  const std::string text = FormatSettings(settings);
  return WriteFileAtomically(path, text.data(), text.size(), why);
}
