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

namespace {

TStoryEncoding EncodingOf(std::string_view bytes, size_t& bom) { return DetectStoryEncoding(bytes, bom); }

TEST(StoryEncoding, AByteOrderMarkOrAMetaInTheHeadMeansUtf8) {
  size_t bom = 9;
  EXPECT_EQ(EncodingOf("\xEF\xBB\xBF<BODY>", bom), TStoryEncoding::Utf8);
  EXPECT_EQ(bom, 3u);
  for (const char* head : {"<HTML><HEAD><META charset=utf-8></HEAD><BODY>", "<head><meta CHARSET=\"UTF-8\"><body>",
                           "<HEAD><TITLE>\x83\x65</TITLE><META charset='utf8'></HEAD>",
                           "<META http-equiv=\"Content-Type\" content=\"text/html; charset=UTF-8\"><kn>",
                           "<HEAD><META charset = utf-8 ></HEAD>"}) {
    EXPECT_EQ(EncodingOf(head, bom), TStoryEncoding::Utf8) << head;
    EXPECT_EQ(bom, 0u);
  }
}

TEST(StoryEncoding, EverythingElseStaysShiftJis) {
  size_t bom;
  for (const char* head : {"", "<HTML><BODY><META charset=utf-8>", "<HEAD></HEAD><META charset=utf-8>",
                           "<kn><META charset=utf-8>", "<HEAD><!-- <META charset=utf-8> --></HEAD>",
                           "<HEAD><META charset=utf-16></HEAD>", "<HEAD><META charset=utf-8x></HEAD>",
                           "<HEAD><META name=charset></HEAD>", "\xEF\xBB<BODY>", "<HEAD><META charset=utf-8",
                           "<HEAD><!-- never closed <META charset=utf-8>"}) {
    EXPECT_EQ(EncodingOf(head, bom), TStoryEncoding::CP932) << head;
  }
  // Only the head of a file is looked at.
  const std::string far = "<HEAD>" + std::string(kEncodingSniffBytes, ' ') + "<META charset=utf-8>";
  EXPECT_EQ(EncodingOf(far, bom), TStoryEncoding::CP932);
}

TEST(StoryEncoding, Utf8PiecesJoinSplitCharactersAndReplaceInvalidBytes) {
  const std::string text = "Привет, naïve \xF0\x9F\x98\x80 \xFF\xC3 end";
  // Every way of cutting the bytes in two decodes as the whole does.
  WideString whole;
  TStoryDecoder(TStoryEncoding::Utf8).Decode(text, true, whole);
  EXPECT_EQ(whole, u"Привет, naïve \U0001F600 \uFFFD\uFFFD end");
  for (size_t cut = 0; cut <= text.size(); ++cut) {
    TStoryDecoder decoder(TStoryEncoding::Utf8);
    WideString out;
    decoder.Decode(std::string_view(text).substr(0, cut), false, out);
    decoder.Decode(std::string_view(text).substr(cut), true, out);
    EXPECT_EQ(out, whole) << cut;
  }
  // A character the last piece leaves unfinished is replaced.
  WideString cut;
  TStoryDecoder(TStoryEncoding::Utf8).Decode("a\xD0", true, cut);
  EXPECT_EQ(cut, u"a\uFFFD");
  // Shift-JIS goes through the same door.
  WideString sjis;
  TStoryDecoder(TStoryEncoding::CP932).Decode("\x93\xFA", true, sjis);
  EXPECT_EQ(sjis, u"日");
}

}  // namespace
