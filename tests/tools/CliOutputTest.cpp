// What sorvane-cli prints of a story's text can never drive a terminal, and the command
// lines it prints read back, through a shell, as the words they were made of.
#include "tools/CliOutput.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "../TestSupport.h"
#include "platform/CodePage.h"

namespace {

const std::string kControls = std::string("a\x1B[2Jb\x07") + "\x7F" + "\xC2\x9B" + "31m\\\n";

TEST(CliOutput, ControlCharactersAreEscapedInTextAndJson) {
  EXPECT_EQ(CliEscape(kControls), "a\\x1B[2Jb\\x07\\x7F\\x9B31m\\\\\\x0A");
  EXPECT_EQ(CliJson(kControls), "\"a\\u001b[2Jb\\u0007\\u007f\\u009b31m\\\\\\u000a\"");
  // Other characters stay as they are, Japanese text too.
  EXPECT_EQ(CliEscape(WideToUtf8(u"é漢字ー")), WideToUtf8(u"é漢字ー"));
  EXPECT_EQ(CliJson(WideToUtf8(u"\"漢字\"")), "\"\\\"" + WideToUtf8(u"漢字") + "\\\"\"");
}

TEST(CliOutput, ShellWordsReadBackThroughAShell) {
  const std::vector<std::string> words{"/tmp/story-1.2/x",     "a b;touch PWNED;$(id)", "it's \"here\"", "", "`id`",
                                       "new\nline",           kControls,               "*?[a]~ &|<>#", "$HOME",
                                       WideToUtf8(u"物語 フォルダ")};
  TempDir dir;
  std::string line = "printf '%s\\0'";
  for (const std::string& w : words) {
    const std::string quoted = CliShellWord(w);
    for (const char c : quoted) EXPECT_FALSE(c == '\n' || c == '\x1B' || c == '\x7F') << quoted;
    line += " " + quoted;
  }
  const RunResult r = RunProgram({"/bin/bash", "-c", line}, dir.Path());
  ASSERT_EQ(r.Status, 0) << r.Err;
  std::vector<std::string> back;
  for (size_t start = 0, end; (end = r.Out.find('\0', start)) != std::string::npos; start = end + 1)
    back.push_back(r.Out.substr(start, end - start));
  EXPECT_EQ(back, words);
  EXPECT_FALSE(std::filesystem::exists(dir / "PWNED"));
  EXPECT_EQ(CliShellWord("/plain/path_1.svx"), "/plain/path_1.svx");
}

}  // namespace
