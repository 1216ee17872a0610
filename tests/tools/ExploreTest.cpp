// Every story in tests/explore through `sorvane-cli explore`, with what it must print.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <sstream>

#include "../StoryFolder.h"
#include "../TestSupport.h"

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
