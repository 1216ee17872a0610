#include "platform/Graphics.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <string>
#include <thread>

namespace {

TEST(Bitmap, RowsAreTopDownAndPaddedToFourBytes) {
  TBitmap b;
  b.SetPixelFormat(pf24bit);
  b.SetSize(3, 2);
  EXPECT_EQ(b.Stride(), 12);
  EXPECT_EQ(b.ScanLine(1) - b.ScanLine(0), 12);
  b.SetPixelFormat(pf8bit);
  EXPECT_EQ(b.Stride(), 4);
  b.SetPixelFormat(pf32bit);
  EXPECT_EQ(b.Stride(), 12);
  EXPECT_EQ(b.Handle()->BitsPerPixel, 32);
  EXPECT_EQ(b.Handle()->Bits, b.ScanLine(0));
}

TEST(Bitmap, FormatConversionsKeepOrDropTheFourthByte) {
  TBitmap b;
  b.SetPixelFormat(pf24bit);
  b.SetSize(2, 1);
  const uint8_t rgb[6] = {1, 2, 3, 4, 5, 6};
  std::memcpy(b.ScanLine(0), rgb, 6);
  b.SetPixelFormat(pf32bit);
  const uint8_t expected32[8] = {1, 2, 3, 0, 4, 5, 6, 0};
  EXPECT_EQ(std::memcmp(b.ScanLine(0), expected32, 8), 0);
  b.ScanLine(0)[3] = 200;
  b.SetPixelFormat(pf24bit);
  EXPECT_EQ(std::memcmp(b.ScanLine(0), rgb, 6), 0);
  b.SetPixelFormat(pf8bit);
  b.ScanLine(0)[0] = 77;
  b.SetPixelFormat(pf32bit);
  EXPECT_EQ(b.ScanLine(0)[0], 77);
  EXPECT_EQ(b.ScanLine(0)[2], 77);
  EXPECT_EQ(b.ScanLine(0)[3], 0);
}

TEST(Bitmap, ResizingKeepsWhatStillFitsAndZeroesTheRest) {
  TBitmap b;
  b.SetSize(2, 2);
  std::memset(b.ScanLine(0), 0xAB, 8);
  std::memset(b.ScanLine(1), 0xCD, 8);
  b.SetSize(3, 1);
  EXPECT_EQ(b.ScanLine(0)[7], 0xAB);
  EXPECT_EQ(b.ScanLine(0)[8], 0);
  b.SetSize(0, 0);
  EXPECT_EQ(b.Width(), 0);
  // A large one, whose memory is made present when it is made, is zero all the same.
  TBitmap big;
  big.SetSize(300, 300);
  size_t nonzero = 0;
  for (int y = 0; y < 300; ++y)
    for (int x = 0; x < big.Stride(); ++x) nonzero += big.ScanLine(y)[x] != 0;
  EXPECT_EQ(nonzero, 0u);
  big.ScanLine(299)[1199] = 5;
  big.SetSize(301, 300);
  EXPECT_EQ(big.ScanLine(299)[1199], 5);
  EXPECT_EQ(big.ScanLine(299)[1203], 0);
}

TEST(Bitmap, AttachedBitmapDrawsIntoTheOwnersMemory) {
  TBitmap owner;
  owner.SetSize(4, 3);
  TBitmap view;
  view.Attach(owner.Handle());
  EXPECT_TRUE(view.Attached());
  EXPECT_EQ(view.Width(), 4);
  view.ScanLine(2)[5] = 9;
  EXPECT_EQ(owner.ScanLine(2)[5], 9);
  view.SetPixelFormat(pf32bit);  // same format: still attached
  EXPECT_TRUE(view.Attached());
  TBitmap copy;
  copy.Assign(owner);
  copy.ScanLine(2)[5] = 1;
  EXPECT_EQ(owner.ScanLine(2)[5], 9);
}

TEST(Bitmap, SwapExchangesPixelsSizesAndFormatsAndCanvasesDrawIntoTheirOwn) {
  TBitmap a, b;
  a.SetSize(3, 2);
  a.ScanLine(1)[0] = 7;
  b.SetPixelFormat(pf8bit);
  b.SetSize(5, 1);
  const uint8_t* aPixels = a.ScanLine(0);
  TCanvas& aCanvas = a.Canvas();
  a.Swap(b);
  EXPECT_EQ(a.Width(), 5);
  EXPECT_EQ(a.PixelFormat(), pf8bit);
  EXPECT_EQ(b.Width(), 3);
  EXPECT_EQ(b.PixelFormat(), pf32bit);
  EXPECT_EQ(b.ScanLine(0), aPixels);  // not copied
  EXPECT_EQ(b.ScanLine(1)[0], 7);
  EXPECT_EQ(&a.Canvas(), &aCanvas);
  // An attached bitmap stays attached to the same memory where it went.
  TBitmap view;
  view.Attach(b.Handle());
  TBitmap other;
  other.Swap(view);
  EXPECT_TRUE(other.Attached());
  EXPECT_FALSE(view.Attached());
  EXPECT_EQ(other.ScanLine(0), aPixels);
}
}  // namespace

namespace {

// The ink a text leaves in a bitmap: how many pixels it set.
int InkOf(const TFont& font, std::u16string_view text) {
  TBitmap b;
  b.SetPixelFormat(pf32bit);
  b.SetSize(200, 60);
  std::memset(b.ScanLine(0), 0, size_t(b.Stride()) * 60);
  TCanvas c(&b);
  c.Font = font;
  c.Font.Color = 0xFFFFFF;
  c.TextOut(2, 2, text);
  int ink = 0;
  for (int y = 0; y < 60; ++y)
    for (int x = 0; x < 200; ++x) ink += b.ScanLine(y)[x * 4] != 0;
  return ink;
}

TEST(Fonts, ACharacterTheFontLacksIsDrawnInOneThatHasIt) {
  TFont japanese;  // the Japanese font, which has no Armenian
  japanese.Height = 26;
  TFont alphabet = japanese;
  alphabet.Name = "DejaVu Sans";
  // Drawn and measured as the font that has it draws it, never as the missing-glyph box.
  EXPECT_TRUE(FontHasCharacter(japanese, U'\u0531'));
  TCanvas a(nullptr), b(nullptr);
  a.Font = japanese;
  b.Font = alphabet;
  EXPECT_EQ(a.TextWidth(u"\u0531"), b.TextWidth(u"\u0531"));
  EXPECT_EQ(InkOf(japanese, u"\u0531"), InkOf(alphabet, u"\u0531"));
  EXPECT_GT(InkOf(japanese, u"\u0531"), 0);
  // And the other way: kana in the alphabet font come from the Japanese one.
  EXPECT_EQ(b.TextWidth(u"あ"), a.TextWidth(u"あ"));
  // A character no installed font has, and one that is in the private use area.
  EXPECT_FALSE(FontHasCharacter(japanese, U'\U0010FFFD'));
  EXPECT_FALSE(FontHasCharacter(alphabet, U'\uE000'));
  EXPECT_TRUE(FontHasCharacter(japanese, U'\n'));  // a control needs no glyph
}

// A font added while another library reads the configuration is added once the reading is
// over, and is then the process's until it is removed.
TEST(Fonts, AFontIsAddedOnceAReadingOfTheConfigurationIsOver) {
  LoadFontConfiguration();
  const std::string file = "/usr/share/fonts/truetype/dejavu/DejaVuSansCondensed.ttf";
  std::atomic<bool> reading{false}, asking{false}, over{false};
  bool added = false, addedWhileReading = false;
  std::thread reader([&] {
    const TFontConfigurationReading held;
    reading = true;
    reading.notify_all();
    // The reading ends a while after the other thread has asked for the change: had it not
    // waited, it would have been done by then.
    asking.wait(false);
    for (int i = 0; i < 10000; ++i) std::this_thread::yield();
    over = true;
  });
  reading.wait(false);
  std::thread adder([&] {
    asking = true;
    asking.notify_all();
    added = AddFontResource(file);
    addedWhileReading = !over.load();
  });
  reader.join();
  adder.join();
  EXPECT_TRUE(added);
  EXPECT_FALSE(addedWhileReading);
  EXPECT_TRUE(RemoveFontResource(file));
  EXPECT_FALSE(RemoveFontResource(file));  // once only
}

}  // namespace
