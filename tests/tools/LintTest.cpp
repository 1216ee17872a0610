// Every story in tests/lint through `sorvane-cli lint`, with the exact findings it must give.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <sstream>

#include "../StoryFolder.h"
#include "../TestSupport.h"

namespace {

namespace fs = std::filesystem;


class Lint : public testing::TestWithParam<std::string> {};

// args: the options after the story folder; expected.out and expected.status (0 when
// missing). Nothing may be written into the story.
TEST_P(Lint, FindsWhatItMust) {
  const std::string src = SORVANE_SOURCE_DIR "/tests/lint/" + GetParam() + "/";
  TempDir dir;
  MakeStoryFolder(src, dir);
  std::vector<std::string> before;
  for (const auto& e : fs::recursive_directory_iterator(dir.Path())) before.push_back(e.path().string());
  std::vector<std::string> args{SORVANE_CLI, "lint", dir.Path()};
  std::istringstream words(Optional(src + "args"));
  for (std::string w; words >> w;) args.push_back(w);
  const TempDir elsewhere;
  const RunResult r = RunProgram(args, elsewhere.Path());
  if (std::getenv("SORVANE_UPDATE_EXPECTED")) {  // after a deliberate change: review the diff
    WriteFile(src + "expected.out", r.Out);
    if (r.Status != 0) WriteFile(src + "expected.status", std::to_string(r.Status) + "\n");
  }
  EXPECT_EQ(r.Out, Optional(src + "expected.out"));
  const std::string status = Optional(src + "expected.status");
  EXPECT_EQ(r.Status, status.empty() ? 0 : std::stoi(status)) << r.Err;
  std::vector<std::string> after;
  for (const auto& e : fs::recursive_directory_iterator(dir.Path())) after.push_back(e.path().string());
  std::sort(before.begin(), before.end());
  std::sort(after.begin(), after.end());
  EXPECT_EQ(after, before);
}

INSTANTIATE_TEST_SUITE_P(Lint, Lint, testing::ValuesIn(CaseNames(SORVANE_SOURCE_DIR "/tests/lint")),
                         [](const testing::TestParamInfo<std::string>& info) { return info.param; });

// The element limit is named at the element where the script runs past it.
TEST(LintLimits, AScriptPastItsElementsIsToldWhereItStopsBeingRead) {
  TempDir dir;
  std::string script = "<BODY>\n";  // element 1, then one element a line
  for (int i = 0; i < 5005; ++i) script += "<CODE>SET #a,1</CODE>\n";
  WriteFile(dir / "start.svx", script + "</BODY>\n");
  fs::create_directory(dir / "knv");
  WriteFile(dir / "knv/background.knv", "<kn><scene index=blank></scene></kn>");
  const TempDir elsewhere;
  const RunResult r = RunProgram({SORVANE_CLI, "lint", dir.Path()}, elsewhere.Path());
  EXPECT_EQ(r.Out,
            "start.svx:5000: error: a Shift-JIS script holds at most 4,999 elements: this one and the 6 after it are "
            "not read (write each page as one <P>, or the story in UTF-8) [element-limit]\n");
  EXPECT_EQ(r.Status, 1);
}

// The bundled demo is the example authors start from: it must lint clean.
TEST(LintDemo, TheDemoStoryLintsClean) {
  const std::string demo = SORVANE_BINARY_DIR "/demo";
  const TempDir elsewhere;
  const RunResult r = RunProgram({SORVANE_CLI, "lint", demo, "--werror"}, elsewhere.Path());
  EXPECT_EQ(r.Out, "");
  EXPECT_EQ(r.Status, 0) << r.Err;
}

}  // namespace
