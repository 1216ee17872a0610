// The reader's session: which folder a story's data is kept in, saves of one story never
// used by another, the question to the reader, saves refused after the story stopped, and
// read marks kept by two players at once and within their bound.
#include "player/ReaderSession.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <optional>

#include "../TestSupport.h"
#include "platform/Dialogs.h"
#include "player/SubThread.h"
#include "tools/CliHost.h"

namespace {

namespace fs = std::filesystem;

// An environment variable set (or unset) for the scope's life.
class TEnvScope {
 public:
  TEnvScope(const char* name, const char* value) : FName(name) {
    if (const char* old = std::getenv(name)) FOld = old;
    value ? ::setenv(name, value, 1) : ::unsetenv(name);
  }
  ~TEnvScope() { FOld ? ::setenv(FName, FOld->c_str(), 1) : ::unsetenv(FName); }

 private:
  const char* FName;
  std::optional<std::string> FOld;
};

bool ValidUtf8(const std::string& s) { return WideToUtf8(Utf8ToWide(s)) == s; }

TEST(ReaderData, EveryIdentityHasAFolderOfItsOwnThatIsSafeAndReadable) {
  EXPECT_EQ(DataFolderName("demo"), "demo");  // a plain name stays as it is
  const std::vector<std::string> names{".game", "_.game", "a\\b", "a_b", "x\ny", "x_y", "", "_",
                                       std::string(70, 'a'), std::string(71, 'a'), "Sorvane デモ/demo", "bad\xff"};
  std::set<std::string> folders;
  for (const std::string& n : names) {
    const std::string folder = DataFolderName(n);
    EXPECT_TRUE(folders.insert(folder).second) << n << " -> " << folder;
    EXPECT_LE(folder.size(), 64u) << folder;
    EXPECT_TRUE(ValidUtf8(folder)) << folder;
    EXPECT_NE(folder[0], '.');
    EXPECT_EQ(folder.find_first_of("/\\\n"), std::string::npos) << folder;
  }
  // Two long Japanese titles that share their first 64 bytes; the cut never splits a character.
  const std::string common = "とてもながいにほんごのものがたりのなまえです";  // 66 bytes
  const std::string a = DataFolderName(common + "その一/game"), b = DataFolderName(common + "その二/game");
  EXPECT_NE(a, b);
  EXPECT_TRUE(ValidUtf8(a)) << a;
  EXPECT_EQ(DataFolderName("Sorvane デモ/demo").rfind("Sorvane デモ - demo-", 0), 0u);
  // A title is one line; a story without one is named by its folder alone.
  TempDir dir;
  EXPECT_EQ(StoryIdentityOf(dir.Path(), " The\n  Tale ").Identity, "The Tale/" + fs::path(dir.Path()).filename().string());
  EXPECT_EQ(StoryIdentityOf(dir.Path()).Identity, fs::path(dir.Path()).filename().string());
}

// Two stories in folders of one name, each with its own title.
class TwoStories : public testing::Test {
 protected:
  void SetUp() override {
    ::setenv("SORVANE_AUDIO", "null", 1);
    for (const auto& [root, title] : {std::pair{&FA, "First"}, std::pair{&FB, "Second"}}) {
      fs::create_directory(*root / "game");
      // Their second pages are the same page: read marks kept together would mix them.
      WriteFile(*root / "game/start.svx", std::string("<HEAD><TITLE>") + title + "</TITLE></HEAD><BODY><P>" + title +
                                              " one</P><P>The same page</P></BODY>");
      fs::copy_file(SORVANE_BINARY_DIR "/demo/msg.png", *root / "game/msg.png");
    }
  }
  RunResult Run(const TempDir& root, std::vector<std::string> extra) {
    std::vector<std::string> args{SORVANE_CLI, "run", root / "game", "--data-dir", FData.Path(), "--backlog"};
    args.insert(args.end(), extra.begin(), extra.end());
    return RunProgram(args, FOut.Path());
  }
  TempDir FA, FB, FData, FOut;
};

TEST_F(TwoStories, EachKeepsAndLoadsItsOwnSavesAndMarks) {
  ASSERT_EQ(Run(FA, {"--frames", "60", "--click", "30", "--save", "50:quick.sav"}).Status, 0);
  ASSERT_EQ(Run(FB, {"--frames", "20", "--save", "10:quick.sav"}).Status, 0);
  EXPECT_TRUE(fs::is_regular_file(FData / (DataFolderName("First/game") + "/quick.sav")));
  EXPECT_TRUE(fs::is_regular_file(FData / (DataFolderName("Second/game") + "/quick.sav")));
  // Each loads its own: B's backlog shows B's page, not A's second.
  const RunResult b = Run(FB, {"--frames", "30", "--load", "quick.sav"});
  ASSERT_EQ(b.Status, 0) << b.Err;
  EXPECT_EQ(b.Out.find("First"), std::string::npos) << b.Out;
  const RunResult a = Run(FA, {"--frames", "70", "--load", "quick.sav"});
  ASSERT_EQ(a.Status, 0) << a.Err;
  EXPECT_NE(a.Out.find("backlog\t\tThe same page"), std::string::npos) << a.Out;
  // A's save named by its path is refused by B, saying whose it is.
  const RunResult foreign = Run(FB, {"--frames", "5", "--load", FData / (DataFolderName("First/game") + "/quick.sav")});
  EXPECT_EQ(foreign.Status, 1);
  EXPECT_NE(foreign.Err.find("it is a save of another story (First)"), std::string::npos) << foreign.Err;
  // Skip in B stops at B's second page, which only A's reader has seen: it never goes on to
  // the wait the script closes with.
  const RunResult skipped = Run(FB, {"--frames", "40", "--skip", "--trace"});
  EXPECT_NE(skipped.Out.find("TEXT The same page"), std::string::npos) << skipped.Out;
  EXPECT_EQ(skipped.Out.find("checkpoint 2"), std::string::npos) << skipped.Out;
}

TEST_F(TwoStories, ASaveWithNoFolderForTheReadersDataFailsAndWritesNothingElsewhere) {
  fs::create_directories(FData / "sorvane");
  WriteFile(FData / DataFolderName("First/game"), "a file where the folder would be");
  const RunResult cut = Run(FA, {"--frames", "20", "--save", "10:quick.sav"});
  EXPECT_EQ(cut.Status, 1);
  EXPECT_NE(cut.Err.find("error: F10: cannot save quick.sav: there is no folder for the reader's data: "),
            std::string::npos)
      << cut.Err;
  // No XDG data folder at all: XDG_DATA_HOME relative and HOME unset.
  {
    const TEnvScope data("XDG_DATA_HOME", "relative/data");
    const TEnvScope home("HOME", nullptr);
    const RunResult none =
        RunProgram({SORVANE_CLI, "run", FA / "game", "--frames", "20", "--save", "10:quick.sav"}, FOut.Path());
    EXPECT_EQ(none.Status, 1);
    EXPECT_NE(none.Err.find("neither XDG_DATA_HOME nor HOME names an absolute folder"), std::string::npos) << none.Err;
  }
  for (const std::string& where : {FOut.Path(), FA / "game"})
    for (const auto& e : fs::directory_iterator(where)) EXPECT_NE(e.path().extension(), ".sav") << e.path();
  // In the window the reason is said in Japanese.
  EXPECT_EQ(Refuse(TRefusalCode::NoDataFolder).Japanese(), "読者データのフォルダを作れません。");
}

// The runtime with a session in the tool's headless host.
class Session : public testing::Test {
 protected:
  void SetUp() override {
    ::setenv("SORVANE_AUDIO", "null", 1);
    FHome = fs::current_path();
    fs::copy_file(SORVANE_BINARY_DIR "/demo/msg.png", FDir / "msg.png");
  }
  void TearDown() override {
    FSession.reset();
    FRuntime.reset();
    fs::current_path(FHome);
  }
  TReaderSession& Start(const std::string& script) {
    FSession.reset();
    FRuntime.reset();
    WriteFile(FDir / "start.svx", script);
    FRuntime = std::make_unique<TSubThread>(FHost, FDir.Path(), FClock);
    FSession = std::make_unique<TReaderSession>(*FRuntime, FHost, FDir.Path(), FData.Path());
    return *FSession;
  }
  void Frames(int n) {
    for (int i = 0; i < n; ++i) FRuntime->UpdateStep(), FRuntime->DrawStep();
  }
  TempDir FDir, FData;
  TCliHost FHost;
  TStillClock FClock;
  std::unique_ptr<TSubThread> FRuntime;
  std::unique_ptr<TReaderSession> FSession;
  fs::path FHome;
};

TEST_F(Session, ALostPlaceAsksTheReaderAndAStoppedStoryIsNeverSaved) {
  TReaderSession& s = Start("<BODY><A name=day></A><P>a</P><P>b</P></BODY>");
  Frames(30);
  FRuntime->Input(TInputEvent{evAdvance, 1});
  Frames(30);
  TRefusal why;
  ASSERT_TRUE(s.Save("q.sav", why)) << why.English();
  // The page the save rests on rewritten: only its label's start is left.
  TReaderSession& edited = Start("<BODY><A name=day></A><P>a</P><P>quite another page</P><P>and more</P></BODY>");
  Frames(5);
  std::vector<std::string> asked;
  int answer = mrNo;
  const TMessageDlgScope dialogs([&](const std::string& text, TMsgDlgType, TMsgDlgButtons) {
    asked.push_back(text);
    return answer;
  });
  const int32_t before = FRuntime->Script().Position();
  EXPECT_FALSE(edited.Load("q.sav", why));
  EXPECT_EQ(why, TRefusalCode::Declined);
  EXPECT_EQ(FRuntime->Script().Position(), before);
  answer = mrYes;
  ASSERT_TRUE(edited.Load("q.sav", why)) << why.English();
  EXPECT_EQ(FRuntime->Script().Position(), 0);  // the label "day"
  ASSERT_EQ(asked.size(), 2u);
  EXPECT_NE(asked[0].find("ラベル「day」"), std::string::npos) << asked[0];
  // Once the story stopped on an error, nothing of it is saved over what was kept.
  const std::string kept = ReadFile(FData / (DataFolderName(edited.Story().Identity) + "/q.sav"));
  edited.StoryStopped();
  EXPECT_FALSE(edited.Save("q.sav", why));
  EXPECT_EQ(why, TRefusalCode::StoryStopped);
  EXPECT_EQ(ReadFile(FData / (DataFolderName(edited.Story().Identity) + "/q.sav")), kept);
}

TEST(ReadMarkFiles, TwoPlayersKeepEachOthersMarksAndTheNewestAreKept) {
  TempDir dir;
  const std::string path = dir / "marks";
  TReadMarks first, second;
  TRefusal why;
  ASSERT_TRUE(first.Load(path, why));
  ASSERT_TRUE(second.Load(path, why));
  for (uint64_t k = 1; k <= 10; ++k) first.Mark(k);
  for (uint64_t k = 100; k <= 102; ++k) second.Mark(k);
  ASSERT_TRUE(first.Save(path, why));
  ASSERT_TRUE(second.Save(path, why));  // the last to close keeps the other's marks too
  TReadMarks back;
  ASSERT_TRUE(back.Load(path, why));
  EXPECT_EQ(back.Count(), 13u);
  EXPECT_TRUE(back.Read(5) && back.Read(101));
  // Past the bound, the oldest go and new pages are still marked.
  TReadMarks full;
  for (uint64_t k = 1; k <= TReadMarks::kMaxMarks; ++k) full.Mark(k);
  full.Mark(0);  // key 0 is a key like any other
  EXPECT_EQ(full.Count(), size_t(TReadMarks::kMaxMarks));
  EXPECT_FALSE(full.Read(1));
  EXPECT_TRUE(full.Read(0) && full.Read(2) && full.Read(TReadMarks::kMaxMarks));
  ASSERT_TRUE(full.Save(dir / "full", why));
  TReadMarks more;
  for (uint64_t k = 1u << 30; k < (1u << 30) + 5; ++k) more.Mark(k);
  ASSERT_TRUE(more.Load(dir / "full", why)) << why.English();  // a file at the bound, joined as older
  EXPECT_EQ(more.Count(), size_t(TReadMarks::kMaxMarks));
  EXPECT_TRUE(more.Read((1u << 30) + 4));  // ours, the newest, are kept
  EXPECT_FALSE(more.Read(2));
}

// Names from a save reach logs bounded and escaped; JSON is valid UTF-8 whatever a folder's
// name; a folder that holds no story gets no logs.
TEST_F(Session, NamesInLogsAreBoundedAndToolOutputIsValidUtf8) {
  Start("<BODY><P>a</P></BODY>");
  Frames(3);
  TSnapshot s = FRuntime->Snapshot();
  s.Sound[0].File = WideString(100000, u'n') + u"\x1b[2J";
  TRefusal why;
  ASSERT_TRUE(FRuntime->Restore(s, why));
  FSession.reset();
  FRuntime.reset();
  size_t longest = 0;
  std::istringstream log(ReadFile(FDir / "sorvane.log"));
  for (std::string line; std::getline(log, line);) {
    longest = std::max(longest, line.size());
    EXPECT_EQ(line.find('\x1b'), std::string::npos);
  }
  EXPECT_LT(longest, 1000u);
  // A folder named in another encoding: save-info's JSON is still UTF-8.
  TempDir root;
  const std::string story = root / "bad\xff\xfename";
  fs::create_directory(story);
  WriteFile(story + "/start.svx", "<BODY><P>a</P></BODY>");
  ASSERT_EQ(RunProgram({SORVANE_CLI, "run", story, "--frames", "5", "--save", "3:" + (root / "s.sav")}, root.Path()).Status, 0);
  const RunResult json = RunProgram({SORVANE_CLI, "save-info", root / "s.sav", "--format", "json"}, root.Path());
  ASSERT_EQ(json.Status, 0) << json.Err;
  EXPECT_TRUE(ValidUtf8(json.Out)) << json.Out;
  EXPECT_NE(json.Out.find("bad\xEF\xBF\xBD\xEF\xBF\xBDname"), std::string::npos) << json.Out;
  // A writable folder without a story: its logs go to the reader's state folder.
  TempDir empty, state;
  const TEnvScope stateHome("XDG_STATE_HOME", state.Path().c_str());
  RunProgram({SORVANE_CLI, "run", empty.Path(), "--frames", "2"}, empty.Path());
  for (const auto& e : fs::recursive_directory_iterator(empty.Path())) EXPECT_NE(e.path().extension(), ".log") << e.path();
}

}  // namespace

namespace {

TEST_F(Session, CheckpointsShareTheVariablesUntilOneChanges) {
  Start("<BODY><CODE>SET #A,1</CODE><P>one</P><P>two</P><CODE>SET #A,2</CODE><P>three</P></BODY>");
  for (int page = 0; page < 3; ++page) {
    Frames(30);
    FRuntime->Input(TInputEvent{evAdvance, 1});
  }
  Frames(30);
  const auto& c = FRuntime->Checkpoints();
  ASSERT_GE(c.size(), 3u);
  EXPECT_EQ(c[0].Variables, c[1].Variables);  // nothing set between "one" and "two"
  EXPECT_NE(c[1].Variables, c[2].Variables);  // A set to 2 before "three"
  EXPECT_EQ(*c[2].Variables, (TVariables{{"LASTSELECT", -1}, {"A", 2}}));
}

}  // namespace
