// `sorvane-cli translate-template` through the real program: a template written, brought up
// to date after the story changed, and what lint then says of it.
#include <gtest/gtest.h>

#include <filesystem>

#include "../StoryFolder.h"
#include "../TestSupport.h"
#include "platform/CodePage.h"

namespace {

namespace fs = std::filesystem;

struct Story {
  Story() {
    fs::create_directory(Dir / "knv");
    WriteFile(Dir / "knv/background.knv", "<kn><scene index=blank></scene></kn>");
  }
  void Script(const std::string& body) {
    WriteFile(Dir / "start.svx", Utf8ToCP932("<BODY>\n<CODE>SETLAYERVISIBLE 0,1,0,0</CODE>\n" + body + "</BODY>\n"));
  }
  RunResult Cli(std::vector<std::string> args) const {
    args.insert(args.begin(), SORVANE_CLI);
    return RunProgram(args, Elsewhere.Path());
  }
  RunResult Template() const { return Cli({"translate-template", Dir.Path(), "en"}); }
  std::string File() const { return ReadFile(Dir / "tl/en.txt"); }
  TempDir Dir, Elsewhere;
};

// Fills every empty translated line of the file with "tr" and the original before it.
std::string Translate(std::string text) {
  std::string out, original;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    const std::string line = text.substr(start, end - start);
    start = end + 1;
    if (line.rfind("< ", 0) == 0) original = line.substr(2);
    out += line == ">" ? "> tr " + original : line;
    out += '\n';
  }
  return out;
}

TEST(TranslateTemplate, WritesEveryPageAndKeepsTheTranslationAsTheStoryChanges) {
  Story s;
  s.Script("<P>一頁目です。</P>\n<P>二頁目です。</P>\n<P>三頁目です。</P>\n");
  RunResult r = s.Template();
  ASSERT_EQ(r.Status, 0) << r.Err;
  EXPECT_EQ(r.Out, "tl/en.txt: 3 pages: 0 kept, 3 new, 0 stale, 0 unused\n");
  const std::string first = s.File();
  EXPECT_NE(first.find("# start.svx:3\n["), std::string::npos) << first;
  EXPECT_LT(first.find("< 一頁目です。\n>\n"), first.find("< 二頁目です。\n>\n"));
  WriteFile(s.Dir / "tl/en.txt", Translate(first));

  // A page added between two others: every translation stays with its page.
  s.Script("<P>一頁目です。</P>\n<P>新しい頁です。</P>\n<P>二頁目です。</P>\n<P>三頁目です。</P>\n");
  r = s.Template();
  EXPECT_EQ(r.Out, "tl/en.txt: 4 pages: 3 kept, 1 new, 0 stale, 0 unused\n");
  std::string now = s.File();
  for (const char* kept : {"> tr 一頁目です。", "> tr 二頁目です。", "> tr 三頁目です。"})
    EXPECT_NE(now.find(kept), std::string::npos) << kept;
  EXPECT_NE(now.find("< 新しい頁です。\n>\n"), std::string::npos);
  EXPECT_EQ(now.find("] stale"), std::string::npos);
  // Lint finds the new page untranslated, at its line in the script.
  r = s.Cli({"lint", s.Dir.Path()});
  EXPECT_EQ(r.Out, "start.svx:4: warning: this page has no translation in tl/en.txt [translation-missing]\n");

  // A typo fixed in a page: its translation stays and is marked stale, and lint says where.
  s.Script("<P>一頁目です。</P>\n<P>新しい頁です。</P>\n<P>二ページ目です。</P>\n<P>三頁目です。</P>\n");
  r = s.Template();
  EXPECT_EQ(r.Out, "tl/en.txt: 4 pages: 3 kept, 0 new, 1 stale, 0 unused\n");
  now = s.File();
  const size_t stale = now.find("] stale\n");
  ASSERT_NE(stale, std::string::npos) << now;
  EXPECT_EQ(now.find("< 二ページ目です。\n> tr 二頁目です。\n", stale), now.find("< 二ページ目です。"));
  const int line = int(std::count(now.begin(), now.begin() + ptrdiff_t(stale), '\n')) + 1;
  r = s.Cli({"lint", s.Dir.Path()});
  EXPECT_NE(r.Out.find("tl/en.txt:" + std::to_string(line) +
                       ": warning: marked stale: check the translation, then take the mark away [translation-stale]"),
            std::string::npos)
      << r.Out;

  // The story read in the translation shows it; the page without one shows its own text.
  r = s.Cli({"run", s.Dir.Path(), "--language", "en", "--backlog", "--frames", "60", "--click", "10", "--click", "20",
             "--click", "30", "--click", "40", "--click", "50"});
  EXPECT_NE(r.Out.find("backlog\t\ttr 一頁目です。\nbacklog\t\t新しい頁です。\nbacklog\t\ttr 二頁目です。\n"),
            std::string::npos)
      << r.Out;

  // A save made in the story's own language loads in the translation, its page told in it.
  const TempDir data;
  r = s.Cli({"run", s.Dir.Path(), "--data-dir", data.Path(), "--frames", "15", "--save", "14:one"});
  ASSERT_EQ(r.Status, 0) << r.Err;
  r = s.Cli({"run", s.Dir.Path(), "--data-dir", data.Path(), "--load", "one", "--language", "en", "--frames", "16",
             "--lines", "15"});
  EXPECT_EQ(r.Out, "F15 line 0 |tr 一頁目です。|\n") << r.Err;
}

TEST(TranslateTemplate, RefusesWhatItCannotDoAndWritesNowhereElse) {
  Story s;
  s.Script("<P>一</P>\n");
  for (const char* bad : {"../en", "", "e n"}) {
    const RunResult r = s.Cli({"translate-template", s.Dir.Path(), bad});
    EXPECT_EQ(r.Status, 1) << bad;
    EXPECT_NE(r.Err.find("a language is named by letters"), std::string::npos) << r.Err;
  }
  EXPECT_FALSE(fs::exists(s.Dir / "tl"));
  EXPECT_EQ(s.Cli({"translate-template", s.Elsewhere.Path(), "en"}).Status, 1);  // no story there
  EXPECT_EQ(s.Cli({"translate-template", s.Dir.Path()}).Status, 2);              // usage
  // tl as a link out of the story is not written through.
  TempDir outside;
  fs::create_directory_symlink(outside.Path(), s.Dir / "tl");
  const RunResult r = s.Template();
  EXPECT_EQ(r.Status, 1);
  EXPECT_TRUE(fs::is_empty(outside.Path()));
}

}  // namespace
