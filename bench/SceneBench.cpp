// Showing a scene: taking its pictures from the image cache on demand (each decoded then)
// against after the worker has decoded them ahead; and one frame of a still scene of many
// objects (three expression evaluations each, nothing queued, nothing drawn).
#include <unistd.h>

#include <filesystem>
#include <random>

#include "../tests/PngWriter.h"
#include "BenchRatios.h"
#include "common/Screen.h"
#include "engine/KNRects.h"
#include "engine/KNScene.h"

namespace {

constexpr int kPictures = 6, kW = kScreenWidth, kH = kScreenHeight;

// Six full-screen pictures of noisy gradients in a folder of their own, the current one.
const std::vector<AnsiString>& Pictures() {
  static const std::vector<AnsiString> names = [] {
    // The folder goes with the program.
    static struct TFolder {
      std::string Path;
      TFolder() {
        char tmpl[] = "/tmp/sorvane-bench-XXXXXX";
        Path = ::mkdtemp(tmpl);
      }
      ~TFolder() { std::filesystem::remove_all(Path); }
    } folder;
    std::filesystem::current_path(folder.Path);
    std::mt19937 random(7);
    std::vector<AnsiString> n;
    for (int i = 0; i < kPictures; ++i) {
      std::vector<uint8_t> raw(size_t(kW) * kH * 3);
      for (size_t p = 0; p < raw.size(); ++p) raw[p] = uint8_t(p / 2400 + (random() & 15) + i * 9);
      n.push_back("p" + std::to_string(i) + ".png");
      WritePng(n.back(), kW, kH, PNG_COLOR_TYPE_RGB, 8, raw);
    }
    return n;
  }();
  return names;
}

void TakeAll(TGraphicsLoader& cache, benchmark::State& state) {
  for (const AnsiString& name : Pictures())
    if (!cache.GetImage(name)) state.SkipWithError("a picture did not decode");
}

// Each iteration a new cache; with `ahead`, its worker has decoded the pictures untimed.
void ShowScene(benchmark::State& state, bool ahead) {
  Pictures();
  for (auto _ : state) {
    state.PauseTiming();
    auto cache = std::make_unique<TGraphicsLoader>();
    if (ahead) {
      cache->DecodeAhead(Pictures());
      cache->WaitUntilIdle();
    }
    state.ResumeTiming();
    TakeAll(*cache, state);
    state.PauseTiming();
    cache.reset();
    state.ResumeTiming();
  }
}

void BM_ShowSceneOnDemand(benchmark::State& state) { ShowScene(state, false); }
void BM_ShowSceneDecodedAhead(benchmark::State& state) { ShowScene(state, true); }

void BM_StillSceneFrame(benchmark::State& state) {
  Pictures();
  TGraphicsLoader cache;
  TErrorReport report;
  TKNScene scene(false);
  for (int i = 0; i < 50; ++i) {
    KNSCENEOBJ_OPTIONS o;
    o.pos_x = std::to_string(i * 10);
    o.pos_y = "( 100 + 20 ) * 2";
    o.alpha = "#t * 0 + 255";
    o.width = 64;
    o.height = 64;
    o.src = Pictures()[size_t(i % kPictures)];
    o.loader = &cache;
    o.report = &report;
    scene.AddObject(std::make_unique<TKNSceneObjectIMG>(o));
  }
  scene.Activate(0);
  TRect store[11];
  TClipRects rects{store, 0, 11};
  TABitmap target;
  target.SetSize(kW, kH);
  TKNUpdateContext update;
  update.Rects = &rects;
  TKNDrawContext draw{&rects, &target};
  int32_t now = 0;
  for (auto _ : state) {
    rects.Count = 0;
    update.Now = ++now;
    scene.Update(update);
    scene.Draw(draw);
  }
  scene.Deactivate();
}

// What a frame of the still scene is measured against: one 64x64 blit.
void BM_OneSmallBlit(benchmark::State& state) {
  TABitmap source, target;
  source.SetSize(64, 64);
  target.SetSize(kW, kH);
  for (auto _ : state) {
    source.DrawAlpha(target, 10, 10, 64, 64, 0, 0);
    benchmark::ClobberMemory();
  }
}

}  // namespace

// A fixed count: the untimed part (decoding ahead) is far longer than the timed one.
BENCHMARK(BM_ShowSceneOnDemand)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(10);
BENCHMARK(BM_ShowSceneDecodedAhead)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(10);
BENCHMARK(BM_StillSceneFrame)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_OneSmallBlit)->Unit(benchmark::kMicrosecond);

int main(int argc, char** argv) {
  return RunWithRatios(argc, argv,
                       {{"BM_ShowSceneDecodedAhead/iterations:10/real_time", "BM_ShowSceneOnDemand/iterations:10/real_time"},
                        {"BM_StillSceneFrame", "BM_OneSmallBlit"}});
}
