// Every story in tests/stories through the real program, with its expected output.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <map>
#include <sstream>

#include "../StoryFolder.h"
#include "../TestSupport.h"
#include "common/ABitmap.h"
#include "common/ABitmapKernels.h"
#include "common/Ombrix.h"
#include "platform/CodePage.h"
#include "tools/SnapshotPng.h"

namespace {

namespace fs = std::filesystem;


// The log without its first line (the time of the start), with LF line ends.
std::string LogWithoutTime(const std::string& path) {
  std::string log = ReadFile(path);
  log.erase(0, log.find('\n') + 1);
  std::string out;
  for (size_t i = 0; i < log.size(); ++i)
    if (log[i] != '\r' || i + 1 == log.size() || log[i + 1] != '\n') out += log[i];
  return out;
}

std::unique_ptr<TABitmap> ReadSnapshot(const std::string& path) {
  auto bitmap = std::make_unique<TABitmap>();
  TABitmap& b = *bitmap;
  HOMBRIX image = nullptr;
  if (CreateOmbrix(&image, path.c_str()) != 0) return bitmap;
  TOmbrixInfo info{};
  GetOmbrixInfo(image, &info);
  b.SetPixelFormat(pf24bit);
  b.SetSize(info.Width, info.Height);
  GetImageDataToBitmap(image, b.Handle());
  DeleteOmbrix(&image);
  b.Ensure32Bit();
  return bitmap;
}

// pixels.txt: "FILE.png X Y R G B" per line, each worked out from the blend formulas in the
// comments above it; lines starting with '#' are those comments.
void CheckPixels(const std::string& lines, const TempDir& dir, const std::string& kernels) {
  std::map<std::string, std::unique_ptr<TABitmap>> snapshots;
  std::istringstream in(lines);
  for (std::string line; std::getline(in, line);) {
    std::istringstream words(line);
    std::string file;
    int x = 0, y = 0, r = 0, g = 0, b = 0;
    if (!(words >> file) || file[0] == '#') continue;
    ASSERT_TRUE(words >> x >> y >> r >> g >> b) << line;
    if (!snapshots.count(file)) snapshots.emplace(file, ReadSnapshot(dir / file));
    const TABitmap& shot = *snapshots[file];
    ASSERT_TRUE(x < shot.Width() && y < shot.Height()) << line;
    const uint8_t* p = shot.ScanLine(y) + x * 4;
    EXPECT_EQ((std::vector<int>{p[2], p[1], p[0]}), (std::vector<int>{r, g, b})) << line << " (" << kernels << ")";
  }
}

// snapshots/NAME.png: a picture the run must have written as NAME.png, pixel for pixel
// (text as this machine's fonts draw it).
void CheckSnapshots(const std::string& src, const TempDir& dir) {
  if (!fs::is_directory(src + "snapshots")) return;
  for (const auto& e : fs::directory_iterator(src + "snapshots")) {
    const std::string name = e.path().filename().string();
    const std::unique_ptr<TABitmap> want = ReadSnapshot(e.path().string()), got = ReadSnapshot(dir / name);
    ASSERT_EQ(got->Width(), want->Width()) << name;
    ASSERT_EQ(got->Height(), want->Height()) << name;
    int differ = 0, firstX = -1, firstY = -1;
    for (int y = 0; y < want->Height(); ++y)
      for (int x = 0; x < want->Width(); ++x)
        if (std::memcmp(got->ScanLine(y) + x * 4, want->ScanLine(y) + x * 4, 3) != 0 && differ++ == 0) firstX = x, firstY = y;
    EXPECT_EQ(differ, 0) << name << ": first at " << firstX << "," << firstY;
    if (differ == 0) continue;
    // The picture the run drew, for a look.
    const fs::path seen = fs::path(SORVANE_BINARY_DIR) / "story-snapshots" / fs::path(src).parent_path().filename();
    fs::create_directories(seen);
    fs::copy_file(dir / name, seen / name, fs::copy_options::overwrite_existing);
  }
}

// Every pixel kernel set this processor runs: the engine library's blits must agree with
// the formulas whichever it uses.
std::vector<std::string> KernelSets() {
  std::vector<std::string> sets{"reference"};
  if (SSE2Kernels()) sets.push_back("sse2");
  if (AVX2Kernels()) sets.push_back("avx2");
  return sets;
}

class Story : public testing::TestWithParam<std::string> {};

TEST_P(Story, PrintsWhatItMust) {
  ::setenv("SORVANE_AUDIO", "null", 1);  // no sound card needed
  const std::string src = SORVANE_SOURCE_DIR "/tests/stories/" + GetParam() + "/";
  const bool pixels = fs::exists(src + "pixels.txt");
  for (const std::string& kernels : pixels ? KernelSets() : std::vector<std::string>{""}) {
    TempDir dir;
    MakeStoryFolder(src, dir);
    std::vector<std::string> args{SORVANE_CLI, "run", dir.Path()};
    std::istringstream words(ReadFile(src + "args"));
    for (std::string w; words >> w;) args.push_back(w);
    if (!kernels.empty()) ::setenv("SORVANE_KERNELS", kernels.c_str(), 1);
    const RunResult r = RunProgram(args, dir.Path());
    ::unsetenv("SORVANE_KERNELS");
    EXPECT_EQ(r.Out, ReadFile(src + "expected.out"));
    EXPECT_EQ(r.Err, Optional(src + "expected.err"));
    const std::string status = Optional(src + "expected.status");
    EXPECT_EQ(r.Status, status.empty() ? 0 : std::stoi(status));
    if (fs::exists(src + "expected.log")) {
      EXPECT_EQ(LogWithoutTime(dir / "sorvane.log"), ReadFile(src + "expected.log"));
    }
    if (pixels) CheckPixels(ReadFile(src + "pixels.txt"), dir, kernels);
    CheckSnapshots(src, dir);
  }
}

INSTANTIATE_TEST_SUITE_P(Stories, Story, testing::ValuesIn(CaseNames(SORVANE_SOURCE_DIR "/tests/stories")),
                         [](const testing::TestParamInfo<std::string>& info) { return info.param; });
}  // namespace
