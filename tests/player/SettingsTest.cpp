#include "player/Settings.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "../TestSupport.h"

namespace {

void ExpectSame(const TSettings& a, const TSettings& b) {
  EXPECT_EQ(a.WindowWidth, b.WindowWidth);
  EXPECT_EQ(a.WindowHeight, b.WindowHeight);
  EXPECT_EQ(a.AutoBase, b.AutoBase);
  EXPECT_EQ(a.AutoPerChar, b.AutoPerChar);
  EXPECT_EQ(a.SkipUnread, b.SkipUnread);
  for (int c = 0; c < kChannelCount; ++c) EXPECT_EQ(a.Volume[c], b.Volume[c]) << c;
  EXPECT_EQ(a.Speak, b.Speak);
  EXPECT_EQ(a.SpeechRate, b.SpeechRate);
  EXPECT_EQ(a.SpeechVoice, b.SpeechVoice);
  EXPECT_EQ(a.TextSize, b.TextSize);
  EXPECT_EQ(a.HighContrast, b.HighContrast);
  EXPECT_EQ(a.LineBreakRules, b.LineBreakRules);
  EXPECT_EQ(a.Language, b.Language);
}

TEST(Settings, TheDefaultsPlayTheStoryAsItAlwaysPlayedAndAFileReadsBack) {
  const TSettings defaults;
  EXPECT_EQ(defaults.WindowWidth, 800);
  EXPECT_EQ(defaults.WindowHeight, 600);
  EXPECT_FALSE(defaults.SkipUnread);
  TSettings s;
  s.WindowWidth = 1200, s.WindowHeight = 900, s.AutoBase = 30, s.AutoPerChar = 2, s.SkipUnread = true;
  s.Volume[0] = 40, s.Volume[1] = 0;
  s.Speak = true, s.SpeechRate = -30, s.SpeechVoice = "Japanese (espeak-ng) ja";
  s.TextSize = 125, s.HighContrast = true, s.LineBreakRules = true, s.Language = "pt-BR";
  EXPECT_FALSE(defaults.Speak);
  EXPECT_FALSE(defaults.LineBreakRules);
  EXPECT_EQ(defaults.Language, "");
  std::vector<std::string> notes;
  ExpectSame(ParseSettings(FormatSettings(s), notes), s);  // every key, each way
  EXPECT_TRUE(notes.empty());
  const TSettings some = ParseSettings("# a comment\n\nwindow_width=1000\r\n", notes);
  EXPECT_EQ(some.WindowWidth, 1000);
  EXPECT_EQ(some.WindowHeight, 600);  // what a file does not say keeps its default
  EXPECT_TRUE(notes.empty());
}

TEST(Settings, EachGoodLineIsKeptAndEachBadOneClampedOrLeftOutAndTold) {
  std::vector<std::string> notes;
  const TSettings s = ParseSettings(
      "window_width=100000\nvolume0=-5\nauto_base=-1\nvolume1=40\nskip_unread=2\nwindow_height=abc\ncolour=red\n"
      "auto_per_char=7\nwindow_height\n\x01\x02\xff\xfe=3\n",
      notes);
  EXPECT_EQ(s.WindowWidth, kWindowWidthRange.High);
  EXPECT_EQ(s.Volume[0], 0);
  EXPECT_EQ(s.AutoBase, 0);
  EXPECT_EQ(s.Volume[1], 40);  // a good line among bad ones
  EXPECT_TRUE(s.SkipUnread);
  EXPECT_EQ(s.WindowHeight, 600);
  EXPECT_EQ(s.AutoPerChar, 7);
  ASSERT_EQ(notes.size(), 8u);
  EXPECT_EQ(notes[0].rfind("line 1 (\"window_width=100000\") is out of its range: 7680 is used", 0), 0u) << notes[0];
  EXPECT_NE(notes[5].find("is no setting"), std::string::npos) << notes[5];
  EXPECT_EQ(notes[7].find('\x01'), std::string::npos);  // controls escaped
  // Through the file: one line for each bad one, and every good key kept.
  TempDir home;
  const std::string sealed = std::getenv("XDG_CONFIG_HOME") ? std::getenv("XDG_CONFIG_HOME") : "";
  ::setenv("XDG_CONFIG_HOME", home.Path().c_str(), 1);
  std::filesystem::create_directories(home / "sorvane");
  WriteFile(home / "sorvane/settings", "window_width=1200\nnonsense\nvolume1=20\n");
  testing::internal::CaptureStderr();
  const TSettings loaded = LoadSettings();
  const std::string said = testing::internal::GetCapturedStderr();
  EXPECT_EQ(loaded.WindowWidth, 1200);
  EXPECT_EQ(loaded.Volume[1], 20);
  EXPECT_NE(said.find("line 2 (\"nonsense\") is no setting"), std::string::npos) << said;
  EXPECT_EQ(std::count(said.begin(), said.end(), '\n'), 1);
  // Saved, they read back; a missing file is the defaults, quietly.
  TSettings wide;
  wide.WindowWidth = 1600, wide.WindowHeight = 1200;
  std::string why;
  ASSERT_TRUE(SaveSettings(wide, why)) << why;
  ExpectSame(LoadSettings(), wide);
  std::filesystem::remove(home / "sorvane/settings");
  ExpectSame(LoadSettings(), TSettings{});
  ::setenv("XDG_CONFIG_HOME", sealed.c_str(), 1);
}

TEST(Settings, AVoicesNameKeepsPrintableTextWithinItsBound) {
  std::vector<std::string> notes;
  TSettings s = ParseSettings("speech_voice=ja\x1b[31m\x07x\nspeech_rate=500\nspeak=1\n", notes);
  EXPECT_EQ(s.SpeechVoice, "ja[31mx");
  EXPECT_EQ(s.SpeechRate, kSpeechRateRange.High);
  EXPECT_TRUE(s.Speak);
  EXPECT_EQ(notes.size(), 2u);
  s = ParseSettings("speech_voice=" + std::string(5000, 'v') + "\nspeech_voice\n", notes);
  EXPECT_EQ(s.SpeechVoice.size(), kMaxSettingText);
  // Written, it is what it was read as.
  EXPECT_NE(FormatSettings(s).find("speech_voice=" + s.SpeechVoice + "\n"), std::string::npos);
}

}  // namespace
