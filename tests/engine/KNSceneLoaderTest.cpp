#include "engine/KNSceneLoader.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "../PngWriter.h"
#include "../TestSupport.h"

namespace {

// The pictures every case's folder holds.
void WritePictures(const TempDir& dir) {
  std::vector<uint8_t> rgb(4 * 3 * 3, 0x40), rgba(4 * 3 * 4, 0x80), grey(8 * 6 * 3);
  for (size_t i = 0; i < grey.size(); ++i) grey[i] = uint8_t(i / 3 * 5);
  WritePng(dir / "a.png", 4, 3, PNG_COLOR_TYPE_RGB, 8, rgb);
  WritePng(dir / "b.png", 4, 3, PNG_COLOR_TYPE_RGBA, 8, rgba);
  WritePng(dir / "m.png", 8, 6, PNG_COLOR_TYPE_RGB, 8, grey);
}

std::vector<std::string> CaseNames() {
  std::vector<std::string> names;
  for (const auto& e : std::filesystem::directory_iterator(SORVANE_SOURCE_DIR "/tests/scenes")) {
    const std::string file = e.path().filename().string();
    if (file.size() > 8 && file.ends_with(".knv.txt")) names.push_back(file.substr(0, file.size() - 8));
  }
  std::sort(names.begin(), names.end());
  return names;
}

std::string ReadIfThere(const std::string& path) { return std::filesystem::exists(path) ? ReadFile(path) : ""; }

// Every file in tests/scenes through the real program.
class SceneFile : public testing::TestWithParam<std::string> {};

TEST_P(SceneFile, PrintsItsScenesDialogsAndLog) {
  const std::string base = SORVANE_SOURCE_DIR "/tests/scenes/" + GetParam();
  TempDir dir;
  WritePictures(dir);
  WriteFile(dir / (GetParam() + ".knv"), ShiftJisSource(ReadFile(base + ".knv.txt")));
  const RunResult r = RunProgram({SORVANE_CLI, "scenes", GetParam() + ".knv"}, dir.Path());
  const std::string out = ReadFile(base + ".out");
  EXPECT_EQ(r.Out, out);
  EXPECT_EQ(r.Err, ReadIfThere(base + ".err"));
  EXPECT_EQ(ReadIfThere(dir / "Kinetra.log"), ReadIfThere(base + ".log"));
  EXPECT_EQ(r.Status, out.ends_with("result\t0\n") ? 0 : 1);
}

INSTANTIATE_TEST_SUITE_P(Scenes, SceneFile, testing::ValuesIn(CaseNames()),
                         [](const testing::TestParamInfo<std::string>& info) { return info.param; });

TEST(ScenesCommand, MissingUnreadableAndNonRegularFilesAreReadErrors) {
  TempDir dir;
  EXPECT_EQ(RunProgram({SORVANE_CLI, "scenes"}, dir.Path()).Status, 2);  // bad arguments
  EXPECT_EQ(RunProgram({SORVANE_CLI, "scenes", "a.knv", "--dialogs", "maybe"}, dir.Path()).Status, 2);  // bad arguments
  RunResult r = RunProgram({SORVANE_CLI, "scenes", "missing.knv"}, dir.Path());
  EXPECT_EQ(r.Status, 1);
  EXPECT_EQ(r.Out, "result\t-1\n");
  EXPECT_EQ(r.Err.rfind("dialog error: Cannot open file \"missing.knv\".", 0), 0u) << r.Err;
  // A FIFO never blocks the load, and a folder is no file.
  ASSERT_EQ(::mkfifo((dir / "fifo.knv").c_str(), 0644), 0);
  std::filesystem::create_directory(dir / "folder.knv");
  for (const char* name : {"fifo.knv", "folder.knv"}) {
    r = RunProgram({"/usr/bin/timeout", "10", SORVANE_CLI, "scenes", name}, dir.Path());
    EXPECT_EQ(r.Status, 1) << name;
    EXPECT_EQ(r.Out, "result\t-1\n") << name;
    EXPECT_EQ(r.Err.rfind("dialog error: Cannot open file", 0), 0u) << r.Err;
  }
}

TEST(ScenesCommand, FileNamesResolveAsStoryFilesDo) {
  TempDir dir;
  WritePictures(dir);
  std::filesystem::create_directory(dir / "Knv");
  WriteFile(dir / "Knv/Background.KNV",
            "<kn><trans><transrule src=M.PNG/></trans><scene index=main><knobject type=img src=A.png width=4 "
            "height=3 pos_x=0 pos_y=0 alpha=255/></scene></kn>");
  const RunResult r = RunProgram({SORVANE_CLI, "scenes", "knv\\background.knv"}, dir.Path());
  EXPECT_EQ(r.Err, "");
  EXPECT_EQ(r.Out,
            "scene\t0\tmain\tcontrol=0\tobjects=1\nobject\t0\timg\t0,0,4,3\t255\t-1\nmask\t0\t8x6\tvag=5\nresult\t0\n");
}

}  // namespace

namespace {
// The file is parsed in blocks: an element longer than the parser's buffer is reported
// once, not once for each block it spans.
TEST(ScenesCommand, AnOverlongElementIsReportedOnce) {
  TempDir dir;
  WriteFile(dir / "long.knv", "<kn><scene index=a><knobject type=img src=\"" + std::string(100 * 1024, 'x') +
                                  "\"/></scene><scene index=b></scene></kn>");
  const RunResult r = RunProgram({SORVANE_CLI, "scenes", "long.knv"}, dir.Path());
  size_t boxes = 0;
  for (size_t at = r.Err.find("dialog"); at != std::string::npos; at = r.Err.find("dialog", at + 1)) ++boxes;
  EXPECT_EQ(boxes, 1u) << r.Err.substr(0, 2000);
  EXPECT_NE(r.Err.find("バッファ容量不足です。"), std::string::npos);
}
}  // namespace
