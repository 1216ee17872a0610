#include "player/FileVerInfo.h"

#include <gtest/gtest.h>

#include <cstdlib>

#include "platform/VersionBlock.h"

// This test program carries a block with two translations, the second Japanese.
SORVANE_VERSION_BLOCK(
    "VarFileInfo\\Translation=040904B0,041103A4\n"
    "StringFileInfo\\040904B0\\FileVersion=9.9.9.9\n"
    "StringFileInfo\\041103A4\\FileVersion=1.2.3.4\n"
    "StringFileInfo\\041103A4\\LegalCopyright=テスト\n")

namespace {

struct Locale {
  explicit Locale(const char* lang) {
    ::unsetenv("LC_ALL");
    ::unsetenv("LC_MESSAGES");
    ::setenv("LANG", lang, 1);
  }
};

TEST(FileVerInfo, TwoTranslationsFollowTheUsersLanguage) {
  TFileVerInfo info;
  {
    Locale ja("ja_JP.UTF-8");
    info.SetFileName("/proc/self/exe");
    EXPECT_TRUE(info.Loaded());
    EXPECT_EQ(info.Translation(), "041103A4");
    EXPECT_EQ(info.FileVersion(), "1.2.3.4");
    EXPECT_EQ(info.LegalCopyright(), "テスト");
  }
  {
    Locale c("C.UTF-8");
    EXPECT_EQ(info.Translation(), "040904B0");
    EXPECT_EQ(info.FileVersion(), "9.9.9.9");
    EXPECT_EQ(info.LegalCopyright(), "");
  }
}

TEST(FileVerInfo, OneTranslationIsUsedWhateverTheLanguage) {
  Locale c("C");
  TFileVerInfo info;
  info.SetFileName("libkinetra.so");  // found beside the program
  EXPECT_EQ(info.Translation(), "041103A4");
  EXPECT_EQ(info.FileVersion(), "0.6.4.239");
}

TEST(FileVerInfo, MissingFilesAndBlocksGiveEmptyValues) {
  TFileVerInfo info;
  info.SetFileName("no-such-library.so");
  EXPECT_FALSE(info.Loaded());
  EXPECT_EQ(info.FileVersion(), "");
  EXPECT_EQ(info.Translation(), "");
  info.SetFileName("/bin/true");  // a program without a block
  EXPECT_FALSE(info.Loaded());
  info.SetFileName("/etc/hostname");  // not a program at all
  EXPECT_EQ(info.FileVersion(), "");
}

TEST(FileVerInfo, TheAboutTextHasSixBlocksInOrder) {
  const std::string text = AboutText();
  const size_t kinetra = text.find("Powered by Kinetra System\r\nVersion 0.6.4.239\r\n");
  const size_t ombrix = text.find("Ombrix.dll\r\nVersion 1.0.0.0\r\n");
  const size_t decoder = text.find("Ogg Vorbis decoder\r\nVersion \r\n\r\n\r\n");
  EXPECT_EQ(text.rfind("Sorvane\r\nVersion ", 0), 0u);
  EXPECT_NE(kinetra, std::string::npos);
  EXPECT_LT(kinetra, ombrix);
  EXPECT_LT(ombrix, decoder);
  EXPECT_EQ(text.substr(text.size() - 4), "\r\n\r\n");
}
}  // namespace
