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

std::vector<std::string> Cases() {
  std::vector<std::string> names;
  for (const auto& e : fs::directory_iterator(SORVANE_SOURCE_DIR "/tests/explore"))
    if (e.is_directory()) names.push_back(e.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

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

INSTANTIATE_TEST_SUITE_P(Explore, Explore, testing::ValuesIn(Cases()),
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

}  // namespace
