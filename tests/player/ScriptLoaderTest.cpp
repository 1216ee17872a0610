#include "player/MainScriptLoader.h"

#include <gtest/gtest.h>

#include "../TestSupport.h"
#include "platform/CodePage.h"

namespace {

struct RecordingView : ISCLDebugView {
  void AddRow(const AnsiString& op, const AnsiString& param) override { Rows.push_back(op + "|" + param); }
  void SelectRow(int index) override { Selected.push_back(index); }
  void SetVisible(bool) override {}
  std::vector<std::string> Rows;
  std::vector<int> Selected;
};

std::string Commands(const TScriptLoader& l) {
  std::string s;
  for (int32_t i = 0; i <= l.LastIndex(); ++i) s += l.CommandName(i) + " " + WideToUtf8(l.CommandParam(i)) + ";";
  return s;
}

TEST(ScriptLoader, CompilesTheChoiceExampleAndWalksIt) {
  TempDir dir;
  WriteFile(dir / "start.svx", WideToCP932(u"<HTML><BODY><A name=start></A><P>Hello</P>\r\n<UL><LI><A href=#y>Yes</A></LI>"
                                           u"<LI><A href=#n>No</A></LI></UL></BODY></HTML>"));
  auto view = std::make_unique<RecordingView>();
  RecordingView* v = view.get();
  TMainScriptLoader loader(std::move(view));
  loader.Load(dir / "start.svx");
  EXPECT_EQ(Commands(loader),
            "LABEL start;CLEAR ;TEXT Hello;WAIT ;CLEAR ;SELECT ;TEXT Yes;BR ;TEXT No;WAIT ;"
            "IF ==,#LASTSELECT,0,#y;IF ==,#LASTSELECT,1,#n;WAIT ;");
  ASSERT_EQ(v->Rows.size(), 13u);
  EXPECT_EQ(v->Rows[10], "IF|==,#LASTSELECT,0,#y");
  // Each command knows the line of the element it comes from; the closing WAIT has none.
  EXPECT_EQ(loader.CommandLine(1), 1);
  EXPECT_EQ(loader.CommandLine(4), 2);
  EXPECT_EQ(loader.CommandLine(11), 2);
  EXPECT_EQ(loader.CommandLine(12), 0);

  AnsiString name;
  WideString param;
  EXPECT_EQ(loader.Position(), 0);
  loader.GetCommand(name, param);
  EXPECT_EQ(name, "LABEL");
  EXPECT_EQ(param, u"start");
  EXPECT_FALSE(loader.Next());
  EXPECT_EQ(v->Selected, std::vector<int>{1});
  EXPECT_TRUE(loader.JumpTo("start"));
  EXPECT_EQ(loader.Position(), 0);
  EXPECT_FALSE(loader.JumpTo("nowhere"));
  EXPECT_EQ(loader.Position(), 0);
  while (!loader.Next()) {
  }
  EXPECT_EQ(loader.Position(), -1);
  EXPECT_TRUE(loader.Next());  // no way back from the end
  EXPECT_EQ(loader.Position(), -1);
  loader.GetCommand(name, param);
  EXPECT_EQ(name, "");
  EXPECT_EQ(param, u"");
}

TEST(ScriptLoader, ArraysGrowByAHundredLessOne) {
  TScriptLoader loader;
  std::vector<int32_t> capacities;
  for (int i = 0; i < 250; ++i) {
    const int32_t before = loader.Capacity();
    loader.AddCommand("WAIT", u"");
    if (loader.Capacity() != before) capacities.push_back(loader.Capacity());
  }
  EXPECT_EQ(capacities, (std::vector<int32_t>{99, 198, 297}));
  EXPECT_EQ(loader.LastIndex(), 249);
}

TEST(ScriptLoader, FirstDefinitionOfALabelWins) {
  TScriptLoader loader;
  loader.AddLabel("x");
  loader.AddCommand("WAIT", u"");
  loader.AddLabel("x");
  EXPECT_TRUE(loader.JumpTo("x"));
  EXPECT_EQ(loader.Position(), 0);
  loader.Clear();
  EXPECT_EQ(loader.LastIndex(), -1);
}

TEST(ScriptLoader, ReadsLinesEndedByCrLfOrLfAndALastLineWithoutBreak) {
  TempDir dir;
  struct LineLoader : TScriptLoader {
    void Compile() override {
      WideString line;
      while (!ReadLine(line)) Lines.push_back(line);
    }
    std::vector<WideString> Lines;
  } loader;
  WriteFile(dir / "a.svx", "one\r\ntwo\n\nth\rree\r\n\x93\xFA");
  loader.Load(dir / "a.svx");
  EXPECT_EQ(loader.Lines, (std::vector<WideString>{u"one", u"two", u"", u"th\rree", u"日"}));
  EXPECT_EQ(loader.Position(), -1);  // nothing compiled
}

TEST(ScriptLoader, AScriptInUtf8HasNamesAndTextInAnyLanguage) {
  TempDir dir;
  // A byte order mark, a line in Cyrillic and one with a byte that is not UTF-8.
  WriteFile(dir / "start.svx", "\xEF\xBB\xBF<BODY><A name=начало></A><P>Ça va, Ольга?</P>\r\n"
                               "<CODE>SET #Счёт,1</CODE><P>\xFFok</P></BODY>");
  TMainScriptLoader loader;
  loader.Load(dir / "start.svx");
  EXPECT_EQ(loader.Encoding(), TStoryEncoding::Utf8);
  EXPECT_EQ(Commands(loader), "LABEL начало;CLEAR ;TEXT Ça va, Ольга?;WAIT ;SET #Счёт,1;CLEAR ;TEXT \uFFFDok;WAIT ;WAIT ;");
  EXPECT_TRUE(loader.JumpTo("начало"));
  // Declared in the head instead; the same bytes without either read as Shift-JIS.
  WriteFile(dir / "start.svx", "<HTML><HEAD><meta charset=\"utf-8\"></HEAD><BODY><P>Ελλάδα</P></BODY>");
  loader.Clear();
  loader.Load(dir / "start.svx");
  EXPECT_EQ(Commands(loader), "CLEAR ;TEXT Ελλάδα;WAIT ;WAIT ;");
  WriteFile(dir / "start.svx", "<BODY><P>\x93\xFA</P></BODY>");
  loader.Clear();
  loader.Load(dir / "start.svx");
  EXPECT_EQ(loader.Encoding(), TStoryEncoding::CP932);
  EXPECT_EQ(Commands(loader), "CLEAR ;TEXT 日;WAIT ;WAIT ;");
}

TEST(ScriptLoader, AScriptInUtf8HasNoElementLimit) {
  // 3,000 pages of eight elements each, every element on a line of its own, so that the
  // body's elements are taken while a menu is still being read.
  constexpr int kPages = 3000;
  std::string script = "\xEF\xBB\xBF<HTML><HEAD><TITLE>長い物語</TITLE></HEAD><BODY>\n";
  std::string expected;
  for (int i = 0; i < kPages; ++i) {
    const std::string n = std::to_string(i);
    script += "<A name=p" + n + "></A>\n<P>страница " + n + "</P>\n<UL>\n<LI><A href=#p" + n + ">again</A></LI>\n" +
              "<LI><A href=#n" + n + ">on</A></LI>\n</UL>\n<A name=n" + n + "></A>\n";
    expected += "LABEL p" + n + ";CLEAR ;TEXT страница " + n + ";WAIT ;CLEAR ;SELECT ;TEXT again;BR ;TEXT on;WAIT ;" +
                "IF ==,#LASTSELECT,0,#p" + n + ";IF ==,#LASTSELECT,1,#n" + n + ";LABEL n" + n + ";";
  }
  script += "</BODY></HTML>\n";
  TempDir dir;
  WriteFile(dir / "start.svx", script);
  TMainScriptLoader loader;
  loader.Load(dir / "start.svx");
  EXPECT_EQ(Commands(loader), expected + "WAIT ;");
  EXPECT_EQ(loader.ElementLimitLine(), 0);
  EXPECT_EQ(loader.Title(), u"長い物語");
  // Each command keeps the line it came from; the labels all stand.
  const int32_t last = loader.LastIndex() - 1;  // the last page's closing label
  EXPECT_EQ(loader.CommandLine(last), 1 + kPages * 7);
  EXPECT_TRUE(loader.JumpTo("p2999"));
  EXPECT_EQ(loader.Position(), (kPages - 1) * 13);
  // The same script in Shift-JIS stops at its 4,999th element.
  WriteFile(dir / "start.svx", Utf8ToCP932(script.substr(3)));
  TMainScriptLoader sjis;
  sjis.Load(dir / "start.svx");
  EXPECT_GT(sjis.ElementLimitLine(), 0);
  EXPECT_LT(sjis.LastIndex(), loader.LastIndex());
}

TEST(ScriptLoader, MissingScriptRaisesAnInputOutputError) {
  TMainScriptLoader loader;
  try {
    loader.Load("/nonexistent/start.svx");
    FAIL();
  } catch (const EInOutError& e) {
    EXPECT_NE(e.Message().find("start.svx"), std::string::npos);
  }
}

// Every script in tests/scripts through the real program.
class CompiledScript : public testing::TestWithParam<std::string> {};

std::vector<std::string> ScriptNames() {
  std::vector<std::string> names;
  for (const auto& e : std::filesystem::directory_iterator(SORVANE_SOURCE_DIR "/tests/scripts"))
    if (e.path().extension() == ".src") names.push_back(e.path().stem().string());
  std::sort(names.begin(), names.end());
  return names;
}

TEST_P(CompiledScript, PrintsItsExpectedCommands) {
  const std::string base = SORVANE_SOURCE_DIR "/tests/scripts/" + GetParam();
  TempDir dir;
  const bool utf8 = GetParam().rfind("utf8_", 0) == 0;  // written as it stands (it says it is UTF-8)
  WriteFile(dir / (GetParam() + ".svx"), ShiftJisSource(ReadFile(base + ".src"), utf8));
  const RunResult r = RunProgram({SORVANE_CLI, "compile", GetParam() + ".svx"}, dir.Path());
  const std::string err = std::filesystem::exists(base + ".err") ? ReadFile(base + ".err") : "";
  EXPECT_EQ(r.Out, ReadFile(base + ".out"));
  EXPECT_EQ(r.Err, err);
  EXPECT_EQ(r.Status, err.find("error: ") != std::string::npos ? 1 : 0);
}

INSTANTIATE_TEST_SUITE_P(Scripts, CompiledScript, testing::ValuesIn(ScriptNames()),
                         [](const testing::TestParamInfo<std::string>& info) { return info.param; });

TEST(CompileCommand, RefusesBadArgumentsAndMissingFiles) {
  TempDir dir;
  // Bad arguments are one rule for every subcommand: its usage, and status 2.
  for (const char* command : {"compile", "scenes", "run", "lint", "explore", "nosuch"}) {
    const RunResult bad = RunProgram({SORVANE_CLI, command}, dir.Path());
    EXPECT_EQ(bad.Status, 2) << command;
    EXPECT_EQ(bad.Err.rfind("usage: sorvane-cli ", 0), 0u) << command << ": " << bad.Err;
  }
  EXPECT_EQ(RunProgram({SORVANE_CLI, "run", ".", "--frames"}, dir.Path()).Status, 2);
  EXPECT_EQ(RunProgram({SORVANE_CLI, "lint", ".", "--format", "xml"}, dir.Path()).Status, 2);
  const RunResult r = RunProgram({SORVANE_CLI, "compile", "missing.svx"}, dir.Path());
  EXPECT_EQ(r.Status, 1);
  EXPECT_EQ(r.Out, "");
  EXPECT_EQ(r.Err.rfind("error: EInOutError: Cannot open file \"missing.svx\".", 0), 0u) << r.Err;
}
}  // namespace
