// Blits, fills and the rectangle list on an 800x600 frame, beside memcpy of the same bytes
// (the memory's limit) and pixman's OVER composite of a8r8g8b8 onto x8r8g8b8 (what a
// general compositor does for the same job), all in one run.
#include <cstring>
#include <random>
#include <vector>

#include "BenchRatios.h"
#include "PixmanBaseline.h"
#include "common/ABitmap.h"
#include "common/ABitmapKernels.h"
#include "engine/KNRects.h"

namespace {

constexpr int W = 800, H = 600;

struct Frame {
  TABitmap Src, Dst;
  TBitmap Mask;
  Frame() {
    Src.SetSize(W, H);
    Dst.SetSize(W, H);
    Mask.SetPixelFormat(pf8bit);
    Mask.SetSize(W, H);
    std::mt19937 rng(5);
    for (int y = 0; y < H; ++y) {
      auto* s = reinterpret_cast<uint32_t*>(Src.ScanLine(y));
      auto* d = reinterpret_cast<uint32_t*>(Dst.ScanLine(y));
      for (int x = 0; x < W; ++x) {
        s[x] = rng();
        d[x] = rng() & 0xFFFFFF;
        Mask.ScanLine(y)[x] = uint8_t(rng());
      }
    }
  }
};

Frame& TheFrame() {
  static Frame f;
  return f;
}

const TPixelKernels* KernelSet(int64_t i) {
  return i == 0 ? &ReferenceKernels() : i == 1 ? SSE2Kernels() : AVX2Kernels();
}

template <typename F>
void RunBlit(benchmark::State& state, F f) {
  const TPixelKernels* k = KernelSet(state.range(0));
  if (!k) {
    state.SkipWithError("not available on this processor");
    return;
  }
  UseKernels(*k);
  Frame& fr = TheFrame();
  for (auto _ : state) {
    f(fr);
    benchmark::ClobberMemory();
  }
  state.counters["Mpix/s"] = benchmark::Counter(double(state.iterations()) * W * H / 1e6, benchmark::Counter::kIsRate);
}

void BM_DrawAlpha(benchmark::State& s) {
  RunBlit(s, [](Frame& f) { f.Src.DrawAlpha(f.Dst, 0, 0, W, H, 0, 0); });
}
void BM_DrawAlphaSprite(benchmark::State& s) {
  RunBlit(s, [](Frame& f) { f.Src.DrawAlphaSprite(f.Dst, 0, 0, W, H, 0, 0); });
}
void BM_DrawAlphaOpacity(benchmark::State& s) {
  RunBlit(s, [](Frame& f) { f.Src.DrawAlphaOpacity(f.Dst, 0, 0, W, H, 0, 0, 180); });
}
void BM_DrawAlphaOpacitySprite(benchmark::State& s) {
  RunBlit(s, [](Frame& f) { f.Src.DrawAlphaOpacitySprite(f.Dst, 0, 0, W, H, 0, 0, 180); });
}
void BM_DrawMaskTransition(benchmark::State& s) {
  RunBlit(s, [](Frame& f) { f.Src.DrawMaskTransition(f.Dst, 0, 0, W, H, 0, 0, f.Mask, 128, 4); });
}
void BM_BlendFillRect(benchmark::State& s) {
  RunBlit(s, [](Frame& f) { f.Dst.BlendFillRect(0, 0, W, H, 0x804020, 180); });
}
void BM_FillRGBA(benchmark::State& s) {
  RunBlit(s, [](Frame& f) { f.Dst.FillRGBA(1, 2, 3, 255); });
}

void BM_Memcpy(benchmark::State& state) {
  Frame& f = TheFrame();
  for (auto _ : state) {
    std::memcpy(f.Dst.ScanLine(0), f.Src.ScanLine(0), size_t(W) * H * 4);
    benchmark::ClobberMemory();
  }
}

void BM_PixmanOver(benchmark::State& state) {
  Frame& f = TheFrame();
  RunPixmanOver(state, reinterpret_cast<uint32_t*>(f.Src.ScanLine(0)), reinterpret_cast<uint32_t*>(f.Dst.ScanLine(0)), W,
                H);
}

// Random rectangles into a full list of 11, as a busy frame would add them.
void BM_AddRect(benchmark::State& state) {
  std::mt19937 rng(7);
  std::vector<TRect> rects(4096);
  for (TRect& r : rects) {
    const int x = int(rng() % W), y = int(rng() % H);
    r = Rect(x, y, x + 1 + int(rng() % 40), y + 1 + int(rng() % 20));
  }
  TRect store[11];
  TClipRects list{store, 0, 11};
  size_t i = 0;
  for (auto _ : state) {
    if (list.Count < 11) {
      for (int k = 0; k < 11; ++k) store[k] = Rect(k * 70, 0, k * 70 + 10, 10);
      list.Count = 11;
    }
    AddRect(&list, &rects[i++ & 4095]);
    benchmark::DoNotOptimize(list.Count);
  }
}

#define KERNEL_BENCH(name) BENCHMARK(name)->Arg(0)->Arg(1)->Arg(2)->Unit(benchmark::kMicrosecond)->MinTime(0.5)
KERNEL_BENCH(BM_DrawAlpha);
KERNEL_BENCH(BM_DrawAlphaSprite);
KERNEL_BENCH(BM_DrawAlphaOpacity);
KERNEL_BENCH(BM_DrawAlphaOpacitySprite);
KERNEL_BENCH(BM_DrawMaskTransition);
KERNEL_BENCH(BM_BlendFillRect);
KERNEL_BENCH(BM_FillRGBA);
BENCHMARK(BM_Memcpy)->Unit(benchmark::kMicrosecond)->MinTime(0.5);
BENCHMARK(BM_PixmanOver)->Unit(benchmark::kMicrosecond)->MinTime(0.5);
BENCHMARK(BM_AddRect)->Unit(benchmark::kNanosecond);

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::pair<std::string, std::string>> pairs;
  for (const char* op : {"BM_DrawAlpha", "BM_DrawAlphaSprite", "BM_DrawAlphaOpacity", "BM_DrawAlphaOpacitySprite",
                         "BM_DrawMaskTransition", "BM_BlendFillRect", "BM_FillRGBA"}) {
    for (const char* k : {"/1", "/2"}) {
      const std::string name = std::string(op) + k + "/min_time:0.500";
      pairs.emplace_back(name, "BM_PixmanOver/min_time:0.500");
      pairs.emplace_back(name, "BM_Memcpy/min_time:0.500");
    }
  }
  return RunWithRatios(argc, argv, pairs);
}
