// Auto and skip through the real program, with the read marks kept in --data-dir.
#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>

#include "../TestSupport.h"
#include "platform/CodePage.h"
#include "player/ReadMarks.h"

namespace {

class ReadingModes : public testing::Test {
 protected:
  void SetUp() override {
    ::setenv("SORVANE_AUDIO", "null", 1);
    std::filesystem::copy_file(SORVANE_BINARY_DIR "/demo/msg.png", FStory / "msg.png");
    Write(u"<P>一ページ目です。</P><P>二ページ目です。</P><P>三ページ目です。</P>");
  }
  void Write(const std::u16string& pages) {
    WriteFile(FStory / "start.svx", WideToCP932(u"<BODY><CODE>SETLAYERVISIBLE 0,1,0,0</CODE>" + pages +
                                                  u"<CODE>EXIT</CODE></BODY>"));
  }
  RunResult Run(std::vector<std::string> extra) {
    std::vector<std::string> args{SORVANE_CLI, "run", FStory.Path(), "--trace", "--data-dir", FData.Path()};
    args.insert(args.end(), extra.begin(), extra.end());
    return RunProgram(args, FOut.Path());
  }
  // The frames at which each page's text was added, in order.
  static std::vector<int> PageFrames(const std::string& trace) {
    std::vector<int> frames;
    std::istringstream in(trace);
    for (std::string line; std::getline(in, line);)
      if (line.find(" TEXT ") != std::string::npos) frames.push_back(std::stoi(line.substr(1)));
    return frames;
  }
  TempDir FStory, FData, FOut;
};

TEST_F(ReadingModes, AutoReachesTheEndWithoutAClickAndAClickEndsIt) {
  const RunResult automatic = Run({"--auto"});
  EXPECT_EQ(automatic.Status, 0) << automatic.Err;
  EXPECT_NE(automatic.Out.find(" EXIT "), std::string::npos) << automatic.Out;
  const std::vector<int> pages = PageFrames(automatic.Out);
  ASSERT_EQ(pages.size(), 3u);
  // A page stays for a delay that grows with its length: never at once.
  EXPECT_GT(pages[1] - pages[0], 60);
  EXPECT_EQ(pages[2] - pages[1], pages[1] - pages[0]);  // pages of one length, one delay
  // A click ends auto mode and does nothing else: the story waits on its first page.
  const RunResult ended = Run({"--auto", "--click", "20", "--frames", "600"});
  EXPECT_EQ(PageFrames(ended.Out).size(), 1u) << ended.Out;
}

// A page that takes two screens at 150%: auto mode shows the second after its delay, and
// goes past the page only after it; a click at the first screen's end shows the second.
TEST_F(ReadingModes, AutoAndTheClickGoThroughEachScreenOfALargePage) {
  Write(u"<P>" + std::u16string(60, u'あ') + u"</P><P>つぎ</P>");
  const RunResult normal = Run({"--auto"});
  const RunResult large = Run({"--auto", "--text-size", "150"});
  ASSERT_EQ(PageFrames(normal.Out).size(), 2u) << normal.Out;
  ASSERT_EQ(PageFrames(large.Out).size(), 2u) << large.Out;
  EXPECT_GT(PageFrames(large.Out)[1], PageFrames(normal.Out)[1] + 60);  // a second delay
  // By clicks: each screen waits for one (the first is typed out by frame 200).
  const RunResult clicks = Run({"--text-size", "150", "--click", "200", "--frames", "300"});
  EXPECT_EQ(PageFrames(clicks.Out).size(), 1u) << clicks.Out;  // the second screen shows
  const RunResult more = Run({"--text-size", "150", "--click", "200", "--click", "290", "--frames", "300"});
  EXPECT_EQ(PageFrames(more.Out).size(), 2u) << more.Out;
}

TEST_F(ReadingModes, SkipRunsThroughWhatWasReadAndStopsAtTheFirstUnreadPage) {
  // A first reading: the first page read, then the story left on the second while it is
  // still being typed.
  ASSERT_EQ(Run({"--click", "60", "--frames", "62"}).Status, 0);
  // A second: skip goes through the first page at once and waits on the second.
  const RunResult skipped = Run({"--skip", "--frames", "200"});
  const std::vector<int> pages = PageFrames(skipped.Out);
  ASSERT_EQ(pages.size(), 2u) << skipped.Out;
  EXPECT_LE(pages[1], 3);
  // The story updated: a page added before the others. What was read is still read.
  Write(u"<P>新しいページです。</P><P>一ページ目です。</P><P>二ページ目です。</P><P>三ページ目です。</P>");
  const RunResult updated = Run({"--skip", "--frames", "200"});
  EXPECT_EQ(PageFrames(updated.Out).size(), 1u) << updated.Out;  // the new page is unread
  ASSERT_EQ(Run({"--click", "30", "--frames", "40"}).Status, 0);  // now read
  const RunResult again = Run({"--skip", "--frames", "200"});
  // Through the new page, the first, and the second, which the skip before showed whole.
  EXPECT_EQ(PageFrames(again.Out).size(), 4u) << again.Out;
  // Damaged marks are no marks, said once.
  const std::string marks = FData / (std::filesystem::path(FStory.Path()).filename().string() + "/read-marks");
  ASSERT_TRUE(std::filesystem::exists(marks));
  WriteFile(marks, "SORVREAD garbage");
  const RunResult damaged = Run({"--skip", "--frames", "50"});
  EXPECT_EQ(PageFrames(damaged.Out).size(), 1u);
  EXPECT_NE(damaged.Err.find("are not used: it is damaged"), std::string::npos) << damaged.Err;
  // A page shown whole counts as read, even when the reader never clicked past it.
  std::filesystem::remove(marks);
  ASSERT_EQ(Run({"--click", "60", "--frames", "120"}).Status, 0);
  const std::vector<int> shown = PageFrames(Run({"--skip", "--frames", "200"}).Out);
  EXPECT_EQ(shown.size(), 3u);  // through the new page and the first, to the second
}

TEST_F(ReadingModes, SkipDoesNotWaitForSceneChanges) {
  std::filesystem::create_directory(FStory / "knv");
  WriteFile(FStory / "knv/background.knv", "<kn><scene index=a></scene><scene index=b></scene></kn>");
  Write(u"<P>一ページ目です。</P><CODE>CHANGESCENE 0,b,-2,5000</CODE><P>二ページ目です。</P><P>三ページ目です。</P>");
  // Read once: the five-second cross-fade holds the second page back for 300 frames.
  const RunResult first = Run({"--click", "60", "--click", "420", "--frames", "440"});
  const std::vector<int> read = PageFrames(first.Out);
  ASSERT_EQ(read.size(), 3u) << first.Out;
  EXPECT_GT(read[1] - read[0], 300);
  // Skipped: the change ends at once, and the third page (not read) comes within frames.
  const std::vector<int> skipped = PageFrames(Run({"--skip", "--frames", "100"}).Out);
  ASSERT_EQ(skipped.size(), 3u);
  EXPECT_LT(skipped[2], 10);
}

TEST(ReadMarks, AFileReadsBackAndAnyDamageIsRefused) {
  TempDir dir;
  TReadMarks marks;
  for (uint64_t k = 1; k <= 100; ++k) marks.Mark(k * 0x9E3779B97F4A7C15ull);
  TRefusal why;
  ASSERT_TRUE(marks.Save(dir / "m", why)) << why.English();
  TReadMarks back;
  ASSERT_TRUE(back.Load(dir / "m", why)) << why.English();
  EXPECT_EQ(back.Count(), 100u);
  EXPECT_TRUE(back.Read(7 * 0x9E3779B97F4A7C15ull));
  const std::string bytes = ReadFile(dir / "m");
  for (size_t at = 0; at < bytes.size(); at += 3) {
    std::string bent = bytes;
    bent[at] = char(bent[at] ^ 0x41);
    WriteFile(dir / "bent", bent);
    TReadMarks b;
    EXPECT_FALSE(b.Load(dir / "bent", why)) << at;
    EXPECT_EQ(b.Count(), 0u);
  }
  WriteFile(dir / "short", bytes.substr(0, bytes.size() - 1));
  EXPECT_FALSE(TReadMarks().Load(dir / "short", why));
  TReadMarks none;
  EXPECT_TRUE(none.Load(dir / "missing", why));  // no file: nothing read yet
}

}  // namespace
