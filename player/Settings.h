// The reader's settings: the window's size, auto mode's pace, whether skip also goes
// through pages not read, each sound channel's volume, the voice, the text's size and
// contrast, line breaking, the language. Kept as "key=value" lines in
// $XDG_CONFIG_HOME/sorvane/settings (by default ~/.config/sorvane/settings), written
// atomically. The defaults play the story as it always played.
// Threads: any.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "player/Commands.h"
#include "player/ReadingModes.h"

struct TSettings {
  int32_t WindowWidth = 800;
  int32_t WindowHeight = 600;
  int32_t AutoBase = TReadingModes::kDefaultAutoBase;        // frames a page stays in auto mode
  int32_t AutoPerChar = TReadingModes::kDefaultAutoPerChar;  // and more for each of its characters
  bool SkipUnread = false;
  int32_t Volume[kChannelCount] = {100, 100};  // each sound channel's, 0 to 100
  // The voice that reads the story aloud: off, or on at a rate (-100 slowest, 0 the
  // voice's own, 100 fastest) in a voice by name (empty: the system's default).
  // Text at 100, 125 or 150 percent, and the high-contrast message window.
  int32_t TextSize = 100;
  bool HighContrast = false;
  bool Speak = false;
  int32_t SpeechRate = 0;
  std::string SpeechVoice;
  // Lines of a story in Shift-JIS broken by the rules, and the language a story with a
  // translation into it is read in (empty: each story's own).
  bool LineBreakRules = false;
  std::string Language;
};

// The values each setting may take: the file's reader and the settings dialog both hold
// to them.
struct TSettingRange {
  int32_t Low, High;
  int32_t Clamp(int32_t v) const { return v < Low ? Low : v > High ? High : v; }
};
inline constexpr TSettingRange kWindowWidthRange{400, 7680}, kWindowHeightRange{300, 4320};
inline constexpr TSettingRange kAutoBaseRange{0, 3600}, kAutoPerCharRange{0, 600}, kVolumeRange{0, 100};
inline constexpr TSettingRange kSpeechRateRange{-100, 100}, kTextSizeRange{100, 150};
// The text sizes the reader can choose; a size between them reads as the one below it.
inline constexpr int32_t kTextSizes[] = {100, 125, 150};
inline int32_t TextSizeOf(int32_t percent) { return percent >= 150 ? 150 : percent >= 125 ? 125 : 100; }
// A voice's name is kept up to this many bytes, printable text only.
inline constexpr size_t kMaxSettingText = 200;

// The settings file's path; empty when there is no home for it.
std::string SettingsPath();
// A missing file gives the defaults; of a damaged one every good line is kept, and each
// bad one told in one line on stderr.
TSettings LoadSettings();
bool SaveSettings(const TSettings& settings, std::string& why);
// The text of a settings file, and back. Every good line counts; a number out of its range
// is brought into it, a line that is not "key=value" with a known key and a number is
// left out (what it would set keeps its default); a text keeps its printable characters
// up to kMaxSettingText. `notes` tells each such line.
std::string FormatSettings(const TSettings& settings);
TSettings ParseSettings(const std::string& text, std::vector<std::string>& notes);
