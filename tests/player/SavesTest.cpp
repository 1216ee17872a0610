// Saves and rollback through the real program: each story in tests/saves is run without a
// break, and again from saves made at awkward frames; the loaded runs must give the same
// pictures, byte for byte, and the same trace after the frame they were saved at. Rolled
// back, a run must give the frames that followed the checkpoint it went back to.
#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#include <sstream>

#include "../StoryFolder.h"
#include "../TestSupport.h"

namespace {

namespace fs = std::filesystem;

std::vector<int64_t> Numbers(const std::string& text) {
  std::vector<int64_t> out;
  std::istringstream in(text);
  for (int64_t n; in >> n;) out.push_back(n);
  return out;
}

std::vector<std::string> Words(const std::string& text) {
  std::vector<std::string> out;
  std::istringstream in(text);
  for (std::string w; in >> w;) out.push_back(w);
  return out;
}

// The trace lines of frames after `frame`.
std::string TraceAfter(const std::string& trace, int64_t frame) {
  std::istringstream in(trace);
  std::string out;
  for (std::string line; std::getline(in, line);)
    if (line.size() > 1 && line[0] == 'F' && std::stoll(line.substr(1)) > frame) out += line + "\n";
  return out;
}

class SavedStory : public testing::TestWithParam<std::string> {
 protected:
  void SetUp() override {
    ::setenv("SORVANE_AUDIO", "null", 1);
    FSrc = SORVANE_SOURCE_DIR "/tests/saves/" + GetParam() + "/";
    MakeStoryFolder(FSrc, FDir);
    for (const std::string& sound : Words(Optional(FSrc + "sounds")))
      fs::copy_file(SORVANE_BINARY_DIR "/demo/" + sound, FDir / sound);
    FArgs = Words(ReadFile(FSrc + "args"));
    FFrames = Numbers(ReadFile(FSrc + "frames")).at(0);
  }
  RunResult Run(std::vector<std::string> extra) {
    std::vector<std::string> args{SORVANE_CLI, "run",   FDir.Path(), "--frames", std::to_string(FFrames),
                                  "--trace",   "--data-dir", FOut.Path()};
    args.insert(args.end(), FArgs.begin(), FArgs.end());
    args.insert(args.end(), extra.begin(), extra.end());
    return RunProgram(args, FOut.Path());
  }
  std::string Shot(const std::string& name) const { return ReadFile(FOut / name); }

  std::string FSrc;
  TempDir FDir, FOut;
  std::vector<std::string> FArgs;
  int64_t FFrames = 0;
};

TEST_P(SavedStory, LoadedRunsGoOnExactlyAsTheUninterruptedOne) {
  const std::vector<int64_t> saves = Numbers(Optional(FSrc + "saves"));
  std::set<int64_t> checks{FFrames - 1};
  for (const int64_t f : saves)
    for (const int64_t d : {1, 2, 3, 10, 30})
      if (f + d < FFrames) checks.insert(f + d);
  std::vector<std::string> extra;
  for (const int64_t g : checks) extra.insert(extra.end(), {"--snapshot", std::to_string(g) + ":full-" + std::to_string(g) + ".png"});
  for (const int64_t f : saves) extra.insert(extra.end(), {"--save", std::to_string(f) + ":s" + std::to_string(f) + ".sav"});
  if (fs::exists(FSrc + "backlog")) extra.push_back("--backlog");
  const RunResult full = Run(extra);
  ASSERT_EQ(full.Status, 0) << full.Err;
  if (fs::exists(FSrc + "backlog")) {
    std::string lines;
    std::istringstream in(full.Out);
    for (std::string line; std::getline(in, line);)
      if (line.rfind("backlog\t", 0) == 0 || line.rfind("choice\t", 0) == 0) lines += line + "\n";
    EXPECT_EQ(lines, ReadFile(FSrc + "backlog"));
  }
  for (const int64_t f : saves) {
    SCOPED_TRACE("saved at frame " + std::to_string(f));
    std::vector<std::string> load{"--load", "s" + std::to_string(f) + ".sav"};
    for (const int64_t g : checks)
      if (g > f) load.insert(load.end(), {"--snapshot", std::to_string(g) + ":load-" + std::to_string(g) + ".png"});
    const RunResult loaded = Run(load);
    ASSERT_EQ(loaded.Status, 0) << loaded.Err;
    EXPECT_EQ(loaded.Err, "");
    EXPECT_EQ(TraceAfter(loaded.Out, f), TraceAfter(full.Out, f));
    for (const int64_t g : checks) {
      if (g <= f) continue;
      EXPECT_TRUE(Shot("load-" + std::to_string(g) + ".png") == Shot("full-" + std::to_string(g) + ".png")) << "frame " << g;
    }
  }
}

// rollbacks: "R C K" a line: rolled back before frame R's update, the run shows for K frames
// what the uninterrupted run showed after the checkpoint taken at frame C.
TEST_P(SavedStory, RollbackGivesTheFramesThatFollowedTheCheckpoint) {
  const std::vector<int64_t> rows = Numbers(Optional(FSrc + "rollbacks"));
  if (rows.empty()) GTEST_SKIP() << "no rollbacks in this case";
  for (size_t i = 0; i + 2 < rows.size(); i += 3) {
    const int64_t r = rows[i], c = rows[i + 1], k = rows[i + 2];
    SCOPED_TRACE("rolled back at frame " + std::to_string(r));
    std::vector<std::string> original{"--backlog"}, rolled{"--rollback", std::to_string(r)};
    for (int64_t d = 0; d < k; ++d) {
      original.insert(original.end(), {"--snapshot", std::to_string(c + 1 + d) + ":o" + std::to_string(d) + ".png"});
      rolled.insert(rolled.end(), {"--snapshot", std::to_string(r + d) + ":r" + std::to_string(d) + ".png"});
    }
    const RunResult a = Run(original), b = Run(rolled);
    ASSERT_EQ(a.Status, 0) << a.Err;
    ASSERT_EQ(b.Status, 0) << b.Err;
    EXPECT_NE(a.Out.find("F" + std::to_string(c) + " checkpoint "), std::string::npos) << a.Out;
    EXPECT_EQ(b.Err, "");
    for (int64_t d = 0; d < k; ++d)
      EXPECT_TRUE(Shot("r" + std::to_string(d) + ".png") == Shot("o" + std::to_string(d) + ".png")) << "frame " << r + d;
  }
}

INSTANTIATE_TEST_SUITE_P(Saves, SavedStory, testing::ValuesIn(CaseNames(SORVANE_SOURCE_DIR "/tests/saves")),
                         [](const testing::TestParamInfo<std::string>& info) { return info.param; });

}  // namespace

namespace {

// Saves written by the first format's player, kept as files beside their story: they still
// load where they belong (the story's folder of that name) and go on exactly.
TEST(FormatOneSaves, LoadAndGoOnExactlyAsTheUninterruptedRun) {
  ::setenv("SORVANE_AUDIO", "null", 1);
  const std::string src = SORVANE_SOURCE_DIR "/tests/saves/pages_and_choice/";
  TempDir root, out;
  {
    TempDir made;
    MakeStoryFolder(src, made);
    fs::rename(made.Path(), root / "pages_and_choice");  // the folder the saves were made in
  }
  const std::string story = root / "pages_and_choice";
  const int64_t frames = Numbers(ReadFile(src + "frames")).at(0);
  auto run = [&](std::vector<std::string> extra) {
    std::vector<std::string> args{SORVANE_CLI, "run", story, "--frames", std::to_string(frames), "--trace",
                                  "--backlog", "--data-dir", out.Path()};
    for (const std::string& w : Words(ReadFile(src + "args"))) args.push_back(w);
    args.insert(args.end(), extra.begin(), extra.end());
    return RunProgram(args, out.Path());
  };
  std::vector<std::string> shots;
  for (const int64_t g : {47, 150, 229}) shots.insert(shots.end(), {"--snapshot", std::to_string(g) + ":full-" + std::to_string(g) + ".png"});
  const RunResult full = run(shots);
  ASSERT_EQ(full.Status, 0) << full.Err;
  for (const int64_t f : {45, 140}) {
    SCOPED_TRACE("saved at frame " + std::to_string(f));
    std::vector<std::string> load{"--load", src + "format1/" + std::to_string(f) + ".sav"};
    for (const int64_t g : {47, 150, 229})
      if (g > f) load.insert(load.end(), {"--snapshot", std::to_string(g) + ":load-" + std::to_string(g) + ".png"});
    const RunResult loaded = run(load);
    ASSERT_EQ(loaded.Status, 0) << loaded.Err;
    EXPECT_EQ(TraceAfter(loaded.Out, f), TraceAfter(full.Out, f));
    for (const int64_t g : {47, 150, 229}) {
      if (g <= f) continue;
      EXPECT_TRUE(ReadFile(out / ("load-" + std::to_string(g) + ".png")) == ReadFile(out / ("full-" + std::to_string(g) + ".png"))) << g;
    }
  }
  // A story of that folder name with a title of its own may be another: the reader is
  // asked, and a save refused is not loaded.
  const std::string titled = ReadFile(story + "/start.svx");
  WriteFile(story + "/start.svx", "<HEAD><TITLE>Other</TITLE></HEAD>" + titled);
  const RunResult other = run({"--load", src + "format1/45.sav", "--dialogs", "no"});
  EXPECT_EQ(other.Status, 1);
  EXPECT_NE(other.Err.find("the reader chose not to load it"), std::string::npos) << other.Err;
  EXPECT_NE(other.Err.find(CP932ToUtf8(WideToCP932(u"「Other」のセーブとして読み込みますか"))), std::string::npos) << other.Err;
}

}  // namespace
