#include "engine/GraphicsLoader.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <string>
#include <thread>

#include "../PngWriter.h"
#include "../TestSupport.h"
#include "platform/Dialogs.h"

namespace {

// A folder of small pictures, the current directory while the test runs (image names are
// relative to it, as a story's are).
class GraphicsLoaderTest : public testing::Test {
 protected:
  static constexpr int kW = 4, kH = 3;
  static constexpr uint64_t kImageBytes = kW * kH * 4;

  void SetUp() override {
    for (int i = 0; i < 12; ++i) WritePicture("p" + std::to_string(i) + ".png", uint8_t(i * 20));
  }

  void WritePicture(const std::string& name, uint8_t level) {
    WritePng(FDir / name, kW, kH, PNG_COLOR_TYPE_RGB, 8, std::vector<uint8_t>(kW * kH * 3, level));
  }

  struct TEntryView {
    bool Present = false;
    int32_t References = 0;
    uint8_t State = 0;
    const TABitmap* Image = nullptr;
  };
  static TEntryView Entry(TGraphicsLoader& cache, const std::string& name) {
    TEntryView v;
    // The cache keys an entry by the real path of its file, or by the name itself when it
    // led to no file when first asked for.
    std::error_code error;
    const std::filesystem::path real = std::filesystem::canonical(name, error);
    TObjectTable& table = cache.ImageTable();
    table.Lock();
    TObject* object = nullptr;
    if (table.TryGetObject(name, object) || (!error && table.TryGetObject(real.string(), object))) {
      auto* entry = static_cast<TImageTableItem*>(object);
      std::lock_guard<std::mutex> lock(entry->Lock);
      v = TEntryView{true, entry->References, entry->State, entry->Image.get()};
    }
    table.Unlock();
    return v;
  }

  TempDir FDir;
  InDirectory FIn{FDir.Path()};
};

TEST_F(GraphicsLoaderTest, ObjectsSharingAFileShareOneDecodeUntilTheLastLetsGo) {
  TGraphicsLoader cache;
  TABitmap* first = cache.GetImage("p1.png");
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(first->PixelFormat(), pf32bit);
  EXPECT_EQ(first->Width(), kW);
  EXPECT_EQ(first->ScanLine(0)[0], 20);
  EXPECT_EQ(first->ScanLine(0)[3], 0);  // opaque
  EXPECT_EQ(cache.GetImage("p1.png"), first);
  EXPECT_EQ(Entry(cache, "p1.png").References, 2);
  cache.ReleaseImage("p1.png");
  EXPECT_EQ(Entry(cache, "p1.png").Image, first);
  cache.ReleaseImage("p1.png");
  EXPECT_FALSE(Entry(cache, "p1.png").Present);
  // Asked for again, the file is decoded again.
  WritePicture("p1.png", 99);
  TABitmap* again = cache.GetImage("p1.png");
  ASSERT_NE(again, nullptr);
  EXPECT_EQ(again->ScanLine(0)[0], 99);
  cache.ReleaseImage("p1.png");
}

TEST_F(GraphicsLoaderTest, AFileThatGivesNoImageLeavesAPendingEntryUntilReleased) {
  TGraphicsLoader cache;
  cache.WaitUntilIdle();  // the worker's first pass is over: it looks again only when woken
  cache.ReleaseImage("never-asked.png");  // nothing to do
  WriteFile(FDir / "text.png", "not a picture");
  for (const char* name : {"missing.png", "text.png"}) {
    EXPECT_EQ(cache.GetImage(name), nullptr) << name;
    const TEntryView v = Entry(cache, name);
    EXPECT_TRUE(v.Present);
    EXPECT_EQ(v.References, 1);
    EXPECT_EQ(v.State, TImageTableItem::stPending);
  }
  // Pending means a later request tries again.
  WritePicture("missing.png", 7);
  ASSERT_NE(cache.GetImage("missing.png"), nullptr);
  EXPECT_EQ(Entry(cache, "missing.png").References, 2);
  cache.ReleaseImage("missing.png");
  cache.ReleaseImage("missing.png");
  cache.ReleaseImage("text.png");
  EXPECT_EQ(cache.ImageTable().UsedCount(), 0);
  EXPECT_EQ(cache.GetImage(""), nullptr);  // no name, no entry
  EXPECT_EQ(cache.ImageTable().UsedCount(), 0);
}

TEST(ImageHeaders, OnlyEightBitImagesOfTheTwoColourTypesDecode) {
  struct TCase {
    int32_t Depth, Colour;
    const char* Refusal;
    TPixelFormat Format;
  };
  const TCase cases[] = {{8, 1, nullptr, pf24bit},
                         {8, 129, nullptr, pf32bit},
                         {16, 1, "Bitdepth not supported.", pf32bit},
                         {1, 129, "Bitdepth not supported.", pf32bit},
                         {8, 0, "Color type not supported.", pf32bit},
                         {8, 2, "Color type not supported.", pf32bit},
                         {8, 128, "Color type not supported.", pf32bit}};
  for (const TCase& c : cases) {
    TPixelFormat format = pf32bit;
    const char* refusal = ImageInfoRefusal(TOmbrixInfo{4, 4, c.Depth, c.Colour}, format);
    EXPECT_STREQ(refusal, c.Refusal) << c.Depth << "/" << c.Colour;
    if (!c.Refusal) {
      EXPECT_EQ(format, c.Format);
    }
  }
}

TEST_F(GraphicsLoaderTest, EveryPngKindComesOutAsThirtyTwoBits) {
  WritePng(FDir / "grey16.png", 2, 2, PNG_COLOR_TYPE_GRAY, 16, std::vector<uint8_t>(8, 0x80));
  WritePng(FDir / "rgba.png", 2, 2, PNG_COLOR_TYPE_RGBA, 8, {1, 2, 3, 0, 1, 2, 3, 64, 1, 2, 3, 128, 1, 2, 3, 255});
  for (const char* name : {"grey16.png", "rgba.png", "p0.png"}) {
    auto image = LoadImageFile(name);
    ASSERT_TRUE(image) << name;
    EXPECT_EQ(image->PixelFormat(), pf32bit) << name;
  }
  auto rgba = LoadImageFile("rgba.png");
  EXPECT_EQ(rgba->ScanLine(0)[3], 255);  // alpha 0 is fully transparent
  EXPECT_EQ(rgba->ScanLine(1)[7], 0);
  EXPECT_FALSE(LoadImageFile("missing.png"));
}

TEST_F(GraphicsLoaderTest, TheWorkerDecodesAheadWhatIsWantedAndGetImageTakesIt) {
  TGraphicsLoader cache;
  cache.DecodeAhead({"p1.png", "p2.png", "missing.png", ""});
  cache.WaitUntilIdle();
  const TEntryView ahead = Entry(cache, "p1.png");
  EXPECT_EQ(ahead.State, TImageTableItem::stLoaded);
  EXPECT_EQ(ahead.References, 0);
  EXPECT_EQ(Entry(cache, "missing.png").State, TImageTableItem::stFailed);
  EXPECT_EQ(cache.GetImage("p1.png"), ahead.Image);  // not decoded a second time
  EXPECT_EQ(cache.GetImage("missing.png"), nullptr);
  // The image in use stays, the one held ahead and no longer wanted goes.
  cache.DecodeAhead({"p3.png"});
  cache.WaitUntilIdle();
  EXPECT_TRUE(Entry(cache, "p1.png").Present);
  EXPECT_FALSE(Entry(cache, "p2.png").Present);
  EXPECT_EQ(Entry(cache, "p3.png").State, TImageTableItem::stLoaded);
  cache.ReleaseImage("p1.png");
  cache.ReleaseImage("missing.png");
  EXPECT_FALSE(Entry(cache, "p1.png").Present);
}

TEST_F(GraphicsLoaderTest, HeldNothingIsDecodedAheadButWhatIsAskedForAndReleasedTheWishesAreDecoded) {
  TGraphicsLoader cache;
  cache.HoldDecodingAhead(true);
  cache.DecodeAhead({"p1.png", "p2.png"});
  TABitmap* asked = cache.GetImage("p1.png");
  ASSERT_NE(asked, nullptr);
  EXPECT_EQ(Entry(cache, "p2.png").State, TImageTableItem::stPending);
  cache.HoldDecodingAhead(false);
  cache.WaitUntilIdle();
  EXPECT_EQ(Entry(cache, "p2.png").State, TImageTableItem::stLoaded);
  EXPECT_EQ(Entry(cache, "p1.png").Image, asked);
  cache.ReleaseImage("p1.png");
  // A cache that goes while held ends its worker.
  TGraphicsLoader held;
  held.HoldDecodingAhead(true);
  held.DecodeAhead({"p3.png"});
}

TEST_F(GraphicsLoaderTest, DecodingAheadStopsAtItsBudgetAndGoesOnWhenImagesAreTaken) {
  TGraphicsLoader cache(2 * kImageBytes + 1);
  cache.DecodeAhead({"p1.png", "p2.png", "p3.png"});
  cache.WaitUntilIdle();
  EXPECT_EQ(Entry(cache, "p1.png").State, TImageTableItem::stLoaded);
  EXPECT_EQ(Entry(cache, "p2.png").State, TImageTableItem::stLoaded);
  EXPECT_EQ(Entry(cache, "p3.png").State, TImageTableItem::stPending);
  // An image in use no longer counts against the budget.
  ASSERT_NE(cache.GetImage("p1.png"), nullptr);
  cache.DecodeAhead({"p2.png", "p3.png"});
  cache.WaitUntilIdle();
  EXPECT_EQ(Entry(cache, "p3.png").State, TImageTableItem::stLoaded);
  // On demand, the budget does not apply.
  ASSERT_NE(cache.GetImage("p4.png"), nullptr);
  ASSERT_NE(cache.GetImage("p3.png"), nullptr);
}

TEST_F(GraphicsLoaderTest, TheEngineThreadAndTheWorkerShareTheTable) {
  // The worker decodes a long wish list while this thread takes, shares and lets go of the
  // same files and changes its wishes; whatever the interleaving, every image handed out is
  // whole and every count is right at the end.
  TGraphicsLoader cache(6 * kImageBytes);
  std::vector<AnsiString> all;
  for (int i = 0; i < 12; ++i) all.push_back("p" + std::to_string(i) + ".png");
  for (int round = 0; round < 40; ++round) {
    cache.DecodeAhead(std::vector<AnsiString>(all.begin() + round % 6, all.end()));
    std::vector<AnsiString> kept;
    for (int i = round % 3; i < 12; i += 1 + round % 3) {
      TABitmap* a = cache.GetImage(all[size_t(i)]);
      TABitmap* b = cache.GetImage(all[size_t(i)]);
      ASSERT_NE(a, nullptr);
      ASSERT_EQ(a, b);
      EXPECT_EQ(a->ScanLine(kH - 1)[0], uint8_t(i * 20));
      cache.ReleaseImage(all[size_t(i)]);
      kept.push_back(all[size_t(i)]);
    }
    // New wishes while images are in use, then everything given back.
    cache.DecodeAhead(std::vector<AnsiString>(all.rbegin(), all.rend() - round % 4));
    for (const AnsiString& name : kept) cache.ReleaseImage(name);
  }
  cache.WaitUntilIdle();
  int held = 0;
  for (int i = 0; i < 12; ++i) held += Entry(cache, all[size_t(i)]).References;
  EXPECT_EQ(held, 0);
}

TEST_F(GraphicsLoaderTest, DestroyingTheCacheFreesEntriesStillInUse) {
  auto cache = std::make_unique<TGraphicsLoader>();
  cache->DecodeAhead(std::vector<AnsiString>{"p5.png", "p6.png"});
  ASSERT_NE(cache->GetImage("p1.png"), nullptr);
  ASSERT_NE(cache->GetImage("p1.png"), nullptr);
  cache.reset();  // the leak checker sees what would stay
}

}  // namespace

namespace {

// The worker's decoder fails with an exception while the engine's thread is destroying the
// cache. The box that tells of it goes, as a window shell's boxes do, through the main
// thread's queue of calls; the destruction must serve it instead of waiting for the worker
// alone. A watchdog ends the process if it ever hangs.
TEST(GraphicsLoaderShutdown, ServesTheWorkersErrorBoxWhileWaitingForIt) {
  std::mutex lock;
  std::condition_variable changed;
  bool decoding = false, fail = false;
  const TImageDecoder decoder = [&](const AnsiString&, uint64_t, std::unique_ptr<TABitmap>&) -> TImageDecode {
    std::unique_lock<std::mutex> l(lock);
    decoding = true;
    changed.notify_all();
    changed.wait(l, [&] { return fail; });
    throw EInOutError("the disk went away");
  };
  std::string shown;
  const TMessageDlgHandler previous =
      SetMessageDlgHandler([&](const std::string& text, TMsgDlgType, TMsgDlgButtons) {
        int answer = mrNone;
        TThread::Synchronize([&] {
          EXPECT_TRUE(TThread::IsMainThread());
          shown = text;
          answer = mrOk;
        });
        return answer;
      });
  std::mutex doneLock;
  std::condition_variable doneSignal;
  bool done = false;
  std::thread watchdog([&] {
    std::unique_lock<std::mutex> l(doneLock);
    if (!doneSignal.wait_for(l, std::chrono::seconds(30), [&] { return done; })) {
      std::fprintf(stderr, "the cache's destruction hangs on its worker's error box\n");
      std::abort();
    }
  });
  {
    auto cache = std::make_unique<TGraphicsLoader>(TGraphicsLoaderThread::kDecodeAheadBytes, decoder);
    cache->DecodeAhead({"any.png"});
    {
      std::unique_lock<std::mutex> l(lock);
      changed.wait(l, [&] { return decoding; });
      fail = true;
      changed.notify_all();
    }
    cache.reset();
  }
  {
    std::lock_guard<std::mutex> l(doneLock);
    done = true;
  }
  doneSignal.notify_all();
  watchdog.join();
  SetMessageDlgHandler(previous);
  EXPECT_EQ(shown, "GraphicsLoaderThread Error!\r\nEInOutError\r\nthe disk went away");
}

}  // namespace

namespace {
// Names that lead to one file share one decode; and all decoded images together stay within
// the cache's budget: an image that would go past it is refused, and comes once room is made.
TEST_F(GraphicsLoaderTest, AliasesShareOneDecodeAndTheCacheKeepsToItsBudget) {
  std::filesystem::create_directory(FDir / "sub");
  TGraphicsLoader aliases;
  TABitmap* first = aliases.GetImage("p1.png");
  ASSERT_NE(first, nullptr);
  for (const char* alias : {".\\p1.png", "sub\\..\\p1.png", ".\\.\\.\\P1.PNG"}) EXPECT_EQ(aliases.GetImage(alias), first) << alias;
  EXPECT_EQ(aliases.ImageTable().UsedCount(), 1);
  EXPECT_EQ(Entry(aliases, "p1.png").References, 4);

  TGraphicsLoader cache(TGraphicsLoaderThread::kDecodeAheadBytes, DecodeImageFile, 2 * kImageBytes);
  ASSERT_NE(cache.GetImage("p1.png"), nullptr);
  ASSERT_NE(cache.GetImage("p2.png"), nullptr);
  EXPECT_EQ(cache.GetImage("p3.png"), nullptr);
  cache.ReleaseImage("p3.png");
  cache.ReleaseImage("p1.png");
  EXPECT_NE(cache.GetImage("p3.png"), nullptr);
}
}  // namespace
