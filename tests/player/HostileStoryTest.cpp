// Story folders made to hurt the player: special files, links, huge sizes. Each runs
// through the real program under a time limit and must end normally, say what went
// wrong, and write nothing outside the story.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "../TestSupport.h"
#include "common/ABitmap.h"
#include "common/Ombrix.h"
#include "platform/CodePage.h"
#include "platform/Files.h"
#include "tools/SnapshotPng.h"

namespace {

namespace fs = std::filesystem;

class HostileStory : public testing::Test {
 protected:
  void SetUp() override {
    ::setenv("SORVANE_AUDIO", "null", 1);
    TABitmap window;
    window.SetSize(756, 192);
    window.FillRGB(90, 40, 20);
    ASSERT_TRUE(SaveSnapshotPng(window, FDir / "msg.png"));
  }
  void Script(const std::u16string& text) { WriteFile(FDir / "start.svx", WideToCP932(text)); }
  RunResult Run(std::vector<std::string> extra = {}) {
    std::vector<std::string> args{"/usr/bin/timeout", "30", SORVANE_CLI, "run", FDir.Path(), "--dialogs", "ignore"};
    args.insert(args.end(), extra.begin(), extra.end());
    return RunProgram(args, FDir.Path());
  }
  std::string Log() { return ReadFile(FDir / "sorvane.log"); }

  TempDir FDir;
};

constexpr char16_t kTwoPages[] = u"<BODY><P>一ページ目</P><P>二ページ目</P><CODE>EXIT</CODE></BODY>";

TEST_F(HostileStory, AScriptThatIsNoRegularFileIsAnOpenError) {
  for (const char* kind : {"fifo", "/dev/zero", "folder"}) {
    SCOPED_TRACE(kind);
    fs::remove_all(FDir / "start.svx");
    if (std::string(kind) == "fifo") ASSERT_EQ(::mkfifo((FDir / "start.svx").c_str(), 0600), 0);
    else if (std::string(kind) == "folder") fs::create_directory(FDir / "start.svx");
    else fs::create_symlink(kind, FDir / "start.svx");
    const RunResult r = Run();
    EXPECT_EQ(r.Status, 1);
    EXPECT_NE(r.Err.find("error: EInOutError: Cannot open file \"start.svx\"."), std::string::npos) << r.Err;
  }
}

TEST_F(HostileStory, AScriptTooLargeToReadIsRefusedUnread) {
  const int fd = ::open((FDir / "start.svx").c_str(), O_WRONLY | O_CREAT, 0644);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(::ftruncate(fd, off_t(kMaxStoryFileBytes) + 1), 0);
  ::close(fd);
  const RunResult r = Run();
  EXPECT_EQ(r.Status, 1);
  EXPECT_NE(r.Err.find("Cannot open file \"start.svx\". File too large"), std::string::npos) << r.Err;
}

// A fatal start-up error shows its box and ends the program through its shutdown: the log
// has its start line, the reason and its end line.
TEST_F(HostileStory, AnOverlongScriptLineEndsTheStartThroughTheNormalShutdown) {
  WriteFile(FDir / "start.svx", "<BODY><P>" + std::string(17 * 1024 * 1024, 'a'));
  const RunResult r = Run();
  EXPECT_EQ(r.Status, 1);
  EXPECT_NE(r.Err.find("dialog error: 次のエラーが発生したため、プログラムを終了します\\r\\n原因: スクリプト読み込みに失敗 "
                       "発生箇所ID: SL-GL_1"),
            std::string::npos)
      << r.Err.substr(0, 2000);
  const std::string log = Log();
  EXPECT_NE(log.find("プログラムを開始しました。\r\n"), std::string::npos);
  EXPECT_NE(log.find("発生箇所ID: SL-GL_1\r\n"), std::string::npos);
  EXPECT_EQ(log.size() - log.rfind("プログラムを終了しました。\r\n"), std::string("プログラムを終了しました。\r\n").size());
}

TEST_F(HostileStory, SpecialFilesAsPictureLogFontAndSoundNeitherBlockNorStopTheStory) {
  Script(u"<BODY><CODE>LOADSOUND 0,bgm.ogg</CODE><CODE>PLAYSOUND 0,1</CODE><P>続きます</P><CODE>EXIT</CODE></BODY>");
  fs::remove(FDir / "msg.png");
  for (const char* name : {"msg.png", "sorvane.log", "bgm.ogg"}) ASSERT_EQ(::mkfifo((FDir / name).c_str(), 0600), 0);
  // A folder of fonts where the font file should be: never handed to fontconfig.
  fs::create_directories(FDir / "YOzFontN/YOzFontN.TTF");
  fs::copy_file("/usr/share/fonts/opentype/ipafont-gothic/ipag.ttf", FDir / "YOzFontN/YOzFontN.TTF/ipag.ttf");
  const RunResult r = Run({"--click", "5"});
  EXPECT_EQ(r.Status, 0) << r.Err;
  EXPECT_NE(r.Err.find("dialog error: メッセージ背景画像を開けません。"), std::string::npos) << r.Err;
  EXPECT_NE(r.Err.find("Sonara Error [0]: -3"), std::string::npos) << r.Err;
  EXPECT_EQ(fs::status(FDir / "sorvane.log").type(), fs::file_type::fifo);
}

TEST_F(HostileStory, ALogLinkedOutsideTheStoryIsNeverWritten) {
  TempDir outside;
  WriteFile(outside / "authorized_keys", "kept\n");
  fs::create_symlink(outside / "authorized_keys", FDir / "sorvane.log");
  Script(u"<BODY><CODE>FOO ssh-ed25519 AAAA attacker</CODE><CODE>EXIT</CODE></BODY>");
  const RunResult r = Run();
  EXPECT_EQ(r.Status, 0);
  EXPECT_EQ(ReadFile(outside / "authorized_keys"), "kept\n");
  // A dangling link is not followed either, and does not bring the program down.
  fs::remove(FDir / "sorvane.log");
  fs::create_symlink(outside / "none", FDir / "sorvane.log");
  EXPECT_EQ(Run().Status, 0);
  EXPECT_FALSE(fs::exists(outside / "none"));
}

TEST_F(HostileStory, APictureDeclaringAHugeSizeIsRefusedFromItsHeader) {
  // A valid PNG signature and header chunk saying 16384 x 16384, and nothing else.
  std::string png = "\x89PNG\r\n\x1a\n";
  const unsigned char ihdr[] = {0, 0, 0, 13, 'I', 'H', 'D', 'R', 0, 0, 0x40, 0, 0, 0, 0x40, 0, 8, 6, 0, 0, 0};
  png.append(reinterpret_cast<const char*>(ihdr), sizeof ihdr);
  png += std::string("\xa9\xc8\x10\x84", 4);  // its CRC
  WriteFile(FDir / "msg.png", png);
  Script(kTwoPages);
  const RunResult r = Run({"--click", "5", "--click", "10"});
  EXPECT_EQ(r.Status, 0);
  EXPECT_NE(r.Err.find("dialog error: メッセージ背景画像を開けません。"), std::string::npos) << r.Err;
}

// A failing command in a loop without a WAIT: the log stops growing at its limit.
TEST_F(HostileStory, ALoopOfFailingCommandsCannotFillTheDisk) {
  Script(u"<BODY><A name=\"top\"></A><CODE>IF ==,#NOVAR,1,#top</CODE><A href=\"#top\"></A></BODY>");
  const RunResult r = Run({"--frames", "2"});
  EXPECT_EQ(r.Status, 0);
  const auto size = fs::file_size(FDir / "sorvane.log");
  EXPECT_LE(size, 16u * 1024 * 1024 + 64);
  EXPECT_GT(size, 15u * 1024 * 1024);
  EXPECT_NE(Log().find("ログが上限の 16 MB に達したため"), std::string::npos);
}
}  // namespace

namespace {
// An element longer than the parser's buffer is reported once, not once per block of it,
// and the story goes on.
TEST_F(HostileStory, AnOverlongElementIsReportedOnce) {
  WriteFile(FDir / "start.svx", "<BODY><CODE>TEXT " + std::string(1024 * 1024, 'a') + "</CODE>\r\n<P x=\"" +
                                    std::string(100 * 1024, 'b') + "\">\r\n" + WideToCP932(u"次") + "</P></BODY>\r\n");
  const RunResult r = Run({"--frames", "5"});
  EXPECT_EQ(r.Status, 0) << r.Err;
  size_t boxes = 0;
  for (size_t at = r.Err.find("バッファ容量不足です。"); at != std::string::npos; at = r.Err.find("バッファ容量不足です。", at + 1))
    ++boxes;
  EXPECT_EQ(boxes, 2u) << "one for the text, one for the tag";
}
}  // namespace

namespace {
// Escape sequences in a script reach no terminal through the tools' output: run's dialog
// lines, lint's findings and explore's report, as text and as JSON.
TEST_F(HostileStory, EscapeSequencesInTheScriptReachNoTerminal) {
  const std::string esc = "\x1B]52;c;QUFBQQ==\x07\x1B[2J\x1B[31m\x7F";
  WriteFile(FDir / "start.svx", "<BODY><CODE>SET #X" + esc + ",1</CODE><CODE>NOSUCH " + esc + "</CODE><A name=\"l" + esc +
                                    "\"></A><CODE>IF ==,#Y,1,#nowhere" + esc + "</CODE><P>a</P></BODY>\r\n");
  auto clean = [](const std::string& out) {
    return out.find_first_of(std::string("\x1B\x07\x7F", 3)) == std::string::npos;
  };
  const RunResult run = Run({"--frames", "10"});
  EXPECT_NE(run.Err.find("dialog"), std::string::npos) << run.Err;
  EXPECT_TRUE(clean(run.Out + run.Err)) << run.Err;
  for (const char* format : {"text", "json"}) {
    const RunResult lint = RunProgram({SORVANE_CLI, "lint", FDir.Path(), "--format", format}, FDir.Path());
    if (std::string(format) == "text") {
      EXPECT_NE(lint.Out.find("\\x1B"), std::string::npos) << lint.Out;
    }
    EXPECT_TRUE(clean(lint.Out + lint.Err)) << format;
    const RunResult explore = RunProgram({SORVANE_CLI, "explore", FDir.Path(), "--format", format}, FDir.Path());
    EXPECT_TRUE(clean(explore.Out + explore.Err)) << format;
  }
}
}  // namespace

namespace {
// Names in a scene file reach nothing outside the story folder: not by an absolute name,
// not through "..", not through a link; lint says why each is refused.
TEST_F(HostileStory, PicturesOutsideTheStoryFolderAreNeverRead) {
  TempDir outside;
  TABitmap red, blue;
  red.SetSize(100, 100);
  red.FillRGB(250, 0, 0);
  blue.SetSize(800, 600);
  blue.FillRGB(0, 0, 250);
  ASSERT_TRUE(SaveSnapshotPng(red, outside / "outside.png"));
  ASSERT_TRUE(SaveSnapshotPng(blue, FDir / "bg.png"));
  fs::create_symlink(outside / "outside.png", FDir / "link.png");
  ASSERT_EQ(::mkfifo((FDir / "fifo.png").c_str(), 0600), 0);
  const std::string up = "..\\" + fs::path(outside.Path()).filename().string() + "\\outside.png";
  fs::create_directories(FDir / "knv");
  WriteFile(FDir / "knv/background.knv",
            "<kn><scene index=t><knobject type=img src=bg.png width=800 height=600 pos_x=0 pos_y=0 alpha=255/>"
            "<knobject type=img src=\"" + outside / "outside.png" + "\" width=100 height=100 pos_x=0 pos_y=0 alpha=255/>"
            "<knobject type=img src=\"" + up + "\" width=100 height=100 pos_x=200 pos_y=0 alpha=255/>"
            "<knobject type=img src=link.png width=100 height=100 pos_x=400 pos_y=0 alpha=255/>"
            "<knobject type=img src=fifo.png width=100 height=100 pos_x=600 pos_y=0 alpha=255/>"
            "<knobject type=img src=/dev/zero width=100 height=100 pos_x=600 pos_y=200 alpha=255/>"
            "</scene></kn>");
  Script(u"<BODY><P>a</P></BODY>");
  const RunResult r = Run({"--frames", "3", "--snapshot", "2:" + (FDir / "shot.png")});
  EXPECT_EQ(r.Status, 0) << r.Err;
  HOMBRIX image = nullptr;
  ASSERT_EQ(CreateOmbrix(&image, (FDir / "shot.png").c_str()), 0);
  TABitmap shot;
  shot.SetPixelFormat(pf24bit);
  shot.SetSize(800, 600);
  GetImageDataToBitmap(image, shot.Handle());
  DeleteOmbrix(&image);
  shot.Ensure32Bit();
  // Where each refused picture would be, the background shows, as it does below them.
  auto pixel = [&](int x, int y) {
    const uint8_t* p = shot.ScanLine(y) + x * 4;
    return std::vector<int>{p[0], p[1], p[2]};
  };
  ASSERT_NE(pixel(50, 300), (std::vector<int>{0, 0, 0}));
  for (const int x : {50, 250, 450, 650}) EXPECT_EQ(pixel(x, 50), pixel(50, 300)) << "at x " << x;
  const RunResult lint = RunProgram({SORVANE_CLI, "lint", FDir.Path()}, FDir.Path());
  size_t outsideFindings = 0;
  for (size_t at = lint.Out.find("lies outside the story folder"); at != std::string::npos;
       at = lint.Out.find("lies outside the story folder", at + 1))
    ++outsideFindings;
  EXPECT_EQ(outsideFindings, 3u) << lint.Out;
  EXPECT_NE(lint.Out.find("image 'fifo.png' is not a regular file"), std::string::npos) << lint.Out;
  EXPECT_NE(lint.Out.find("image '/dev/zero' is not a regular file"), std::string::npos) << lint.Out;
}
}  // namespace
