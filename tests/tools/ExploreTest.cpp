// Every story in tests/explore through `sorvane-cli explore`, with what it must print.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <sstream>

#include "../StoryFolder.h"
#include "../TestSupport.h"
#include "platform/CodePage.h"
#include "tools/SnapshotPng.h"

namespace {

namespace fs = std::filesystem;


std::string Replaced(std::string text, const std::string& from, const std::string& to) {
  for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
    text.replace(at, from.size(), to);
  return text;
}

class Explore : public testing::TestWithParam<std::string> {};

TEST_P(Explore, FindsEveryEnding) {
  ::setenv("SORVANE_AUDIO", "null", 1);
  const std::string src = SORVANE_SOURCE_DIR "/tests/explore/" + GetParam() + "/";
  TempDir dir;
  MakeStoryFolder(src, dir);
  std::vector<std::string> args{SORVANE_CLI, "explore", dir.Path()};
  std::istringstream words(Optional(src + "args"));
  for (std::string w; words >> w;) args.push_back(w);
  const TempDir elsewhere;
  const RunResult r = RunProgram(args, elsewhere.Path());
  const std::string out = Replaced(r.Out, dir.Path(), "STORY");
  if (std::getenv("SORVANE_UPDATE_EXPECTED")) {  // after a deliberate change: review the diff
    WriteFile(src + "expected.out", out);
    if (r.Status != 0) WriteFile(src + "expected.status", std::to_string(r.Status) + "\n");
  }
  EXPECT_EQ(out, Optional(src + "expected.out"));
  const std::string status = Optional(src + "expected.status");
  EXPECT_EQ(r.Status, status.empty() ? 0 : std::stoi(status)) << r.Err;
}

INSTANTIATE_TEST_SUITE_P(Explore, Explore, testing::ValuesIn(CaseNames(SORVANE_SOURCE_DIR "/tests/explore")),
                         [](const testing::TestParamInfo<std::string>& info) { return info.param; });

// Every ending's replay, given to `sorvane-cli run`, ends that way.
TEST(ExploreReplay, EachEndingsArgumentsPlayItAgain) {
  ::setenv("SORVANE_AUDIO", "null", 1);
  TempDir dir;
  MakeStoryFolder(SORVANE_SOURCE_DIR "/tests/explore/two_endings/", dir);
  const TempDir elsewhere;
  const RunResult r = RunProgram({SORVANE_CLI, "explore", dir.Path()}, elsewhere.Path());
  std::istringstream lines(r.Out);
  int replays = 0;
  for (std::string line; std::getline(lines, line);) {
    if (line.rfind("  sorvane-cli run ", 0) != 0) continue;
    std::vector<std::string> args{SORVANE_CLI};
    std::istringstream words(line);
    std::string w;
    words >> w;  // sorvane-cli
    for (; words >> w;) args.push_back(w);
    args.push_back("--vars");
    const RunResult replay = RunProgram(args, elsewhere.Path());
    EXPECT_EQ(replay.Status, 0) << line;
    // The left road ends by EXIT; the right one at the script's end, with N set on the way.
    EXPECT_EQ(replay.Out.find("var N=1") != std::string::npos, replays == 1) << replay.Out;
    ++replays;
  }
  EXPECT_EQ(replays, 2);
}

// The bundled demo: its title's two buttons and its menus lead to four endings, and every
// command runs on some path. Nothing is written into the story.
TEST(ExploreDemo, PlaysEveryPathOfTheDemo) {
  ::setenv("SORVANE_AUDIO", "null", 1);
  const std::string demo = SORVANE_BINARY_DIR "/demo";
  const TempDir elsewhere;
  const RunResult r = RunProgram({SORVANE_CLI, "explore", demo}, elsewhere.Path());
  EXPECT_EQ(r.Status, 0) << r.Err;
  int endings = 0;
  std::istringstream lines(r.Out);
  for (std::string line; std::getline(lines, line);) endings += line.rfind("ending: ", 0) == 0;
  EXPECT_EQ(endings, 4) << r.Out;
  EXPECT_NE(r.Out.find("coverage: 100.0% of"), std::string::npos) << r.Out;
  EXPECT_FALSE(fs::exists(demo + "/sorvane.log"));
}

}  // namespace

namespace {
// Thirty yes/no menus, each setting a variable of its own: no two paths meet again, so
// exploring every path is out of reach. A limit of runs or of time, or an interrupt, ends
// the exploration with what was found, said to be incomplete, with status 3.
TEST(ExploreLimits, AnExplorationCutShortSaysSoAndReportsWhatItFound) {
  ::setenv("SORVANE_AUDIO", "null", 1);
  TempDir dir;
  std::u16string script = u"<BODY>";
  for (int k = 0; k < 30; ++k) {
    const std::u16string n = Utf8ToWide(std::to_string(k));
    script += u"<UL><LI><A href=#a" + n + u">はい</A></LI><LI><A href=#b" + n + u">いいえ</A></LI></UL><A name=a" + n +
              u"></A><CODE>SET #V" + n + u",1</CODE><A href=#n" + n + u"></A><A name=b" + n + u"></A><CODE>SET #V" + n +
              u",2</CODE><A name=n" + n + u"></A>";
  }
  WriteFile(dir / "start.svx", WideToCP932(script + u"<P>おわり</P></BODY>"));
  TABitmap window;
  window.SetSize(756, 192);
  ASSERT_TRUE(SaveSnapshotPng(window, dir / "msg.png"));
  std::filesystem::create_directory(dir / "knv");
  WriteFile(dir / "knv/background.knv", "<kn><scene index=blank></scene></kn>");
  const TempDir elsewhere;
  const std::vector<std::pair<std::vector<std::string>, std::string>> cases{
      {{SORVANE_CLI, "explore", dir.Path(), "--max-runs", "20"}, "(stopped at --max-runs: not every path was played)"},
      {{SORVANE_CLI, "explore", dir.Path(), "--max-seconds", "1", "--max-runs", "2000000000"},
       "(stopped at --max-seconds: not every path was played)"},
      {{"/usr/bin/timeout", "--preserve-status", "-s", "INT", "3", SORVANE_CLI, "explore", dir.Path(), "--max-runs",
        "2000000000"},
       "(stopped at an interrupt: not every path was played)"},
  };
  for (const auto& [args, said] : cases) {
    const RunResult r = RunProgram(args, elsewhere.Path());
    EXPECT_EQ(r.Status, 3) << args[3] << r.Err;
    EXPECT_NE(r.Out.find(said), std::string::npos) << r.Out;
    EXPECT_NE(r.Out.find("coverage: "), std::string::npos) << r.Out;
  }
  const RunResult json = RunProgram({SORVANE_CLI, "explore", dir.Path(), "--max-runs", "20", "--format", "json"}, elsewhere.Path());
  EXPECT_EQ(json.Status, 3);
  EXPECT_NE(json.Out.find("\"complete\":false"), std::string::npos) << json.Out;
}
}  // namespace
