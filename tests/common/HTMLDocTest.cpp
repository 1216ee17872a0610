#include "common/HTMLDoc.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <fstream>
#include <random>

#include "HTMLDocTestUtil.h"

namespace {

std::string Parsed(std::initializer_list<std::u16string_view> pieces) {
  THTMLDoc doc;
  for (auto p : pieces) doc.Parse(p);
  return Dump(doc);
}

WideString Attr(const THTMLTag& tag, const char* name) {
  WideString v;
  return tag.Attributes.TryGetStr(name, v) ? v : u"<none>";
}

TEST(HTMLDoc, BuildsContentFromTextRunsAndMarkers) {
  THTMLDoc doc;
  doc.Parse(u"a<b>c</b>d");
  EXPECT_EQ(Dump(doc), "a{b:c}");  // the trailing d waits for a tag that never comes
  EXPECT_EQ(doc.Root()->TagName, "HTMLDoc");
  const SString2& root = doc.Root()->Content;
  EXPECT_EQ(root.Text, u"a\x07");
  EXPECT_EQ(root.Info, u"a\x01");
  EXPECT_EQ(root.InfoTable, doc.InfoTable());
}

TEST(HTMLDoc, LinesJoinWithoutSeparatorAndControlCharactersAreDropped) {
  EXPECT_EQ(Parsed({u"<p>one ", u"two\r\n\tthree\a</p><x>"}), "{p:one twothree}{x:}");
}

TEST(HTMLDoc, ElementsKnowTheLineOfTheirOpeningBracket) {
  THTMLDoc doc;
  // Line breaks in the text, in a comment, inside a tag, and lines fed without their breaks.
  doc.Parse(u"<a>\n<b\nx=1>\n<!-- one\ntwo -->\n<c>");
  doc.NextLine();
  doc.Parse(u"<d>");
  std::vector<int32_t> lines;
  for (int32_t i = 0; i <= doc.InfoTable()->Count(); ++i)
    if (const auto* tag = static_cast<const THTMLTag*>(doc.InfoTable()->Get(i))) lines.push_back(tag->Line);
  EXPECT_EQ(lines, (std::vector<int32_t>{1, 2, 6, 7}));
}

TEST(HTMLDoc, EndTagsCloseWhateverIsOpen) {
  EXPECT_EQ(Parsed({u"<a><b></x>t</y>u<z>"}), "{a:{b:}t}u{z:}");
}

TEST(HTMLDoc, EmptyElementsAreNeverOpened) {
  EXPECT_EQ(Parsed({u"<BR><br/><IMG src=a.png><!-- c --><!DOCTYPE html><hr><Meta x>t<x>"}),
            "{BR/:}{br/:}{IMG/:}{!DOCTYPE html/:}{hr/:}{Meta/:}t{x:}");
}

TEST(HTMLDoc, CommentsNeedAtLeastOneCharacterAndMaySpanCalls) {
  EXPECT_EQ(Parsed({u"<!---->x-->y<z>"}), "y{z:}");
  EXPECT_EQ(Parsed({u"<!-- one", u"two --> t", u"<x>"}), " t{x:}");
  EXPECT_EQ(Parsed({u"<!-->t<x>"}), "{!--/:}t{x:}");
}

TEST(HTMLDoc, TextInsideAnUnfinishedTagBecomesText) {
  EXPECT_EQ(Parsed({u"<a b<c>"}), "a b{c:}");
  EXPECT_EQ(Parsed({u"<><x>"}), "{x:}");
}

TEST(HTMLDoc, SyntaxErrorLeavesTheDocumentUsable) {
  THTMLDoc doc;
  try {
    doc.Parse(u"a>b");
    FAIL();
  } catch (const EHTMLDocError& e) {
    EXPECT_EQ(e.Message(), "Syntax error \">\". Try to Resume.");
    EXPECT_STREQ(e.ClassName(), "EHTMLDocError");
  }
  doc.Parse(u"<x>y</x><z>");
  EXPECT_EQ(Dump(doc), "a{x:y}{z:}");
}

TEST(HTMLDoc, MoreEndTagsThanOpenElementsStopTheDocument) {
  THTMLDoc doc;
  doc.Parse(u"</x>");
  for (const char16_t* more : {u"</y>", u"a<", u"<b>"}) {
    try {
      doc.Parse(more);
      ADD_FAILURE() << "no error";
    } catch (const EHTMLDocError& e) {
      EXPECT_EQ(e.Message(), "Stack Empty Error. Stop.");
    }
  }
}

TEST(HTMLDoc, EmptyAttributeNameLeavesTheTagTextInPlace) {
  THTMLDoc doc;
  try {
    doc.Parse(u"<a =x>");
    FAIL();
  } catch (const ETablesError& e) {
    EXPECT_EQ(e.Message(), "Invalid Key.");
  }
  doc.Parse(u"<b>");  // still inside the tag: its text becomes a text run
  EXPECT_EQ(Dump(doc), "a =x{b:}");
}

TEST(HTMLDoc, FullBufferShowsTheMessageOncePerElement) {
  DialogRecorder dialogs;
  THTMLDoc doc;
  doc.Parse(WideString(8192, u'a'));
  EXPECT_TRUE(dialogs.Texts.empty());
  // A file is parsed in blocks: the element that overflows is reported once, whatever
  // the number of blocks it goes on for.
  for (int block = 0; block < 100; ++block) doc.Parse(WideString(128, u'b'));
  ASSERT_EQ(dialogs.Texts.size(), 1u);
  EXPECT_EQ(dialogs.Texts[0], "バッファ容量不足です。");
  EXPECT_EQ(dialogs.Types[0], mtConfirmation);
  EXPECT_EQ(dialogs.Buttons[0], mbOKOnly);
  doc.Parse(u"<x>");
  EXPECT_EQ(dialogs.Texts.size(), 1u);
  EXPECT_EQ(Dump(doc), std::string(8192, 'a') + "{x:}");
  // The next element that overflows is reported again: a tag this time.
  doc.Parse(u"<" + WideString(9000, u't'));
  doc.Parse(u"tt>");
  EXPECT_EQ(dialogs.Texts.size(), 2u);
}

TEST(HTMLDoc, ElementsPastTheTableCapacityAreParsedButUnreachable) {
  THTMLDoc doc;
  WideString many;
  for (int i = 0; i < 4999; ++i) many += u"<br>";
  doc.Parse(many);
  EXPECT_EQ(doc.InfoTable()->Count(), 5000);
  doc.Parse(u"<x>inner<y>deep</y></x>t<z>");
  const WideString& root = doc.Root()->Content.Info;
  EXPECT_EQ(root.substr(root.size() - 3), WideString(u"\xFFFF" u"t\xFFFF"));
  // Everything inside the unlisted element stayed inside it.
  EXPECT_EQ(Dump(doc).substr(4999 * 6), "{?}t{?}");
  // They still open and close, and their tags are still checked.
  doc.Parse(u"z</z>after<br>");
  EXPECT_EQ(Dump(doc).substr(4999 * 6), "{?}t{?}after{?}");
  EXPECT_THROW(doc.Parse(u"<p =1>"), ETablesError);
  EXPECT_EQ(doc.UnlistedCount(), 4u);
  EXPECT_EQ(doc.InfoTable()->Count(), 5000);
}

TEST(HTMLTag, AttributesFollowTheQuotingRules) {
  THTMLTag a(u"A href=\"x y\" name=top");
  EXPECT_EQ(a.TagName, "A");
  EXPECT_EQ(Attr(a, "href"), u"x y");
  EXPECT_EQ(Attr(a, "name"), u"top");
  EXPECT_EQ(Attr(THTMLTag(u"A HREF=x href=y"), "href"), u"x");
  EXPECT_EQ(Attr(THTMLTag(u"A href=\" x\""), "href"), u"x");
  EXPECT_EQ(Attr(THTMLTag(u"A href='it\"s'"), "href"), u"it\"s");
  EXPECT_EQ(Attr(THTMLTag(u"A href="), "href"), u"");
  EXPECT_EQ(Attr(THTMLTag(u"A href=\"abc"), "href"), u"<none>");
  // An empty quoted value is an empty value, and what follows it parses as usual.
  THTMLTag empty(u"knobject type=img src=\"\" width=48 pos_x='' pos_y=6 alpha=255/");
  EXPECT_EQ(Attr(empty, "src"), u"");
  EXPECT_EQ(Attr(empty, "width"), u"48");
  EXPECT_EQ(Attr(empty, "pos_x"), u"");
  EXPECT_EQ(Attr(empty, "pos_y"), u"6");
  EXPECT_EQ(Attr(empty, "alpha"), u"255");
  EXPECT_TRUE(empty.IsEmpty);
  EXPECT_EQ(Attr(THTMLTag(u"A name"), "name"), u"");
  THTMLTag b(u"A name  href = x\tselected");
  EXPECT_EQ(Attr(b, "name"), u"");
  EXPECT_EQ(Attr(b, "href"), u"x");
  EXPECT_EQ(Attr(b, "selected"), u"");
  THTMLTag c(u"P CLASS=Big ＣＬＡＳＳ=1");
  EXPECT_EQ(Attr(c, "class"), u"Big");
  EXPECT_EQ(Attr(c, "ＣＬＡＳＳ"), u"1");
}

TEST(HTMLTag, TrailingSlashMakesAnEmptyElement) {
  THTMLTag a(u"a href=x/");
  EXPECT_TRUE(a.IsEmpty);
  EXPECT_EQ(Attr(a, "href"), u"x");
  THTMLTag img(u"img src=a.png /");
  EXPECT_TRUE(img.IsEmpty);
  EXPECT_EQ(Attr(img, "src"), u"a.png");
  EXPECT_EQ(img.Attributes.UsedCount(), 1);
  THTMLTag q(u"?xml version=1.0?");
  EXPECT_TRUE(q.IsEmpty);
  EXPECT_EQ(q.TagName, "?xml");
  EXPECT_FALSE(THTMLTag(u"li").IsEmpty);
}

TEST(HTMLTag, LongTokensStopTheScan) {
  const WideString v(120, u'v');
  THTMLTag plain(u"a href=" + v + u" name=n");
  EXPECT_EQ(Attr(plain, "href"), v.substr(0, 99));
  EXPECT_EQ(Attr(plain, "name"), u"<none>");
  EXPECT_EQ(Attr(THTMLTag(u"a href=\"" + v + u"\""), "href"), u"<none>");
  EXPECT_EQ(THTMLTag(WideString(150, u'n')).TagName, std::string(99, 'n'));
}

TEST(HTMLTag, EmptyTextIsRefused) {
  try {
    THTMLTag t(u"");
    FAIL();
  } catch (const EHTMLTagError& e) {
    EXPECT_EQ(e.Message(), "TagText is nil.");
  }
}

TEST(HTMLTag, GetAttributesBindsWhatItCanAndReportsTheRest) {
  THTMLTag t(u"obj x=10 y=$20 w=abc name=背景 h=");
  int32_t x = -1, y = -1, w = 7, missing = 5, h = 3;
  AnsiString name, other = "keep";
  try {
    t.GetAttributes({&x, &y, &w, &name, &missing, &other, &h, &x},
                    {"x", "y", "w", "name", "none", "nothing", "h", "x"}, {0, 0, 0, 1, 0, 1, 0, 9});
    FAIL();
  } catch (const EHTMLTagError& e) {
    EXPECT_EQ(e.Message(), "\r\nw=abc\r\nh=");
  }
  EXPECT_EQ(x, 10);
  EXPECT_EQ(y, 32);
  EXPECT_EQ(w, 7);
  EXPECT_EQ(name, "背景");
  EXPECT_EQ(missing, 5);
  EXPECT_EQ(other, "keep");
  try {
    t.GetAttributes({&x}, {"x", "y"}, {0});
    FAIL();
  } catch (const EHTMLTagError& e) {
    EXPECT_EQ(e.Message(), "Length of PointerList, AttrNameList and TypeList must be equal.");
  }
}

TEST(HTMLDoc, FinishedChildrenAreTakenAndTheirPlacesHandedOutAgain) {
  THTMLDoc doc(THTMLDoc::kWideCapacity);
  doc.Parse(u"<body><p>one</p><p>two<b>bold</b></p><ul><li>open");
  THTMLTag* body = nullptr;
  ForEachChild(*doc.Root(), [&](const THTMLTag& t) { body = const_cast<THTMLTag*>(&t); });
  ASSERT_TRUE(body);
  EXPECT_EQ(doc.InfoTable()->Live(), 6);  // body, two p, b, ul, li
  std::vector<std::string> taken;
  doc.TakeFinishedChildren(*body, [&](const THTMLTag& t) { taken.push_back(t.TagName); });
  EXPECT_EQ(taken, (std::vector<std::string>{"p", "p"}));  // not the ul still being read
  EXPECT_EQ(doc.InfoTable()->Live(), 3);
  // The rest of the document reads on as before, in the places given back.
  doc.Parse(u"</li></ul><p>three</p></body>");
  EXPECT_EQ(doc.InfoTable()->Count(), 7);  // the high-water mark did not move
  taken.clear();
  doc.TakeFinishedChildren(*body, [&](const THTMLTag& t) { taken.push_back(t.TagName); });
  EXPECT_EQ(taken, (std::vector<std::string>{"ul", "p"}));
  EXPECT_EQ(doc.InfoTable()->Live(), 1);
  EXPECT_TRUE(body->Content.Text.empty());
}

class HTMLDocFile : public testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/sorvane-htmldoc-XXXXXX";
    const int fd = ::mkstemp(tmpl);
    ::close(fd);
    FPath = tmpl;
  }
  void TearDown() override { ::unlink(FPath.c_str()); }
  void Write(const std::string& bytes) { std::ofstream(FPath, std::ios::binary) << bytes; }
  std::string FPath;
};

TEST_F(HTMLDocFile, CharacterStraddlingTwoBlocksDecodesWhole) {
  // "<p>" + filler puts the first byte of 日 (93 FA) at offset 127.
  std::string bytes = "<p>" + std::string(124, 'x') + "\x93\xFA" + std::string(200, 'y') + "</p><e>";
  Write(bytes);
  THTMLDoc doc;
  doc.LoadFromFile(FPath);
  EXPECT_EQ(Dump(doc), "{p:" + std::string(124, 'x') + "日" + std::string(200, 'y') + "}{e:}");
}

TEST_F(HTMLDocFile, AUtf8FileIsReadAsUtf8WithItsCharactersAcrossBlocks) {
  // With a byte order mark: "ж" (D0 B6) at offsets 127 and 128 of the file.
  Write("\xEF\xBB\xBF<p>" + std::string(121, 'x') + "\xD0\xB6" + std::string(200, 'y') + "</p><e>");
  THTMLDoc doc;
  doc.LoadFromFile(FPath);
  EXPECT_EQ(doc.Encoding(), TStoryEncoding::Utf8);
  EXPECT_EQ(Dump(doc), "{p:" + std::string(121, 'x') + "ж" + std::string(200, 'y') + "}{e:}");
  // Declared in the head, and a byte that is not UTF-8 shown as U+FFFD.
  Write("<head><meta charset=utf-8></head><kn a=\"Ελλάδα\">\xFF</kn>");
  THTMLDoc declared;
  declared.LoadFromFile(FPath);
  EXPECT_EQ(declared.Encoding(), TStoryEncoding::Utf8);
  const THTMLTag* kn = nullptr;
  ForEachChild(*declared.Root(), [&](const THTMLTag& t) {
    if (t.TagName == "kn") kn = &t;
  });
  ASSERT_TRUE(kn);
  WideString value;
  EXPECT_TRUE(kn->Attributes.TryGetStr("a", value));
  EXPECT_EQ(value, u"Ελλάδα");
  EXPECT_EQ(kn->Content.Text, u"\uFFFD");
}

TEST_F(HTMLDocFile, ZeroByteEndsItsBlock) {
  std::string first("<a>kept\0lost", 12);
  first.resize(128, 'z');
  Write(first + "</a>after<b>");
  THTMLDoc doc;
  doc.LoadFromFile(FPath);
  EXPECT_EQ(Dump(doc), "{a:kept}after{b:}");
}

TEST_F(HTMLDocFile, CommentEndSplitByABlockBoundaryStillEndsTheComment) {
  std::string bytes = "<a><!--" + std::string(119, 'c') + "-->kept</a><b>";  // "--" ends block 1
  ASSERT_EQ(bytes.substr(126, 3), "-->");
  Write(bytes);
  THTMLDoc doc;
  doc.LoadFromFile(FPath);
  EXPECT_EQ(Dump(doc), "{a:kept}{b:}");
}

// Files read as runs of blocks give what reading them block by block gives: random files
// with zero bytes, broken and split double-byte characters, text runs past the buffer (the
// rest of a block is dropped there) and stray '>'. Comments are left out: only they see
// the terminating zero that Parse adds to each block.
TEST_F(HTMLDocFile, RunsOfBlocksParseAsBlockByBlock) {
  std::mt19937 rng(17);
  const char* pieces[] = {"<p>", "</p>", "<a href=x>", "\x93\xFA", "\x82", "\xA0\xFF", "\r\n", ">"};
  for (int round = 0; round < 60; ++round) {
    std::string bytes;
    while (bytes.size() < 20000 + rng() % 20000) {
      if (rng() % 8 == 0) bytes += std::string(rng() % 9000, rng() % 2 ? 'a' : char(0x88));
      else if (rng() % 9 == 0) bytes += '\0';
      else bytes += pieces[rng() % 8];
    }
    Write(bytes);
    DialogRecorder loadDialogs;
    THTMLDoc loaded;
    std::string loadError;
    try {
      loaded.LoadFromFile(FPath);
    } catch (const Exception& e) {
      loadError = e.Message();
    }
    const size_t loadDialogCount = loadDialogs.Texts.size();

    DialogRecorder blockDialogs;
    THTMLDoc byBlock;
    std::string blockError;
    try {
      TCP932Decoder decoder;
      for (size_t pos = 0;; pos += 128) {
        const std::string_view block = std::string_view(bytes).substr(std::min(pos, bytes.size()), 128);
        const size_t used = std::min(block.find('\0'), block.size());
        WideString text;
        decoder.Decode(block.substr(0, used), block.size() < 128 || used < block.size(), text);
        byBlock.Parse(text);
        if (block.size() < 128) break;
      }
      byBlock.Parse(u"");
    } catch (const Exception& e) {
      blockError = e.Message();
    }
    ASSERT_EQ(Dump(loaded), Dump(byBlock)) << "round " << round;
    ASSERT_EQ(loadError, blockError);
    ASSERT_EQ(loadDialogCount, blockDialogs.Texts.size());
  }
}

TEST_F(HTMLDocFile, TextFarPastTheBufferAsksOnce) {
  // 8192 characters fill the buffer in block 64; from there every block drops the rest of
  // itself, and the element's overflow is said once.
  Write("<p>" + std::string((1 << 20) - 3, 'a'));
  DialogRecorder dialogs;
  THTMLDoc doc;
  doc.LoadFromFile(FPath);
  EXPECT_EQ(dialogs.Texts.size(), 1u);
  doc.Parse(u"</p>");
  EXPECT_EQ(Dump(doc), "{p:" + std::string(8192, 'a') + "}");
}

TEST_F(HTMLDocFile, ExactMultipleOfTheBlockSizeAndMissingFiles) {
  std::string bytes = "<a>" + std::string(120, 'q') + "</a><b>";
  bytes.resize(256, ' ');
  Write(bytes);
  THTMLDoc doc;
  doc.LoadFromFile(FPath);
  EXPECT_EQ(Dump(doc), "{a:" + std::string(120, 'q') + "}{b:}");
  THTMLDoc other;
  EXPECT_THROW(other.LoadFromFile(FPath + ".missing"), EFOpenError);
}
}  // namespace
