#include "player/Settings.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "../TestSupport.h"

namespace {

TEST(Settings, TheDefaultsPlayTheStoryAsItAlwaysPlayedAndAFileReadsBack) {
  const TSettings defaults;
  EXPECT_EQ(defaults.WindowWidth, 800);
  EXPECT_EQ(defaults.WindowHeight, 600);
  EXPECT_FALSE(defaults.SkipUnread);
  TSettings s;
  s.WindowWidth = 1200, s.WindowHeight = 900, s.AutoBase = 30, s.AutoPerChar = 2, s.SkipUnread = true;
  s.Volume[0] = 40, s.Volume[1] = 0;
  TSettings back;
  std::string why;
  ASSERT_TRUE(ParseSettings(FormatSettings(s), back, why)) << why;
  EXPECT_EQ(FormatSettings(back), FormatSettings(s));
  EXPECT_TRUE(ParseSettings("# a comment\n\nwindow_width=1000\r\n", back, why));
  EXPECT_EQ(back.WindowWidth, 1000);
  EXPECT_EQ(back.WindowHeight, 600);  // what a file does not say keeps its default
}

TEST(Settings, ADamagedFileGivesTheDefaultsAndOneLine) {
  TSettings out;
  std::string why;
  for (const char* bad : {"window_width=99999\n", "window_width\n", "colour=red\n", "skip_unread=2\n",
                          "auto_base=-1\n", "window_height=abc\n", "volume1=101\n"}) {
    out.WindowWidth = 1;
    EXPECT_FALSE(ParseSettings(bad, out, why)) << bad;
    EXPECT_EQ(FormatSettings(out), FormatSettings(TSettings{})) << bad;
  }
  EXPECT_EQ(why.rfind("line 1 ", 0), 0u) << why;
  TempDir home;
  ::setenv("XDG_CONFIG_HOME", home.Path().c_str(), 1);
  std::filesystem::create_directories(home / "sorvane");
  WriteFile(home / "sorvane/settings", "window_width=1200\nnonsense\n");
  testing::internal::CaptureStderr();
  const TSettings loaded = LoadSettings();
  const std::string said = testing::internal::GetCapturedStderr();
  EXPECT_EQ(FormatSettings(loaded), FormatSettings(TSettings{}));
  EXPECT_NE(said.find("are damaged at line 2"), std::string::npos) << said;
  EXPECT_EQ(std::count(said.begin(), said.end(), '\n'), 1);
  // Saved, they read back; a missing file is the defaults, quietly.
  TSettings wide;
  wide.WindowWidth = 1600, wide.WindowHeight = 1200;
  ASSERT_TRUE(SaveSettings(wide, why)) << why;
  EXPECT_EQ(LoadSettings().WindowWidth, 1600);
  std::filesystem::remove(home / "sorvane/settings");
  EXPECT_EQ(LoadSettings().WindowWidth, 800);
  ::unsetenv("XDG_CONFIG_HOME");
}

}  // namespace
