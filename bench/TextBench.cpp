// A full message page (four lines of full-width text with the shadow effect) rendered
// into the page bitmap, with the glyph cache warm and cold; and an 800x600 RGBA PNG
// decoded through the image binding beside libpng reading it into a plain buffer.
#include <png.h>
#include <unistd.h>

#include <random>
#include <vector>

#include "../tests/TestSupport.h"
#include "BenchRatios.h"
#include "common/ABitmapEtcs.h"
#include "common/Ombrix.h"
#include "engine/KNRects.h"
#include "player/SubThread.h"
#include "player/TextLayer.h"

namespace {

struct Page : TTextLayer {
  Page() {
    PlaceMessageLayer(*this);
    const WideString text =
        u"春の日差しが窓から差し込み、少女は静かに本を閉じた。「また明日ね」と彼女は言った。"
        u"風が木々を揺らし、遠くで鐘の音が響いている。夕暮れの街に灯りがともり始めた。"
        u"二人は並んで坂道を下り、古い本屋の前で足を止めた。店先には色あせた地図が飾られていた。";
    for (int line = 0; line < 4; ++line) {
      if (line) NewLine();
      AddText(SString2{text.substr(size_t(line) * 26, 26), text.substr(size_t(line) * 26, 26), nullptr});
    }
    Skip();
  }
  void RedrawPage() { FState.PageDirty = true; }
  int Glyphs() const {
    int n = 0;
    for (const SString2& l : FState.Lines) n += int(l.Text.size());
    return n;
  }
};

void RenderPage(benchmark::State& state, bool cold) {
  Page page;
  TABitmap back;
  back.SetSize(800, 600);
  TRect store[11];
  TClipRects dirty{store, 0, 11};
  const TRect all{0, 0, 800, 600};
  AddRect(&dirty, &all);
  for (auto _ : state) {
    if (cold) ClearGlyphCache();
    page.RedrawPage();
    page.Draw(back, dirty);
  }
  state.counters["glyphs/s"] =
      benchmark::Counter(double(state.iterations()) * page.Glyphs(), benchmark::Counter::kIsRate);
  state.counters["lines"] = double(page.LineCount());
}

void BM_PageWarmCache(benchmark::State& s) { RenderPage(s, false); }
void BM_PageColdCache(benchmark::State& s) { RenderPage(s, true); }

const std::string& PngFile() {
  static const std::string path = [] {
    std::string p = "/tmp/sorvane-bench-" + std::to_string(::getpid()) + ".png";
    std::FILE* f = std::fopen(p.c_str(), "wb");
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    png_init_io(png, f);
    png_set_IHDR(png, info, 800, 600, 8, PNG_COLOR_TYPE_RGBA, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    std::vector<uint8_t> row(800 * 4);
    std::mt19937 rng(3);
    for (int y = 0; y < 600; ++y) {
      // A picture-like mix: smooth gradients with some noise.
      for (int x = 0; x < 800; ++x) {
        row[size_t(x) * 4 + 0] = uint8_t(x / 4 + (rng() & 7));
        row[size_t(x) * 4 + 1] = uint8_t(y / 3);
        row[size_t(x) * 4 + 2] = uint8_t((x + y) / 6);
        row[size_t(x) * 4 + 3] = uint8_t(x < 400 ? 255 : 128 + (rng() & 63));
      }
      png_write_row(png, row.data());
    }
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    std::fclose(f);
    return p;
  }();
  return path;
}

void BM_PngThroughBinding(benchmark::State& state) {
  TBitmap bitmap;
  bitmap.SetSize(800, 600);
  for (auto _ : state) {
    HOMBRIX h = nullptr;
    if (CreateOmbrix(&h, PngFile().c_str()) != 0) state.SkipWithError("open failed");
    GetImageDataToBitmap(h, bitmap.Handle());
    DeleteOmbrix(&h);
  }
}

void BM_PngPlainLibpng(benchmark::State& state) {
  std::vector<uint8_t> pixels(800 * 600 * 4);
  std::vector<png_bytep> rows(600);
  for (int y = 0; y < 600; ++y) rows[size_t(y)] = pixels.data() + size_t(y) * 800 * 4;
  for (auto _ : state) {
    std::FILE* f = std::fopen(PngFile().c_str(), "rb");
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    png_init_io(png, f);
    png_read_info(png, info);
    png_read_image(png, rows.data());
    png_destroy_read_struct(&png, &info, nullptr);
    std::fclose(f);
    benchmark::DoNotOptimize(pixels.data());
  }
}

BENCHMARK(BM_PageWarmCache)->Unit(benchmark::kMillisecond)->MinTime(1);
BENCHMARK(BM_PageColdCache)->Unit(benchmark::kMillisecond)->MinTime(1);
BENCHMARK(BM_PngThroughBinding)->Unit(benchmark::kMillisecond)->MinTime(1);
BENCHMARK(BM_PngPlainLibpng)->Unit(benchmark::kMillisecond)->MinTime(1);

}  // namespace

int main(int argc, char** argv) {
  const int r = RunWithRatios(argc, argv, {{"BM_PngThroughBinding/min_time:1.000", "BM_PngPlainLibpng/min_time:1.000"}});
  ::unlink(PngFile().c_str());
  return r;
}
