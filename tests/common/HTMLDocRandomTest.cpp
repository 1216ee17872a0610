// Random and mutated markup fed in random-sized pieces: the parser must end every call
// with a result or one of its own errors, and leave a tree whose every string is sound.
#include <gtest/gtest.h>
#include <unistd.h>

#include <fstream>
#include <random>

#include "HTMLDocTestUtil.h"

namespace {

const char16_t* const kPieces[] = {
    u"<", u">", u"</", u"/>", u"<!--", u"-->", u"--", u"<!DOCTYPE html>", u"<BODY>", u"<P>", u"</P>",
    u"<UL>", u"<LI>", u"<A href=#x>", u"</A>", u"<A name=", u"\"", u"'", u"=", u" ", u"\t", u"\r\n",
    u"<CODE>", u"SET #A,1", u"</CODE>", u"<br/>", u"<IMG src=a.png>", u"日本語", u"ｱｲｳ", u"\a",
    u"<?xml ?>", u"<a =x>", u"<>", u"\U0001F600", u"abc",
};

WideString RandomMarkup(std::mt19937& rng, size_t pieces) {
  WideString s;
  std::uniform_int_distribution<size_t> pick(0, std::size(kPieces) + 3);
  for (size_t i = 0; i < pieces; ++i) {
    const size_t k = pick(rng);
    if (k < std::size(kPieces)) {
      s += kPieces[k];
    } else if (k == std::size(kPieces)) {
      s += char16_t(rng() & 0xFFFF);  // anything, zeros and surrogates included
    } else if (k == std::size(kPieces) + 1) {
      s += WideString(rng() % 300, char16_t(u'a' + rng() % 26));
    } else {
      s += char16_t(rng() % 64);
    }
  }
  return s;
}

// Walks the whole tree; every element is visited once, every string is consistent.
void CheckTree(const THTMLDoc& doc, const THTMLTag* tag, int& visited) {
  ++visited;
  ASSERT_LE(visited, 5000);
  ASSERT_EQ(tag->Content.Text.size(), tag->Content.Info.size());
  for (size_t i = 0; i < tag->Content.Text.size(); ++i) {
    if (tag->Content.Text[i] != StyleMarker) continue;
    if (auto* child = static_cast<const THTMLTag*>(doc.InfoTable()->Get(tag->Content.Info[i]))) {
      ASSERT_LE(child->TagName.size(), 400u);
      CheckTree(doc, child, visited);
    }
  }
}

void Feed(THTMLDoc& doc, std::u16string_view text, std::mt19937& rng) {
  size_t pos = 0;
  while (pos < text.size()) {
    const size_t n = std::min<size_t>(text.size() - pos, 1 + rng() % 200);
    try {
      doc.Parse(text.substr(pos, n));
    } catch (const Exception&) {
      // Every failure is one of the parser's own; the caller may go on feeding.
    }
    pos += n;
  }
}

TEST(HTMLDocRandom, RandomMarkupInRandomPieces) {
  DialogRecorder dialogs;
  std::mt19937 rng(20261208);
  for (int round = 0; round < 400; ++round) {
    THTMLDoc doc;
    const WideString text = RandomMarkup(rng, 50 + rng() % 400);
    Feed(doc, text, rng);
    int visited = 0;
    CheckTree(doc, doc.Root(), visited);
  }
}

TEST(HTMLDocRandom, MutatedScriptBytesThroughTheCodePage) {
  DialogRecorder dialogs;
  std::mt19937 rng(7);
  const std::string script = WideToCP932(
      u"<HTML><BODY><A name=start></A><P>こんにちは<BR>世界</P>"
      u"<UL><LI><A href=#y>はい</A></LI><LI><A href=#n>いいえ</A></LI></UL>"
      u"<!-- note --><CODE>SET #A,$10</CODE></BODY></HTML>");
  for (int round = 0; round < 2000; ++round) {
    std::string bytes = script;
    const int edits = 1 + int(rng() % 8);
    for (int e = 0; e < edits; ++e) {
      const size_t at = rng() % bytes.size();
      switch (rng() % 4) {
        case 0: bytes[at] = char(rng()); break;
        case 1: bytes.insert(at, 1, char(rng())); break;
        case 2: bytes.erase(at, 1 + rng() % 5); break;
        default: bytes.insert(at, bytes.substr(rng() % bytes.size(), rng() % 40)); break;
      }
      if (bytes.empty()) bytes = "<";
    }
    THTMLDoc doc;
    Feed(doc, CP932ToWide(bytes), rng);
    int visited = 0;
    CheckTree(doc, doc.Root(), visited);
  }
}

TEST(HTMLDocRandom, HugeInputsStayBounded) {
  DialogRecorder dialogs;
  std::mt19937 rng(99);
  THTMLDoc doc;
  // Elements far beyond the table, text far beyond the buffer, a long comment.
  WideString text;
  for (int i = 0; i < 18000; ++i) text += (i % 3 == 0) ? u"<e>" : (i % 3 == 1) ? u"x" : u"</e>";
  text += WideString(20000, u'y') + u"<!--" + WideString(100000, u'-') + u"-->";
  Feed(doc, text, rng);
  EXPECT_EQ(doc.InfoTable()->Count(), 5000);
  EXPECT_FALSE(dialogs.Texts.empty());
  int visited = 0;
  CheckTree(doc, doc.Root(), visited);
}

TEST(HTMLDocRandom, RandomFilesThroughLoadFromFile) {
  DialogRecorder dialogs;
  std::mt19937 rng(3);
  char tmpl[] = "/tmp/sorvane-random-XXXXXX";
  ::close(::mkstemp(tmpl));
  for (int round = 0; round < 200; ++round) {
    std::string bytes(rng() % 1000, '\0');
    for (char& c : bytes) c = char(rng() % 4 == 0 ? "<>/=\"!-"[rng() % 7] : rng());
    std::ofstream(tmpl, std::ios::binary) << bytes;
    THTMLDoc doc;
    try {
      doc.LoadFromFile(tmpl);
    } catch (const Exception&) {
    }
    int visited = 0;
    CheckTree(doc, doc.Root(), visited);
  }
  ::unlink(tmpl);
}
}  // namespace
