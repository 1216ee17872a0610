#include "platform/Files.h"

#include <gtest/gtest.h>
#include <fcntl.h>
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
  EXPECT_EQ(ReadFileBytes(".", bytes), TFileRead::OpenFailed);
  EXPECT_EQ(errno, EISDIR);
}

// Story files are only ever regular files: FIFOs and devices neither block nor read
// without end, links to them included.
TEST_F(FileNames, OnlyRegularFilesOpenAndNothingBlocks) {
  ASSERT_EQ(::mkfifo("fifo", 0600), 0);
  ASSERT_EQ(::symlink("/dev/zero", "zero"), 0);
  ASSERT_EQ(::symlink("fifo", "to-fifo"), 0);
  Touch("plain");
  ASSERT_EQ(::symlink("plain", "to-plain"), 0);
  std::string bytes;
  for (const char* name : {"fifo", "zero", "to-fifo", "/dev/null"}) {
    SCOPED_TRACE(name);
    EXPECT_EQ(ReadFileBytes(name, bytes), TFileRead::OpenFailed);
    EXPECT_EQ(errno, EINVAL);
    EXPECT_EQ(OpenRegularFile(name), -1);
    EXPECT_EQ(OpenRegularFileStream(name), nullptr);
    EXPECT_FALSE(IsRegularFile(name));
  }
  EXPECT_EQ(ReadFileBytes("to-plain", bytes), TFileRead::Ok);
  EXPECT_EQ(bytes, "x");
  const int fd = OpenRegularFile("plain");
  ASSERT_GE(fd, 0);
  EXPECT_TRUE(::fcntl(fd, F_GETFD) & FD_CLOEXEC);
  EXPECT_FALSE(::fcntl(fd, F_GETFL) & O_NONBLOCK);
  ::close(fd);
}

TEST_F(FileNames, FilesPastTheStoryLimitAreTooLargeUnread) {
  // Sparse: its size says it is too large before a byte is read.
  const int fd = ::open("huge", O_WRONLY | O_CREAT, 0644);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(::ftruncate(fd, off_t(kMaxStoryFileBytes) + 1), 0);
  ::close(fd);
  std::string bytes;
  EXPECT_EQ(ReadFileBytes("huge", bytes), TFileRead::TooLarge);
  EXPECT_EQ(errno, EFBIG);
  EXPECT_EQ(bytes.capacity() < 4096, true);
}
}  // namespace

#include "platform/Logs.h"

namespace {

TEST(Logs, GoBesideTheStoryOrIntoAFolderOfTheUsersStateMadeForIt) {
  EXPECT_EQ(LogPath("sorvane.log"), "sorvane.log");
  char tmpl[] = "/tmp/sorvane-state-XXXXXX";
  const std::string state = ::mkdtemp(tmpl);
  ::setenv("XDG_STATE_HOME", state.c_str(), 1);
  const std::string a = StateLogFolderFor("/usr/share/sorvane/demo");
  const std::string b = StateLogFolderFor("/opt/other/demo");
  ::unsetenv("XDG_STATE_HOME");
  // Named after the story, told apart by its whole path, made private to the user.
  EXPECT_EQ(a.rfind(state + "/sorvane/demo-", 0), 0u) << a;
  EXPECT_NE(a, b);
  struct stat st;
  ASSERT_EQ(::lstat(a.c_str(), &st), 0);
  EXPECT_TRUE(S_ISDIR(st.st_mode));
  EXPECT_EQ(st.st_mode & 0777, 0700u);
  SetLogFolder(a);
  EXPECT_EQ(LogPath("Kinetra.log"), a + "/Kinetra.log");
  EXPECT_EQ(LogPath("/var/x.log"), "/var/x.log");
  SetLogFolder("");
  EXPECT_EQ(LogPath("Kinetra.log"), "Kinetra.log");
  std::filesystem::remove_all(state);
}

}  // namespace
