// Every story in tests/stories through the real program, with its expected output.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <sstream>

#include "../TestSupport.h"
#include "common/ABitmap.h"
#include "platform/CodePage.h"
#include "tools/SnapshotPng.h"

namespace {

namespace fs = std::filesystem;

std::vector<std::string> StoryNames() {
  std::vector<std::string> names;
  for (const auto& e : fs::directory_iterator(SORVANE_SOURCE_DIR "/tests/stories"))
    if (e.is_directory()) names.push_back(e.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

std::string Optional(const std::string& path) { return fs::exists(path) ? ReadFile(path) : ""; }

// The log without its first line (the time of the start), with LF line ends.
std::string LogWithoutTime(const std::string& path) {
  std::string log = ReadFile(path);
  log.erase(0, log.find('\n') + 1);
  std::string out;
  for (size_t i = 0; i < log.size(); ++i)
    if (log[i] != '\r' || i + 1 == log.size() || log[i + 1] != '\n') out += log[i];
  return out;
}

class Story : public testing::TestWithParam<std::string> {};

TEST_P(Story, PrintsWhatItMust) {
  ::setenv("SORVANE_AUDIO", "null", 1);  // no sound card needed
  const std::string src = SORVANE_SOURCE_DIR "/tests/stories/" + GetParam() + "/";
  TempDir dir;
  WriteFile(dir / "start.svx", Utf8ToCP932(ReadFile(src + "start.svx.txt")));
  TABitmap window;  // a plain message window picture
  window.SetSize(756, 192);
  window.FillRGB(90, 40, 20);
  ASSERT_TRUE(SaveSnapshotPng(window, dir / "msg.png"));
  std::vector<std::string> args{SORVANE_CLI, "run", dir.Path()};
  std::istringstream words(ReadFile(src + "args"));
  for (std::string w; words >> w;) args.push_back(w);
  const RunResult r = RunProgram(args, dir.Path());
  EXPECT_EQ(r.Out, ReadFile(src + "expected.out"));
  EXPECT_EQ(r.Err, Optional(src + "expected.err"));
  const std::string status = Optional(src + "expected.status");
  EXPECT_EQ(r.Status, status.empty() ? 0 : std::stoi(status));
  if (fs::exists(src + "expected.log")) {
    EXPECT_EQ(LogWithoutTime(dir / "sorvane.log"), ReadFile(src + "expected.log"));
  }
}

INSTANTIATE_TEST_SUITE_P(Stories, Story, testing::ValuesIn(StoryNames()),
                         [](const testing::TestParamInfo<std::string>& info) { return info.param; });
}  // namespace
