#include "platform/CodePage.h"

#include <gtest/gtest.h>

namespace {

TEST(CodePage, DecodesAsciiKanjiAndHalfWidthKatakana) {
  EXPECT_EQ(CP932ToWide("abc<P>"), u"abc<P>");
  EXPECT_EQ(CP932ToWide("\x93\xFA\x96\x7B\x8C\xEA"), u"日本語");
  EXPECT_EQ(CP932ToWide("\xB1\xDF"), u"\uFF71\uFF9F");
  EXPECT_EQ(WideToCP932(u"日本語ｱ"), "\x93\xFA\x96\x7B\x8C\xEA\xB1");
}

TEST(CodePage, NecAndIbmExtensionsRoundTrip) {
  // NEC row 13 (circled digits, Roman numerals) and the IBM extensions keep their bytes.
  for (const char* bytes : {"\x87\x40", "\x87\x54", "\x87\x80", "\xFA\x40", "\xFA\x5C", "\xFB\x40", "\xFC\x4B"}) {
    const WideString w = CP932ToWide(bytes);
    ASSERT_EQ(w.size(), 1u) << bytes;
    EXPECT_NE(w[0], 0xFFFD);
    EXPECT_EQ(WideToCP932(w), bytes);
  }
  EXPECT_EQ(CP932ToWide("\x87\x40"), u"\u2460");
  // NEC's copies of the IBM characters decode to the same characters.
  EXPECT_EQ(CP932ToWide("\xED\x40"), CP932ToWide("\xFA\x5C"));
}

TEST(CodePage, InvalidBytesBecomeReplacementCharacters) {
  // A lead byte followed by a byte that cannot trail: the lead alone is replaced.
  EXPECT_EQ(CP932ToWide("\x81 x"), u"\uFFFD x");
  EXPECT_EQ(CP932ToWide("a\x81"), u"a\uFFFD");  // cut short at the end
  const WideString w = CP932ToWide(std::string("\xFF\x00z", 3));
  ASSERT_EQ(w.size(), 3u);
  EXPECT_EQ(w[1], u'\0');
  EXPECT_EQ(w[2], u'z');
}

TEST(CodePage, CharactersOutsideCP932BecomeQuestionMarks) {
  EXPECT_EQ(WideToCP932(u"a\U0001F600b"), "a?b");   // one mark for a surrogate pair
  EXPECT_EQ(WideToCP932(WideString(u"x\xD800y")), "x?y");  // lone surrogate
  EXPECT_EQ(WideToCP932(WideString(u"\xDC00")), "?");
}

TEST(CodePage, Utf8RoundTripAndRepairs) {
  const WideString w = u"Aé日\U0001F600";
  EXPECT_EQ(Utf8ToWide(WideToUtf8(w)), w);
  EXPECT_EQ(WideToUtf8(WideString(1, char16_t(0xD800))), "\xEF\xBF\xBD");
  EXPECT_EQ(Utf8ToWide("a\xC0\xAF" "b"), u"a\uFFFD\uFFFDb");  // overlong
  EXPECT_EQ(Utf8ToWide("\xE6\x97"), u"\uFFFD\uFFFD");        // cut short
  EXPECT_EQ(Utf8ToWide("\xED\xA0\x80"), u"\uFFFD\uFFFD\uFFFD");  // encoded surrogate
}

TEST(CodePageDecoder, JoinsACharacterSplitBetweenPieces) {
  TCP932Decoder d;
  WideString out;
  d.Decode("a\x93", false, out);
  EXPECT_EQ(out, u"a");
  d.Decode("\xFA" "b", false, out);
  EXPECT_EQ(out, u"a日b");
}

TEST(CodePageDecoder, LeadByteThatFindsNoTrailStandsAlone) {
  TCP932Decoder d;
  WideString out;
  d.Decode("\x93", false, out);
  d.Decode("<p>", false, out);
  EXPECT_EQ(out, u"\uFFFD<p>");
  out.clear();
  d.Decode("\x93", false, out);
  d.Decode("", true, out);
  EXPECT_EQ(out, u"\uFFFD");
}
}  // namespace
