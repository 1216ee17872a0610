#include "platform/Files.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "platform/CodePage.h"

namespace {

namespace fs = std::filesystem;

class FileNames : public testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/sorvane-files-XXXXXX";
    FDir = ::mkdtemp(tmpl);
    FOld = fs::current_path();
    fs::current_path(FDir);
    SetFileNameLogHandler([this](const std::string& line) { FLog += line + "\n"; });
  }
  void TearDown() override {
    SetFileNameLogHandler(nullptr);
    fs::current_path(FOld);
    fs::remove_all(FDir);
  }
  static void Touch(const std::string& path) { std::ofstream(path) << "x"; }

  std::string FDir;
  fs::path FOld;
  std::string FLog;
};

TEST_F(FileNames, BackslashesAndCaseAreResolved) {
  fs::create_directory("Knv");
  Touch("Knv/BackGround.KNV");
  EXPECT_EQ(ResolveFileName(std::u16string_view(u"knv\\background.knv")), "Knv/BackGround.KNV");
  EXPECT_EQ(ResolveFileName(std::u16string_view(u"Knv\\BackGround.KNV")), "Knv/BackGround.KNV");
  EXPECT_EQ(FLog, "");
}

TEST_F(FileNames, FullWidthLettersMatchWithoutRegardToCase) {
  Touch("ＡＢＣ.png");
  EXPECT_EQ(ResolveFileName(std::u16string_view(u"ａｂｃ.PNG")), "ＡＢＣ.png");
}

TEST_F(FileNames, NamesStoredAsCP932BytesAreFound) {
  const std::string raw = WideToCP932(u"画像") + ".png";
  fs::create_directory("YOzFontN");
  Touch("YOzFontN/" + raw);
  EXPECT_EQ(ResolveFileName(std::u16string_view(u"yozfontn\\画像.PNG")), "YOzFontN/" + raw);
}

TEST_F(FileNames, AmbiguousNamesAreLoggedAndTheExactOneWins) {
  Touch("a.txt");
  Touch("A.TXT");
  EXPECT_EQ(ResolveFileName(std::string_view("a.txt")), "a.txt");
  EXPECT_EQ(FLog, "");
  EXPECT_EQ(ResolveFileName(std::string_view("a.Txt")), "A.TXT");
  EXPECT_NE(FLog.find("a.Txt"), std::string::npos);
  EXPECT_NE(FLog.find("a.txt"), std::string::npos);
}

TEST_F(FileNames, MissingFilesComeBackAsWritten) {
  EXPECT_EQ(ResolveFileName(std::u16string_view(u"se\\none.ogg")), "se/none.ogg");
  EXPECT_EQ(ResolveFileName(std::string_view("")), "");
}

TEST_F(FileNames, WholeFilesReadUpToTheirLimit) {
  const std::string big(200000, 'q');  // several turns of the growing buffer
  std::ofstream("big", std::ios::binary) << big;
  std::ofstream("empty").close();
  std::string bytes = "old";
  EXPECT_EQ(ReadFileBytes("big", bytes), TFileRead::Ok);
  EXPECT_EQ(bytes, big);
  EXPECT_EQ(ReadFileBytes("big", bytes, big.size()), TFileRead::Ok);
  EXPECT_EQ(bytes.size(), big.size());
  EXPECT_EQ(ReadFileBytes("big", bytes, big.size() - 1), TFileRead::TooLarge);
  EXPECT_EQ(bytes, "");
  EXPECT_EQ(ReadFileBytes("empty", bytes), TFileRead::Ok);
  EXPECT_EQ(bytes, "");
  EXPECT_EQ(ReadFileBytes("missing", bytes), TFileRead::OpenFailed);
  EXPECT_EQ(errno, ENOENT);
  EXPECT_EQ(ReadFileBytes(".", bytes), TFileRead::ReadFailed);  // a directory opens but does not read
}
}  // namespace
