#include "player/Translation.h"

#include <gtest/gtest.h>

#include "../TestSupport.h"
#include "platform/CodePage.h"
#include "player/MainScriptLoader.h"
#include "player/Place.h"

namespace {

// A compiled script from UTF-8 markup, stored as the story would store it.
struct Script {
  explicit Script(const std::string& body) {
    WriteFile(Dir / "start.svx", Utf8ToCP932("<BODY>" + body + "</BODY>"));
    Loader.Load(Dir / "start.svx");
  }
  TempDir Dir;
  TMainScriptLoader Loader;
};

const char* const kStory =
    "<CODE>SPEAKER 春香</CODE><P>ようこそ。</P>"
    "<CODE>CLEAR</CODE><CODE>TEXT 一行目</CODE><CODE>BR</CODE><CODE>TEXT 二行</CODE><CODE>TEXT 目</CODE><CODE>WAIT</CODE>"
    "<UL><LI><A href=#a>はい</A></LI><LI><A href=#b>いいえ</A></LI></UL><A name=a></A><A name=b></A>";

std::string Utf8(const std::vector<WideString>& lines) {
  std::string s;
  for (const WideString& l : lines) s += (s.empty() ? "" : "|") + WideToUtf8(l);
  return s;
}

TEST(Translation, PagesAreTheTextsBetweenWaitsWithTheirSpeakers) {
  Script s(kStory);
  const std::vector<TStoryPage> pages = ListPages(s.Loader);
  ASSERT_EQ(pages.size(), 3u);
  EXPECT_EQ(Utf8(pages[0].Lines), "ようこそ。");
  EXPECT_EQ(pages[0].Speaker, u"春香");
  EXPECT_EQ(pages[0].Key, PageKey(s.Loader, pages[0].Wait));
  EXPECT_EQ(Utf8(pages[1].Lines), "一行目|二行目");
  EXPECT_EQ(pages[1].SpeakerCommand, -1);
  EXPECT_TRUE(pages[2].Choice);
  EXPECT_EQ(Utf8(pages[2].Lines), "はい|いいえ");
}

TEST(Translation, TheFileReadsBackAsItWasWrittenAndSaysWhatItDoesNotUnderstand) {
  const std::string text =
      "\xEF\xBB\xBF# a comment\r\nlanguage: English\r\n\r\n[00000000000000ff] stale\r\nspeaker< 春香\r\nspeaker> "
      "Haruka\r\n< ようこそ。\r\n> Welcome.\r\n>\r\n\r\n[0123] \r\n< lost\r\n[00000000000000aa] unused\r\nwhat\r\n";
  TTranslation t;
  std::vector<std::string> notes;
  t.Parse(text, notes);
  EXPECT_EQ(t.Language(), "English");
  EXPECT_EQ(notes, (std::vector<std::string>{"11: a page's key is 16 hexadecimal digits in brackets",
                                              "12: a line outside any page's entry",
                                              "14: a line of an entry begins with '<', '>', \"speaker<\" or \"speaker>\""}));
  ASSERT_EQ(t.Entries().size(), 2u);
  const TTranslationEntry* e = t.Find(0xff);
  ASSERT_TRUE(e);
  EXPECT_TRUE(e->Stale);
  EXPECT_EQ(e->Line, 4);
  EXPECT_EQ(e->Speaker, u"Haruka");
  EXPECT_EQ(Utf8(e->Text), "Welcome.|");
  EXPECT_TRUE(e->Translated());
  EXPECT_TRUE(t.Find(0xaa)->Unused);
  EXPECT_FALSE(t.Find(0xaa)->Translated());
  // Written out and read again, nothing changes; control characters never get in.
  TTranslation again;
  notes.clear();
  again.Parse(t.Format(), notes);
  EXPECT_TRUE(notes.empty());
  EXPECT_EQ(again.Format(), t.Format());
  TTranslation controls;
  controls.Parse("[0000000000000001]\n> a\x1b[2Jb\n", notes);
  EXPECT_EQ(controls.Entries()[0].Text[0], u"a [2Jb");
}

TTranslation Parsed(const std::string& text) {
  TTranslation t;
  std::vector<std::string> notes;
  t.Parse(text, notes);
  return t;
}

std::string Key(uint64_t key) {
  char hex[17];
  std::snprintf(hex, sizeof hex, "%016llx", static_cast<unsigned long long>(key));
  return hex;
}

TEST(Translation, APageShowsItsTranslationThroughItsFirstText) {
  Script s(kStory);
  const std::vector<TStoryPage> pages = ListPages(s.Loader);
  const TTranslation t = Parsed("[" + Key(pages[0].Key) + "]\nspeaker> Haruka\n> Welcome.\n> Twice.\n[" +
                                Key(pages[1].Key) + "]\n> Line one, line two.\n[" + Key(pages[2].Key) +
                                "]\n> Yes\n");  // a choice of two given one line
  TTranslatedScript script;
  script.Build(s.Loader, t);
  ASSERT_TRUE(script.Lines(pages[0].SpeakerCommand));
  EXPECT_EQ(Utf8(*script.Lines(pages[0].SpeakerCommand)), "Haruka");
  EXPECT_EQ(Utf8(*script.Lines(pages[0].FirstText)), "Welcome.|Twice.");
  // The other page's first TEXT shows all of it; its BR and other TEXT show nothing.
  EXPECT_EQ(Utf8(*script.Lines(pages[1].FirstText)), "Line one, line two.");
  for (int32_t i = pages[1].FirstText + 1; i < pages[1].Wait; ++i) EXPECT_TRUE(script.Lines(i)->empty()) << i;
  // The choice keeps its own lines, and so does every other command.
  for (int32_t i = pages[1].Wait; i <= s.Loader.LastIndex(); ++i) EXPECT_FALSE(script.Lines(i)) << i;
  EXPECT_FALSE(script.Lines(-1));
  EXPECT_FALSE(script.Lines(s.Loader.LastIndex() + 1));
}

TEST(Translation, UpdatingKeepsEntriesAcrossPagesAddedAndMarksChangedOnesStale) {
  Script before("<P>一</P><P>二</P><P>三</P>");
  TTemplateCounts counts;
  TTranslation t = UpdateTranslation(ListPages(before.Loader), TTranslation(), counts);
  EXPECT_EQ(counts.Added, 3u);
  ASSERT_EQ(t.Entries().size(), 3u);
  for (TTranslationEntry& e : t.Entries()) e.Text = {u"tr " + e.Original[0]};
  t.Index();

  // A page inserted elsewhere: the others keep their entries, untouched.
  Script inserted("<P>一</P><P>新</P><P>二</P><P>三</P>");
  TTranslation u = UpdateTranslation(ListPages(inserted.Loader), t, counts);
  EXPECT_EQ(counts.Pages, 4u);
  EXPECT_EQ(counts.Added, 1u);
  EXPECT_EQ(counts.Stale, 0u);
  EXPECT_EQ(counts.Unused, 0u);
  std::string texts;
  for (const TTranslationEntry& e : u.Entries()) texts += Utf8(e.Text) + (e.Stale ? "*" : "") + ";";
  EXPECT_EQ(texts, "tr 一;;tr 二;tr 三;");
  // Before it is brought up to date, the file already shows the page before the new one.
  TTranslatedScript shown;
  shown.Build(inserted.Loader, t);
  const std::vector<TStoryPage> pages = ListPages(inserted.Loader);
  EXPECT_EQ(Utf8(*shown.Lines(pages[0].FirstText)), "tr 一");
  EXPECT_FALSE(shown.Lines(pages[1].FirstText));

  // A page's text fixed: its key changes with it, and the entry standing in its place is
  // carried over, marked stale, with the new original.
  Script fixed("<P>一</P><P>ニ</P><P>三</P>");
  u = UpdateTranslation(ListPages(fixed.Loader), t, counts);
  EXPECT_EQ(counts.Stale, 1u);
  EXPECT_EQ(counts.Added, 0u);
  ASSERT_EQ(u.Entries().size(), 3u);
  EXPECT_TRUE(u.Entries()[1].Stale);
  EXPECT_EQ(Utf8(u.Entries()[1].Original), "ニ");
  EXPECT_EQ(Utf8(u.Entries()[1].Text), "tr 二");
  EXPECT_TRUE(EntryStale(u.Entries()[1], ListPages(fixed.Loader)[1]));

  // A page taken out: its entry stays, at the end, as unused.
  Script removed("<P>一</P><P>三</P>");
  u = UpdateTranslation(ListPages(removed.Loader), t, counts);
  EXPECT_EQ(counts.Unused, 1u);
  ASSERT_EQ(u.Entries().size(), 3u);
  EXPECT_TRUE(u.Entries()[2].Unused);
  EXPECT_EQ(Utf8(u.Entries()[2].Text), "tr 二");
}

TEST(Translation, LanguagesAreNamesOfLettersDigitsAndDashes) {
  for (const char* ok : {"en", "pt-BR", "zh_Hant", "x1"}) EXPECT_TRUE(ValidLanguage(ok)) << ok;
  for (const std::string& bad : {std::string(), std::string("../en"), std::string("a/b"), std::string("en.txt"),
                                std::string("."), std::string("é"), std::string(33, 'a')})
    EXPECT_FALSE(ValidLanguage(bad)) << bad;
}

}  // namespace
