// Frames of the engine at 800x600 through its interface, update plus draw, straight into a
// back buffer as the player has it drawn: a cross-fade, a mask transition, a still scene
// of 20 objects, and ten 200x200 objects moving over a full-screen background (with the
// area the frame redrew). Beside them in the same run: pixman's OVER composite of a full
// a8r8g8b8 frame onto x8r8g8b8, memcpy of the same bytes, and the two transitions' frames
// composed as they were before they were one pass (the blits one after another).
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <random>

#include "../tests/PngWriter.h"
#include "BenchRatios.h"
#include "PixmanBaseline.h"
#include "common/ABitmap.h"
#include "common/Screen.h"
#include "engine/KNEffect.h"
#include "engine/KinetraDLL.h"

namespace {

constexpr int kW = kScreenWidth, kH = kScreenHeight;

void WriteNoise(const std::string& name, int w, int h, bool alpha, uint32_t seed) {
  std::mt19937 random(seed);
  const int channels = alpha ? 4 : 3;
  std::vector<uint8_t> raw(size_t(w) * size_t(h) * size_t(channels));
  for (size_t p = 0; p < raw.size(); ++p) raw[p] = uint8_t(random());
  WritePng(name, w, h, alpha ? PNG_COLOR_TYPE_RGB_ALPHA : PNG_COLOR_TYPE_RGB, 8, raw);
}

// The pictures and the scene file, in a folder of their own that goes with the program.
void MakeStory() {
  static struct TFolder {
    std::string Path;
    TFolder() {
      char tmpl[] = "/tmp/sorvane-bench-XXXXXX";
      Path = ::mkdtemp(tmpl);
      std::filesystem::current_path(Path);
      WriteNoise("a.png", kW, kH, false, 1);
      WriteNoise("b.png", kW, kH, false, 2);
      WriteNoise("s.png", 200, 200, true, 3);
      WriteNoise("small.png", 32, 32, true, 4);
      std::vector<uint8_t> ramp(size_t(kW) * kH * 3);
      for (size_t p = 0; p < ramp.size(); ++p) ramp[p] = uint8_t(p / 3 % kW);
      WritePng("m.png", kW, kH, PNG_COLOR_TYPE_RGB, 8, ramp);
      const std::string full = " width=800 height=600 pos_x=0 pos_y=0 alpha=255/>";
      std::string file = "<kn><trans><transrule src=m.png vag=5/></trans>";
      file += "<scene index=a><knobject type=img src=a.png" + full + "</scene>";
      file += "<scene index=b><knobject type=img src=b.png" + full + "</scene>";
      file += "<scene index=still>";
      for (int i = 0; i < 20; ++i)
        file += "<knobject type=img src=small.png width=32 height=32 pos_x=" + std::to_string(i * 36) +
                " pos_y=\"( 100 + 20 ) * 2\" alpha=\"#t * 0 + 200\"/>";
      file += "</scene><scene index=movers><knobject type=img src=a.png" + full;
      for (int i = 0; i < 10; ++i) {
        const std::string phase = std::to_string(i * 37);
        file += "<knobject type=img src=s.png width=200 height=200 pos_x=\"300 + 250 sin ( ( #t + " + phase +
                " ) * 5 )\" pos_y=\"200 + 150 sin ( ( #t + " + phase + " ) * 3 )\" alpha=255/>";
      }
      file += "</scene></kn>";
      FILE* f = std::fopen("s.knv", "wb");
      std::fwrite(file.data(), 1, file.size(), f);
      std::fclose(f);
    }
    ~TFolder() { std::filesystem::remove_all(Path); }
  } folder;
}

// An engine drawing into an 800x600 back buffer, showing `scene` on layer 0.
struct TEngineFrame {
  IKinetra* Engine = nullptr;
  TABitmap Back;
  TRect Store[11];
  TClipRects Rects{Store, 0, 11};

  explicit TEngineFrame(const char* scene) {
    MakeStory();
    Back.SetSize(kW, kH);
    KNCreate(&Engine);
    const TKNOutput o{3, nullptr, Back.Handle(), 0, 0, kH, kW, KNOUTPUT_MODE | KNOUTPUT_SIZE};
    Engine->SetOutput(&o);
    Engine->LoadScenes("s.knv");
    Engine->ChangeScene(0, scene, -1, 0);
    for (int i = 0; i < 3; ++i) Frame();  // pictures taken, first areas drawn
  }
  ~TEngineFrame() { Engine->Release(); }
  void Frame() {
    Rects.Count = 0;
    const TKNUpdateInfo info{1, kFramesPerSecond, -1, -1, &Rects};
    Engine->Update(&info);
    TClipRects* list = &Rects;
    Engine->Draw(&list);
  }
  int64_t Area() const {
    int64_t area = 0;
    for (int i = 0; i < Rects.Count; ++i)
      area += int64_t(Store[i].Right - Store[i].Left) * (Store[i].Bottom - Store[i].Top);
    return area;
  }
};

void RunTransition(benchmark::State& state, int32_t transition) {
  TEngineFrame frame("a");
  // Long enough never to end while measured.
  frame.Engine->ChangeScene(0, "b", transition, 1000000000);
  frame.Frame();
  for (auto _ : state) {
    frame.Frame();
    benchmark::ClobberMemory();
  }
}

void BM_CrossFadeFrame(benchmark::State& state) { RunTransition(state, -2); }
void BM_MaskTransitionFrame(benchmark::State& state) { RunTransition(state, 0); }

// The work images as a scene leaves them (opaque pictures drawn over white: transparency
// 1), the output, and the mask's ramp.
struct TTransitionImages {
  TABitmap Outgoing, Incoming, Composite, Output;
  TBitmap Mask;
  TTransitionImages() {
    std::mt19937 random(5);
    for (TABitmap* b : {&Outgoing, &Incoming, &Composite, &Output}) {
      b->SetSize(kW, kH);
      for (int y = 0; y < kH; ++y) {
        auto* row = reinterpret_cast<uint32_t*>(b->ScanLine(y));
        for (int x = 0; x < kW; ++x) row[x] = (random() & 0xFFFFFF) | (b == &Output ? 0u : 1u << 24);
      }
    }
    Mask.SetPixelFormat(pf8bit);
    Mask.SetSize(kW, kH);
    for (int y = 0; y < kH; ++y)
      for (int x = 0; x < kW; ++x) Mask.ScanLine(y)[x] = uint8_t(x);
  }
};

void BM_CrossFadeOnePass(benchmark::State& state) {
  TTransitionImages t;
  for (auto _ : state) {
    DrawCrossFade(t.Output, &t.Outgoing, &t.Incoming, 128);
    benchmark::ClobberMemory();
  }
}

void BM_CrossFadeBlits(benchmark::State& state) {
  TTransitionImages t;
  for (auto _ : state) {
    t.Outgoing.DrawAlphaSprite(t.Output, 0, 0, kW, kH, 0, 0);
    t.Incoming.DrawAlphaOpacitySprite(t.Output, 0, 0, kW, kH, 0, 0, 128);
    benchmark::ClobberMemory();
  }
}

void BM_MaskOnePass(benchmark::State& state) {
  TTransitionImages t;
  for (auto _ : state) {
    DrawMaskFade(t.Output, t.Composite, t.Outgoing, t.Incoming, t.Mask, 128, 5);
    benchmark::ClobberMemory();
  }
}

void BM_MaskBlits(benchmark::State& state) {
  TTransitionImages t;
  for (auto _ : state) {
    for (int y = 0; y < kH; ++y) std::memcpy(t.Composite.ScanLine(y), t.Outgoing.ScanLine(y), size_t(kW) * 4);
    t.Incoming.DrawMaskTransition(t.Composite, 0, 0, kW, kH, 0, 0, t.Mask, 128, 5);
    t.Composite.DrawAlpha(t.Output, 0, 0, kW, kH, 0, 0);
    benchmark::ClobberMemory();
  }
}

void BM_StillSceneOf20Frame(benchmark::State& state) {
  TEngineFrame frame("still");
  for (auto _ : state) frame.Frame();
}

void BM_TenMoversFrame(benchmark::State& state) {
  TEngineFrame frame("movers");
  int64_t area = 0, frames = 0;
  for (auto _ : state) {
    frame.Frame();
    area += frame.Area();
    ++frames;
  }
  state.counters["redrawn_px"] = frames ? double(area) / double(frames) : 0;
  state.counters["of_screen_%"] = frames ? 100.0 * double(area) / double(frames) / (kW * kH) : 0;
}

void BM_PixmanOver(benchmark::State& state) {
  std::vector<uint32_t> src(size_t(kW) * kH), dst(size_t(kW) * kH);
  std::mt19937 random(9);
  for (auto& p : src) p = random();
  for (auto& p : dst) p = random() & 0xFFFFFF;
  RunPixmanOver(state, src.data(), dst.data(), kW, kH);
}

void BM_Memcpy(benchmark::State& state) {
  std::vector<uint32_t> src(size_t(kW) * kH, 1), dst(size_t(kW) * kH);
  for (auto _ : state) {
    std::memcpy(dst.data(), src.data(), src.size() * 4);
    benchmark::ClobberMemory();
  }
}

}  // namespace

BENCHMARK(BM_CrossFadeFrame)->Unit(benchmark::kMicrosecond)->MinTime(0.5);
BENCHMARK(BM_MaskTransitionFrame)->Unit(benchmark::kMicrosecond)->MinTime(0.5);
BENCHMARK(BM_CrossFadeOnePass)->Unit(benchmark::kMicrosecond)->MinTime(0.5);
BENCHMARK(BM_CrossFadeBlits)->Unit(benchmark::kMicrosecond)->MinTime(0.5);
BENCHMARK(BM_MaskOnePass)->Unit(benchmark::kMicrosecond)->MinTime(0.5);
BENCHMARK(BM_MaskBlits)->Unit(benchmark::kMicrosecond)->MinTime(0.5);
BENCHMARK(BM_StillSceneOf20Frame)->Unit(benchmark::kMicrosecond)->MinTime(0.5);
BENCHMARK(BM_TenMoversFrame)->Unit(benchmark::kMicrosecond)->MinTime(0.5);
BENCHMARK(BM_PixmanOver)->Unit(benchmark::kMicrosecond)->MinTime(0.5);
BENCHMARK(BM_Memcpy)->Unit(benchmark::kMicrosecond)->MinTime(0.5);

int main(int argc, char** argv) {
  return RunWithRatios(argc, argv,
                       {{"BM_CrossFadeFrame/min_time:0.500", "BM_PixmanOver/min_time:0.500"},
                        {"BM_MaskTransitionFrame/min_time:0.500", "BM_PixmanOver/min_time:0.500"},
                        {"BM_TenMoversFrame/min_time:0.500", "BM_PixmanOver/min_time:0.500"},
                        {"BM_CrossFadeFrame/min_time:0.500", "BM_Memcpy/min_time:0.500"},
                        {"BM_MaskTransitionFrame/min_time:0.500", "BM_Memcpy/min_time:0.500"},
                        {"BM_CrossFadeOnePass/min_time:0.500", "BM_Memcpy/min_time:0.500"},
                        {"BM_CrossFadeBlits/min_time:0.500", "BM_Memcpy/min_time:0.500"},
                        {"BM_MaskOnePass/min_time:0.500", "BM_Memcpy/min_time:0.500"},
                        {"BM_MaskBlits/min_time:0.500", "BM_Memcpy/min_time:0.500"}});
}
