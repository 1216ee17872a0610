// The reader's settings: the window's size, auto mode's pace, whether skip also goes
// through pages not read. Kept as "key=value" lines in $XDG_CONFIG_HOME/sorvane/settings
// (by default ~/.config/sorvane/settings), written atomically. The defaults play the story
// as it always played.
// Threads: any.
#pragma once

#include <cstdint>
#include <string>

struct TSettings {
  int32_t WindowWidth = 800;
  int32_t WindowHeight = 600;
  uint32_t AutoBase = 90;     // frames a page stays in auto mode
  uint32_t AutoPerChar = 4;   // and more for each of its characters
  bool SkipUnread = false;
  int32_t Volume[2] = {100, 100};  // each sound channel's, 0 to 100
};

// The settings file's path; empty when there is no home for it.
std::string SettingsPath();
// A missing file gives the defaults; a damaged one the defaults and one line on stderr.
TSettings LoadSettings();
bool SaveSettings(const TSettings& settings, std::string& why);
// The text of a settings file, and back: false, with the reason, for a line that is not
// "key=value" with a known key and a value in its range (`out` then holds the defaults).
std::string FormatSettings(const TSettings& settings);
bool ParseSettings(const std::string& text, TSettings& out, std::string& why);
