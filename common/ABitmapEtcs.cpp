#include "common/ABitmapEtcs.h"

#include <chrono>
#include <map>
#include <mutex>
#include <tuple>
#include <vector>

#include "common/SuperString2.h"

namespace {

// A character's coverage at its output size: the sum of the four scratch bytes of each
// pixel's 2x2 block (1020 where nothing was drawn).
struct TGlyphCoverage {
  int32_t Width = 0;
  int32_t Height = 0;
  std::vector<uint16_t> Sums;
};

using TGlyphKey = std::tuple<AnsiString, unsigned, int32_t, WideString>;

std::mutex gCacheLock;
std::map<TGlyphKey, TGlyphCoverage> gCache;
bool gCacheEnabled = true;
constexpr size_t kCacheLimit = 4096;

TGlyphCoverage Render(const WideString& text, const TFont& font) {
  TBitmap scratch;
  TCanvas& canvas = scratch.Canvas();
  canvas.Font.Name = font.Name;
  canvas.Font.Style = font.Style;
  canvas.Font.Pitch = font.Pitch;
  canvas.Font.SetSize(font.Size() * 2);
  const TSize extent = canvas.TextExtent(text);
  TGlyphCoverage g;
  g.Width = extent.cx / 2;
  g.Height = extent.cy / 2;
  if (g.Width <= 0 || g.Height <= 0) return g;
  scratch.SetSize(2 * g.Width + 2, 2 * g.Height + 2);
  for (int32_t y = 0; y < scratch.Height(); ++y) std::fill_n(scratch.ScanLine(y), size_t(scratch.Stride()), 0xFF);
  canvas.Font.Color = 0;
  canvas.TextOut(0, 0, text);
  g.Sums.resize(size_t(g.Width) * size_t(g.Height));
  for (int32_t j = 0; j < g.Height; ++j) {
    const uint8_t* a = scratch.ScanLine(2 * j + 1);
    const uint8_t* b = scratch.ScanLine(2 * j + 2);
    for (int32_t i = 0; i < g.Width; ++i)
      g.Sums[size_t(j) * size_t(g.Width) + size_t(i)] =
          uint16_t(a[8 * i] + a[8 * i + 4] + b[8 * i] + b[8 * i + 4]);  // the blue bytes
  }
  return g;
}

int32_t ShakeOffset(const TFont& font) {
  // A fresh seed from the clock for every draw, as the shake is meant to look random.
  const int32_t range = std::abs(font.Size()) / 3;
  if (range <= 0) return 0;
  uint64_t seed = uint64_t(std::chrono::steady_clock::now().time_since_epoch().count());
  seed = seed * 6364136223846793005ull + 1442695040888963407ull;
  return int32_t((seed >> 33) % uint64_t(range));
}

}  // namespace

void ClearGlyphCache() {
  std::lock_guard<std::mutex> lock(gCacheLock);
  gCache.clear();
}

void SetGlyphCacheEnabled(bool enabled) {
  std::lock_guard<std::mutex> lock(gCacheLock);
  gCacheEnabled = enabled;
  gCache.clear();
}

void DrawCharAA(TABitmap& dest, int32_t x, int32_t y, const WideString& text, const TFont& font, bool asWritten) {
  if (!dest.HasImage() || dest.PixelFormat() != pf32bit || text.empty()) return;
  const WideString ch = text.size() == 1 && !asWritten ? CodePageChar(text[0]) : text;
  TGlyphCoverage rendered;
  const TGlyphCoverage* g = nullptr;
  std::unique_lock<std::mutex> lock(gCacheLock);
  if (gCacheEnabled) {
    TGlyphKey key{font.Name, font.Style, font.Size() * 2, ch};
    auto it = gCache.find(key);
    if (it == gCache.end()) {
      lock.unlock();
      TGlyphCoverage fresh = Render(ch, font);
      lock.lock();
      if (gCache.size() >= kCacheLimit) gCache.clear();
      it = gCache.emplace(std::move(key), std::move(fresh)).first;
    }
    g = &it->second;
  } else {
    lock.unlock();
    rendered = Render(ch, font);
    g = &rendered;
  }
  uint8_t blue, green, red;
  SplitColor(font.Color, blue, green, red);
  for (int32_t j = 0; j < g->Height; ++j) {
    const int32_t dy = y + j;
    if (dy < 0 || dy >= dest.Height()) continue;
    auto* row = reinterpret_cast<uint32_t*>(dest.ScanLine(dy));
    for (int32_t i = 0; i < g->Width; ++i) {
      const int32_t dx = x + i;
      const uint16_t m = g->Sums[size_t(j) * size_t(g->Width) + size_t(i)];
      if (m >= 1020 || dx < 0 || dx >= dest.Width()) continue;
      row[dx] = uint32_t(blue) | uint32_t(green) << 8 | uint32_t(red) << 16 | uint32_t(m >> 2) << 24;
    }
  }
}

void DrawCharEffect(uint8_t effect, int32_t x, int32_t y, TABitmap& dest, TColor edgeColor, const TFont& font,
                    const WideString& text, bool asWritten) {
  TFont edge = font;
  edge.Color = edgeColor;
  switch (effect) {
    case 0: DrawCharAA(dest, x, y, text, font, asWritten); break;
    case 1: {
      static constexpr int kRing[8][2] = {{2, 2}, {2, 1}, {2, 0}, {1, 2}, {1, 0}, {0, 2}, {0, 1}, {0, 0}};
      for (const auto& o : kRing) DrawCharAA(dest, x + o[0], y + o[1], text, edge, asWritten);
      DrawCharAA(dest, x + 1, y + 1, text, font, asWritten);
      break;
    }
    case 2:
      DrawCharAA(dest, x + 2, y + 2, text, edge, asWritten);
      DrawCharAA(dest, x, y, text, font, asWritten);
      break;
    case 3: DrawCharAA(dest, x + ShakeOffset(font), y, text, font, asWritten); break;
    case 4: DrawCharAA(dest, x, y + ShakeOffset(font), text, font, asWritten); break;
    case 5: {
      const int32_t dx = ShakeOffset(font);
      DrawCharAA(dest, x + dx, y + ShakeOffset(font), text, font, asWritten);
      break;
    }
    case 6:
      DrawCharAA(dest, x - 1, y - 1, text, font, asWritten);
      DrawCharAA(dest, x, y, text, edge, asWritten);
      break;
    default: break;
  }
}
