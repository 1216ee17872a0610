// Saves, loads and rollback on a story of a hundred and twenty pages over a full-screen
// picture: each beside the copy of one screen (the least a save of the picture costs) from
// the same run, and against its goal: a save in 10 ms, a load with its pictures in 50 ms,
// a rollback within a frame. Also the memory the kept checkpoints take.
#include <png.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>

#include "BenchRatios.h"
#include "platform/CodePage.h"
#include "player/ReaderSession.h"
#include "player/StoryFolder.h"
#include "player/SubThread.h"
#include "tools/CliHost.h"

namespace {


void WritePicture(const std::string& path, int w, int h, uint8_t seed) {
  std::vector<uint8_t> rgba(size_t(w) * size_t(h) * 4);
  for (size_t i = 0; i < rgba.size(); ++i) rgba[i] = uint8_t((i * 7 + seed * (i / 4096)) & 0xFF) | (i % 4 == 3 ? 0xFF : 0);
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  image.width = png_uint_32(w);
  image.height = png_uint_32(h);
  image.format = PNG_FORMAT_RGBA;
  png_image_write_to_file(&image, path.c_str(), 0, rgba.data(), 0, nullptr);
}

// The story, played until `pages` pages have each had their checkpoint.
struct TStory {
  std::string Dir;
  TCliHost TheHost;
  TStillClock Clock;
  std::unique_ptr<TSubThread> Runtime;
  uint32_t Frame = 0;

  explicit TStory(int pages) {
    char tmpl[] = "/tmp/sorvane-bench-XXXXXX";
    Dir = ::mkdtemp(tmpl);
    std::filesystem::create_directory(Dir + "/knv");
    WritePicture(Dir + "/bg.png", 800, 600, 1);
    WritePicture(Dir + "/msg.png", 756, 192, 2);
    std::ofstream(Dir + "/knv/background.knv")
        << "<kn><scene index=blank></scene><scene index=bg><knobject type=img src=bg.png width=800 height=600 "
           "pos_x=0 pos_y=0 alpha=255/></scene></kn>";
    std::u16string script = u"<BODY><CODE>CHANGESCENE 0,bg,-1,0</CODE><CODE>SETLAYERVISIBLE 0,1,0,0</CODE>";
    for (int p = 0; p < pages; ++p)
      script += u"<CODE>SET #P," + Utf8ToWide(std::to_string(p)) + u"</CODE><P>" + Utf8ToWide(std::to_string(p)) +
                u"ページ目。夕暮れの街に灯りがともり始めた。二人は並んで坂道を下った。</P>";
    script += u"</BODY>";
    std::ofstream(Dir + "/start.svx", std::ios::binary) << WideToCP932(script);
    ::setenv("SORVANE_AUDIO", "null", 1);
    Runtime = std::make_unique<TSubThread>(TheHost, Dir, Clock);
    while (Runtime->Checkpoints().size() < size_t(pages) && Frame < uint32_t(pages) * 200) {
      if (Frame % 80 == 79) Runtime->Input(TInputEvent{evAdvance, 1});
      Runtime->UpdateStep();
      Runtime->DrawStep();
      ++Frame;
    }
    Here = Runtime->Snapshot();
    Back = Runtime->Checkpoints()[Runtime->Checkpoints().size() - 2];
  }
  // Where the story was left, and the checkpoint before the latest: taken once, since a
  // state taken back begins a new list of checkpoints.
  TSnapshot Here, Back;

  ~TStory() {
    Runtime.reset();
    std::filesystem::remove_all(Dir);
  }
  TSave Save() const { return SaveOf(*Runtime, TStoryIdentity{"bench", "bench", "bench"}); }
};

TStory& Story() {
  static TStory story(120);
  return story;
}

void BM_CopyScreen(benchmark::State& state) {
  std::vector<uint8_t> a(size_t(kScreenWidth) * kScreenHeight * 4, 1), b(a.size());
  for (auto _ : state) {
    std::memcpy(b.data(), a.data(), a.size());
    benchmark::DoNotOptimize(b.data());
  }
}

void BM_SaveToFile(benchmark::State& state) {
  TStory& s = Story();
  TRefusal why;
  for (auto _ : state) WriteSave(s.Dir + "/bench.sav", s.Save(), why);
  state.counters["bytes"] = double(std::filesystem::file_size(s.Dir + "/bench.sav"));
}

void BM_LoadFromFile(benchmark::State& state) {
  TStory& s = Story();
  TRefusal why;
  WriteSave(s.Dir + "/bench.sav", s.Save(), why);
  for (auto _ : state) {
    TSave save;
    ReadSave(s.Dir + "/bench.sav", save, why);
    int32_t position;
    FindPlace(s.Runtime->Script(), save.Info.Place, position);
    save.Snapshot.Position = position;
    s.Runtime->Restore(save.Snapshot, why);
    s.Runtime->UpdateStep();
    s.Runtime->DrawStep();  // the restored picture on its way to the window
  }
}

// A load at start: into a runtime just made, whose pictures are not decoded yet.
void BM_LoadIntoNewRuntime(benchmark::State& state) {
  TStory& s = Story();
  TRefusal why;
  WriteSave(s.Dir + "/bench.sav", s.Save(), why);
  for (auto _ : state) {
    state.PauseTiming();
    s.Runtime = std::make_unique<TSubThread>(s.TheHost, s.Dir, s.Clock);
    state.ResumeTiming();
    TSave save;
    ReadSave(s.Dir + "/bench.sav", save, why);
    int32_t position;
    FindPlace(s.Runtime->Script(), save.Info.Place, position);
    save.Snapshot.Position = position;
    s.Runtime->Restore(save.Snapshot, why);
    s.Runtime->UpdateStep();
    s.Runtime->DrawStep();
  }
}

// What a rollback does: the checkpoint before the latest restored (and forward again,
// untimed, for the next round).
void BM_Rollback(benchmark::State& state) {
  TStory& s = Story();
  const TSnapshot& here = s.Here;
  const TSnapshot& back = s.Back;
  TRefusal why;
  for (auto _ : state) {
    s.Runtime->Restore(back, why);
    state.PauseTiming();
    s.Runtime->Restore(here, why);
    state.ResumeTiming();
  }
}

// The parts of a save, one by one.
void BM_SaveSnapshot(benchmark::State& state) {
  for (auto _ : state) benchmark::DoNotOptimize(Story().Save());
}
void BM_Thumbnail(benchmark::State& state) {
  int32_t w, h;
  for (auto _ : state) benchmark::DoNotOptimize(ThumbnailPng(Story().Runtime->Picture(), w, h));
}
void BM_SaveEncode(benchmark::State& state) {
  const TSave save = Story().Save();
  for (auto _ : state) benchmark::DoNotOptimize(EncodeSave(save));
}

void BM_Checkpoint(benchmark::State& state) {
  TStory& s = Story();
  const TSnapshot previous = s.Runtime->Snapshot();
  for (auto _ : state) benchmark::DoNotOptimize(s.Runtime->Snapshot(&previous));
}

BENCHMARK(BM_CopyScreen)->Unit(benchmark::kMillisecond)->MinTime(0.5);
BENCHMARK(BM_SaveSnapshot)->Unit(benchmark::kMillisecond)->MinTime(0.5);
BENCHMARK(BM_Thumbnail)->Unit(benchmark::kMillisecond)->MinTime(0.5);
BENCHMARK(BM_SaveEncode)->Unit(benchmark::kMillisecond)->MinTime(0.5);
BENCHMARK(BM_SaveToFile)->Unit(benchmark::kMillisecond)->MinTime(1);
BENCHMARK(BM_LoadFromFile)->Unit(benchmark::kMillisecond)->MinTime(1);
BENCHMARK(BM_Rollback)->Unit(benchmark::kMillisecond)->MinTime(1);
BENCHMARK(BM_Checkpoint)->Unit(benchmark::kMillisecond)->MinTime(1);
// Last: it replaces the story's runtime, and with it the checkpoints the others use.
BENCHMARK(BM_LoadIntoNewRuntime)->Unit(benchmark::kMillisecond)->MinTime(1);

}  // namespace

int main(int argc, char** argv) {
  {
    // The memory of the last hundred checkpoints, each counted for what it does not share
    // with the one before it.
    TStory& s = Story();
    const auto& kept = s.Runtime->Checkpoints();
    size_t bytes = 0, counted = 0;
    for (size_t i = kept.size() >= 100 ? kept.size() - 100 : 0; i < kept.size(); ++i, ++counted)
      bytes += kept[i].OwnBytes(i ? &kept[i - 1] : nullptr);
    std::printf("checkpoints: %zu kept; the last %zu take %.1f MB (one screen: %.1f MB)\n", kept.size(), counted,
                double(bytes) / 1e6, double(kScreenWidth) * kScreenHeight * 4 / 1e6);
  }
  return RunWithRatios(argc, argv,
                       {{"BM_SaveToFile/min_time:1.000", "BM_CopyScreen/min_time:0.500"},
                        {"BM_LoadFromFile/min_time:1.000", "BM_CopyScreen/min_time:0.500"},
                        {"BM_LoadIntoNewRuntime/min_time:1.000", "BM_CopyScreen/min_time:0.500"},
                        {"BM_Rollback/min_time:1.000", "BM_CopyScreen/min_time:0.500"},
                        {"BM_Checkpoint/min_time:1.000", "BM_CopyScreen/min_time:0.500"}});
}
