#include "player/Settings.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <sstream>

#include "platform/CodePage.h"
#include "platform/Files.h"
#include "platform/SysUtils.h"

namespace {
constexpr size_t kMaxSettingsBytes = 64 * 1024;
constexpr size_t kShownLineChars = 60;

// Each key, the field it sets (a number, a flag or a text) and its range: the one list
// the reader and the writer walk.
struct TKey {
  const char* Name;
  int32_t TSettings::*Number;
  bool TSettings::*Flag;
  std::string TSettings::*Text;
  const TSettingRange* Range;
};
constexpr TSettingRange kFlagRange{0, 1};
constexpr TKey kKeys[] = {
    {"window_width", &TSettings::WindowWidth, nullptr, nullptr, &kWindowWidthRange},
    {"window_height", &TSettings::WindowHeight, nullptr, nullptr, &kWindowHeightRange},
    {"auto_base", &TSettings::AutoBase, nullptr, nullptr, &kAutoBaseRange},
    {"auto_per_char", &TSettings::AutoPerChar, nullptr, nullptr, &kAutoPerCharRange},
    {"skip_unread", nullptr, &TSettings::SkipUnread, nullptr, &kFlagRange},
    {"text_size", &TSettings::TextSize, nullptr, nullptr, &kTextSizeRange},
    {"high_contrast", nullptr, &TSettings::HighContrast, nullptr, &kFlagRange},
    {"speak", nullptr, &TSettings::Speak, nullptr, &kFlagRange},
    {"speech_rate", &TSettings::SpeechRate, nullptr, nullptr, &kSpeechRateRange},
    {"speech_voice", nullptr, nullptr, &TSettings::SpeechVoice, nullptr},
    {"line_break_rules", nullptr, &TSettings::LineBreakRules, nullptr, &kFlagRange},
    {"language", nullptr, nullptr, &TSettings::Language, nullptr},
};

// A text as a setting keeps it: printable characters (no control bytes), bounded.
std::string SettingText(std::string_view v) {
  std::string out;
  for (char c : v.substr(0, kMaxSettingText))
    if (static_cast<unsigned char>(c) >= 0x20 && c != 0x7F) out += c;
  return out;
}

// The volume keys are numbered by channel.
int32_t* VolumeField(TSettings& s, const std::string& key) {
  for (int32_t c = 0; c < kChannelCount; ++c)
    if (key == "volume" + std::to_string(c)) return &s.Volume[c];
  return nullptr;
}
}  // namespace

std::string SettingsPath() {
  const std::string base = ReaderFolder(TReaderFolder::Config);
  return base.empty() ? base : base + "/sorvane/settings";
}

std::string FormatSettings(const TSettings& settings) {
  TSettings s = settings;
  std::string text;
  for (const TKey& key : kKeys) {
    const std::string value = key.Number ? std::to_string(s.*key.Number)
                              : key.Flag ? std::to_string(int32_t(s.*key.Flag))
                                         : SettingText(s.*key.Text);
    text += std::string(key.Name) + "=" + value + "\n";
  }
  for (int32_t c = 0; c < kChannelCount; ++c) text += "volume" + std::to_string(c) + "=" + std::to_string(s.Volume[c]) + "\n";
  return text;
}

TSettings ParseSettings(const std::string& text, std::vector<std::string>& notes) {
  TSettings s;
  std::istringstream in(text);
  int lineNumber = 0;
  for (std::string line; std::getline(in, line);) {
    ++lineNumber;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty() || line[0] == '#') continue;
    const auto note = [&](const char* what) {
      notes.push_back("line " + std::to_string(lineNumber) + " (\"" + LogName(line, kShownLineChars) + "\") " + what);
    };
    const size_t eq = line.find('=');
    const std::string key = eq == std::string::npos ? line : line.substr(0, eq);
    int32_t* field = VolumeField(s, key);
    const TSettingRange* range = field ? &kVolumeRange : nullptr;
    bool* flag = nullptr;
    std::string* textField = nullptr;
    for (const TKey& k : kKeys)
      if (key == k.Name) {
        range = k.Range;
        field = k.Number ? &(s.*k.Number) : nullptr;
        flag = k.Flag ? &(s.*k.Flag) : nullptr;
        textField = k.Text ? &(s.*k.Text) : nullptr;
      }
    int32_t value = 0;
    if (textField && eq != std::string::npos) {
      *textField = SettingText(std::string_view(line).substr(eq + 1));
      if (*textField != std::string_view(line).substr(eq + 1)) note("holds what a setting cannot: what it can is kept");
    } else if (!range && !textField) {
      note("is no setting: left out");
    } else if (eq == std::string::npos || !TryStrToInt(std::string_view(line).substr(eq + 1), value)) {
      note("is not a number: left out");
    } else {
      const int32_t kept = range->Clamp(value);
      if (kept != value) note(("is out of its range: " + std::to_string(kept) + " is used").c_str());
      if (flag) *flag = kept == 1;
      else *field = kept;
    }
  }
  return s;
}

TSettings LoadSettings() {
  const std::string path = SettingsPath();
  if (path.empty()) return TSettings{};
  std::string text;
  const TFileRead read = ReadFileBytes(path, text, kMaxSettingsBytes, TFileScope::Reader);
  if (read == TFileRead::OpenFailed && !std::filesystem::exists(path)) return TSettings{};
  if (read != TFileRead::Ok) {
    std::fprintf(stderr, "%s\n", EscapeControls("the settings in " + path + " cannot be read: the defaults are used").c_str());
    return TSettings{};
  }
  std::vector<std::string> notes;
  const TSettings s = ParseSettings(text, notes);
  for (const std::string& note : notes)
    std::fprintf(stderr, "%s\n", EscapeControls("the settings in " + path + ": " + note).c_str());
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
