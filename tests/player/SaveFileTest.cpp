// Save files as untrusted input, their places in edited scripts, and their atomic writing.
#include "player/SaveFile.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>

#include "../PngWriter.h"
#include "../TestSupport.h"
#include "platform/Dialogs.h"
#include "player/StoryFolder.h"
#include "player/SubThread.h"
#include "tools/CliHost.h"

namespace {



// A small story with two scenes and a page, and a save made on its page.
class SaveFiles : public testing::Test {
 protected:
  void SetUp() override {
    ::setenv("SORVANE_AUDIO", "null", 1);
    FHome = std::filesystem::current_path();
    WritePng(FDir / "p.png", 8, 6, PNG_COLOR_TYPE_RGB_ALPHA, 8, std::vector<uint8_t>(8 * 6 * 4, 0x80));
    std::filesystem::copy_file(SORVANE_BINARY_DIR "/demo/msg.png", FDir / "msg.png");
    std::filesystem::create_directory(FDir / "knv");
    WriteFile(FDir / "knv/background.knv", Scenes(true));
    WriteFile(FDir / "start.svx", "<BODY><CODE>CHANGESCENE 0,a,-1,0</CODE><CODE>SET #N,7</CODE><P>one</P><P>two</P></BODY>");
  }
  void TearDown() override {
    FRuntime.reset();
    std::filesystem::current_path(FHome);
  }
  static std::string Scenes(bool withB) {
    return std::string("<kn><scene index=blank></scene><scene index=a><knobject type=img src=p.png width=8 height=6 "
                       "pos_x=1 pos_y=1 alpha=255/></scene>") +
           (withB ? "<scene index=b></scene>" : "") + "</kn>";
  }
  TSubThread& Start() {
    FRuntime.reset();
    FRuntime = std::make_unique<TSubThread>(FHost, FDir.Path(), FClock);
    return *FRuntime;
  }
  TSave SaveAfter(int frames) {
    TSubThread& rt = Start();
    for (int i = 0; i < frames; ++i) rt.UpdateStep(), rt.DrawStep();
    return SaveOf(rt, TStoryIdentity{"story", "story"});
  }

  TempDir FDir;
  TCliHost FHost;
  TStillClock FClock;
  std::unique_ptr<TSubThread> FRuntime;
  std::filesystem::path FHome;
};

TEST_F(SaveFiles, ASaveReadsBackAsItWasWritten) {
  const TSave save = SaveAfter(3);
  ASSERT_TRUE(WriteSave(FDir / "a.sav", save, *std::make_unique<std::string>()));
  TSave back;
  std::string why;
  ASSERT_TRUE(ReadSave(FDir / "a.sav", back, why)) << why;
  EXPECT_EQ(back.Info.Position, save.Info.Position);
  EXPECT_EQ(back.Info.Thumbnail, save.Info.Thumbnail);
  EXPECT_EQ(back.Info.ThumbnailWidth, 160);
  EXPECT_EQ(back.Snapshot.Variables, save.Snapshot.Variables);
  EXPECT_EQ(back.Snapshot.Engine, save.Snapshot.Engine);
  EXPECT_EQ(EncodeSave(back), EncodeSave(save));  // nothing lost on the way
}

TEST_F(SaveFiles, DamagedSavesAreRefusedWithAReason) {
  const TSave save = SaveAfter(3);
  const std::vector<uint8_t> file = EncodeSave(save);
  std::string why;
  TSave out;
  // Cut short anywhere.
  for (size_t n = 0; n < file.size(); n += 1 + n / 3) {
    why.clear();
    EXPECT_FALSE(DecodeSave(file.data(), n, out, why)) << n;
    EXPECT_FALSE(why.empty());
  }
  // A byte of the stored payload changed: the checksum says so.
  std::vector<uint8_t> bent = file;
  bent[bent.size() / 2] ^= 0x5A;
  EXPECT_FALSE(DecodeSave(bent.data(), bent.size(), out, why));
  EXPECT_EQ(why, "it is damaged (its checksum does not match)");
  // Damage behind a right checksum: the parser itself refuses it, or it reads as a state
  // the runtime takes or refuses, never more.
  const std::vector<uint8_t> payload = SavePayload(save);
  TSubThread& rt = Start();
  std::vector<uint8_t> p = payload;
  for (size_t at = 0; at < payload.size(); at += at < 2048 ? 5 : payload.size() / 40) {
    for (const uint8_t value : {uint8_t(0), uint8_t(0xFF), uint8_t(payload[at] + 1)}) {
      p[at] = value;
      if (DecodeSavePayload(p.data(), p.size(), out, why)) rt.Restore(out.Snapshot, why);
    }
    p[at] = payload[at];
  }
  rt.UpdateStep();
  rt.DrawStep();
  // Counts far beyond what the bytes could hold allocate nothing for them.
  std::vector<uint8_t> huge = payload;
  const size_t title = 0;  // the title's length comes first
  huge[title] = huge[title + 1] = huge[title + 2] = huge[title + 3] = 0xFF;
  const std::vector<uint8_t> f = PackSavePayload(huge);
  EXPECT_FALSE(DecodeSave(f.data(), f.size(), out, why));
  EXPECT_EQ(why, "it is damaged (its contents do not make a save)");
  // A header that claims more than a save may hold.
  std::vector<uint8_t> big = file;
  big[16] = big[17] = big[18] = big[19] = 0xFF;
  EXPECT_FALSE(DecodeSave(big.data(), big.size(), out, why));
  EXPECT_EQ(why, "it says it is larger than a save may be");
  EXPECT_FALSE(DecodeSave(reinterpret_cast<const uint8_t*>("SORVSAVX"), 8, out, why));
  EXPECT_EQ(why, "it is not a save (no SORVSAVE at its start)");
  EXPECT_FALSE(ReadSave(FDir / "missing.sav", out, why));
  EXPECT_FALSE(ReadSave(FDir.Path(), out, why));  // a folder
  // Each reason the window shows is said in Japanese.
  for (const char* reason : {"it is not a save (no SORVSAVE at its start)", "it is cut short",
                             "it is damaged (its checksum does not match)", "it says it is larger than a save may be",
                             "it cannot be read: Is a directory", "the saved place is no longer in the story",
                             "a scene it shows is no longer in the story's scene file, or has changed"})
    EXPECT_EQ(ReaderReason(reason).find("it "), std::string::npos) << reason;
}

TEST_F(SaveFiles, NamesInASaveResolveOnlyInsideTheStory) {
  TSave save = SaveAfter(3);
  TempDir outside;
  std::filesystem::copy_file(SORVANE_BINARY_DIR "/demo/chime.ogg", outside / "chime.ogg");
  std::filesystem::copy_file(SORVANE_BINARY_DIR "/demo/chime.ogg", FDir / "inside.ogg");
  const std::string relative = std::filesystem::relative(outside / "chime.ogg", FDir.Path()).string();
  save.Snapshot.Sound[0].File = Utf8ToWide(relative);
  save.Snapshot.Sound[1].File = u"inside.ogg";
  TSubThread& rt = Start();
  std::string why;
  ASSERT_TRUE(rt.Restore(save.Snapshot, why)) << why;
  const TSnapshot now = rt.Snapshot();
  EXPECT_EQ(now.Sound[0].File, u"");  // outside the story: silent
  EXPECT_EQ(now.Sound[1].File, u"inside.ogg");
}

TEST_F(SaveFiles, AStateSurvivesOtherScenesChangingAndIsRefusedWhenItsOwnDo) {
  const TSave save = SaveAfter(3);
  // Scene b, which the save does not show, deleted; scene c added before a.
  WriteFile(FDir / "knv/background.knv",
            "<kn><scene index=blank></scene><scene index=c></scene><scene index=a><knobject type=img src=p.png "
            "width=8 height=6 pos_x=1 pos_y=1 alpha=255/></scene></kn>");
  std::string why;
  TSubThread& rt = Start();
  ASSERT_TRUE(rt.Restore(save.Snapshot, why)) << why;
  rt.UpdateStep(), rt.DrawStep();
  EXPECT_TRUE(save.Snapshot.Picture.Tiles().size() > 0);
  // Scene a, which it shows, given another object: refused, and nothing changed.
  WriteFile(FDir / "knv/background.knv", "<kn><scene index=blank></scene><scene index=a></scene></kn>");
  TSubThread& changed = Start();
  changed.UpdateStep(), changed.DrawStep();
  const std::vector<uint8_t> before = SavePayload(TSave{TSaveInfo{}, changed.Snapshot()});
  EXPECT_FALSE(changed.Restore(save.Snapshot, why));
  EXPECT_EQ(why, "a scene it shows is no longer in the story's scene file, or has changed");
  EXPECT_EQ(SavePayload(TSave{TSaveInfo{}, changed.Snapshot()}), before);
  // Deleted: the same.
  WriteFile(FDir / "knv/background.knv", "<kn><scene index=blank></scene><scene index=b></scene></kn>");
  EXPECT_FALSE(Start().Restore(save.Snapshot, why));
  EXPECT_EQ(why, "a scene it shows is no longer in the story's scene file, or has changed");
}

TEST_F(SaveFiles, AfterALoadRollbackGoesBackWithinTheLoadedStoryOnly) {
  TSubThread& rt = Start();
  auto frames = [&](int n) {
    for (int i = 0; i < n; ++i) rt.UpdateStep(), rt.DrawStep();
  };
  frames(3);
  ASSERT_EQ(rt.Checkpoints().size(), 1u);
  const TSnapshot first = rt.Snapshot();  // resting on page one, its checkpoint taken
  EventQueue->Push(TInputEvent{evAdvance, 1});
  frames(3);
  EventQueue->Push(TInputEvent{evAdvance, 1});
  frames(3);
  ASSERT_EQ(rt.Checkpoints().size(), 3u);  // "one", "two", and the wait the compiler closes with
  std::string why;
  ASSERT_TRUE(rt.Restore(first, why)) << why;
  ASSERT_EQ(rt.Checkpoints().size(), 1u);  // the loaded page is where going back stops
  EXPECT_FALSE(rt.Rollback());
  EventQueue->Push(TInputEvent{evAdvance, 1});
  frames(3);
  ASSERT_EQ(rt.Checkpoints().size(), 2u);
  ASSERT_TRUE(rt.Rollback());
  EXPECT_EQ(rt.Script().Position(), first.Position);
}

TEST_F(SaveFiles, ThePageChosenInTheBacklogIsTheOneGoneBackTo) {
  TSubThread& rt = Start();
  auto frames = [&](int n) {
    for (int i = 0; i < n; ++i) rt.UpdateStep(), rt.DrawStep();
  };
  frames(3);
  const TSnapshot first = rt.Snapshot();
  EventQueue->Push(TInputEvent{evAdvance, 1});
  frames(3);
  EventQueue->Push(TInputEvent{evAdvance, 1});
  frames(3);
  // The backlog's pages, oldest first: "one", "two".
  std::vector<const TBacklogNode*> pages;
  for (const TBacklogNode* n = rt.BacklogList().get(); n; n = n->Before.get()) pages.insert(pages.begin(), n);
  ASSERT_EQ(pages.size(), 2u);
  EXPECT_EQ(pages[0]->Entry.Text, u"one");
  EXPECT_FALSE(rt.RollbackTo(nullptr));
  ASSERT_TRUE(rt.RollbackTo(pages[0]));
  EXPECT_EQ(rt.Script().Position(), first.Position);
  EXPECT_EQ(rt.Checkpoints().size(), 1u);  // those after the page went
  EXPECT_EQ(rt.Backlog().size(), 1u);
}

// A script as commands: "NAME PARAM" a line.
void Compile(TScriptLoader& script, const std::vector<std::string>& commands) {
  for (const std::string& c : commands) {
    const size_t space = c.find(' ');
    const std::string name = c.substr(0, space), param = space == std::string::npos ? "" : c.substr(space + 1);
    if (name == "LABEL") script.AddLabel(param);
    else script.AddCommand(name, Utf8ToWide(param));
  }
}

TEST(SavedPlaces, ASaveFindsItsPlaceInAnEditedScriptOrSaysWhy) {
  const std::vector<std::string> v1{"TEXT intro", "WAIT",       "LABEL day", "TEXT a", "WAIT", "TEXT b",
                                    "WAIT",       "TEXT c",     "WAIT",      "LABEL night", "TEXT d", "WAIT"};
  TScriptLoader original;
  Compile(original, v1);
  TSaveInfo info;
  LocatePlace(original, 6, info);  // the WAIT after "TEXT b"
  EXPECT_EQ(info.Label, "day");
  EXPECT_EQ(info.Offset, 4);
  auto placeIn = [&](const std::vector<std::string>& commands, std::string* why = nullptr) {
    TScriptLoader edited;
    Compile(edited, commands);
    int32_t position = -9;
    std::string reason;
    const bool found = FindPlace(edited, info, position, reason);
    if (why) *why = reason;
    return found ? position : -9;
  };
  EXPECT_EQ(placeIn(v1), 6);
  // Commands inserted before the label, and after the place.
  std::vector<std::string> v2 = v1;
  v2.insert(v2.begin(), {"TEXT new", "WAIT"});
  v2.insert(v2.begin() + 11, "TEXT later");
  EXPECT_EQ(placeIn(v2), 8);
  // Inserted inside the label's part, before the place.
  std::vector<std::string> v3 = v1;
  v3.insert(v3.begin() + 3, {"TEXT aside", "WAIT"});
  EXPECT_EQ(placeIn(v3), 8);
  // Right after the place.
  std::vector<std::string> v4 = v1;
  v4.insert(v4.begin() + 7, "SET #X,1");
  EXPECT_EQ(placeIn(v4), 6);
  // Another label renamed; the place's own label renamed.
  std::vector<std::string> v5 = v1;
  v5[9] = "LABEL evening";
  EXPECT_EQ(placeIn(v5), 6);
  v5[2] = "LABEL morning";
  EXPECT_EQ(placeIn(v5), 6);
  // The place's page rewritten: not found, and said so.
  std::vector<std::string> v6 = v1;
  v6[4] = "WAIT";
  v6[5] = "TEXT changed";
  v6[7] = "TEXT also changed";
  std::string why;
  EXPECT_EQ(placeIn(v6, &why), -9);
  EXPECT_EQ(why, "the saved place is no longer in the story");
  // Lost, it may go on from its label's start: the reader is asked, in a box.
  TScriptLoader rewritten;
  Compile(rewritten, v6);
  std::vector<std::string> asked;
  int answer = mrNo;
  const TMessageDlgScope dialogs([&](const std::string& text, TMsgDlgType, TMsgDlgButtons) {
    asked.push_back(text);
    return answer;
  });
  int32_t at = -9;
  EXPECT_FALSE(ResolvePlace(rewritten, info, at, why));
  answer = mrYes;
  EXPECT_TRUE(ResolvePlace(rewritten, info, at, why));
  EXPECT_EQ(at, 2);  // the LABEL day command
  ASSERT_EQ(asked.size(), 2u);
  EXPECT_NE(asked[0].find("ラベル「day」"), std::string::npos) << asked[0];
  // The end of the script stays the end.
  TSaveInfo end;
  LocatePlace(original, -1, end);
  TScriptLoader any;
  Compile(any, v2);
  int32_t position = 5;
  EXPECT_TRUE(FindPlace(any, end, position, why));
  EXPECT_EQ(position, -1);
}

// A process saving over one file again and again, killed at unforeseen moments: the file
// is always a whole save, the old one or the new one.
TEST_F(SaveFiles, AProcessKilledWhileSavingLeavesAWholeSave) {
  TSave save = SaveAfter(3);
  const std::string path = FDir / "loop.sav";
  ASSERT_TRUE(WriteSave(path, save, *std::make_unique<std::string>()));
  FRuntime.reset();
  for (int round = 0; round < 12; ++round) {
    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      ::close(ready[0]);
      std::string why;
      for (uint32_t n = 0;; ++n) {
        save.Snapshot.Frame = n;  // each save differs from the last
        if (!WriteSave(path, save, why)) ::_exit(3);
        if (::write(ready[1], "s", 1) != 1) ::_exit(4);
      }
    }
    ::close(ready[1]);
    // Lets the child finish a varying number of saves, then kills it wherever it is.
    char c;
    for (int k = 0; k <= round % 4; ++k) ASSERT_EQ(::read(ready[0], &c, 1), 1);
    ::kill(child, SIGKILL);
    int status = 0;
    ::waitpid(child, &status, 0);
    ::close(ready[0]);
    EXPECT_TRUE(WIFSIGNALED(status));
    TSave back;
    std::string why;
    EXPECT_TRUE(ReadSave(path, back, why)) << "round " << round << ": " << why;
  }
  // What a killed save left behind is only its own temporary file, never the save's name.
  for (const auto& entry : std::filesystem::directory_iterator(FDir.Path())) {
    const std::string name = entry.path().filename().string();
    if (name.find(".sav") == std::string::npos) continue;
    EXPECT_TRUE(name == "loop.sav" || name.rfind(".loop.sav.tmp-", 0) == 0) << name;
  }
}

}  // namespace

namespace {

// Through the program: a save of one story is refused by another, and a damaged one is
// refused by run and by save-info alike, each saying why.
TEST(SaveCommands, ForeignAndDamagedSavesAreRefusedWithAReason) {
  ::setenv("SORVANE_AUDIO", "null", 1);
  TempDir one, other, out;
  for (const TempDir* story : {&one, &other}) {
    WriteFile(*story / "start.svx", "<BODY><P>a</P><P>b</P></BODY>");
    std::filesystem::copy_file(SORVANE_BINARY_DIR "/demo/msg.png", *story / "msg.png");
  }
  ASSERT_EQ(RunProgram({SORVANE_CLI, "run", one.Path(), "--frames", "5", "--save", "3:./a.sav"}, out.Path()).Status, 0);
  const RunResult info = RunProgram({SORVANE_CLI, "save-info", "a.sav"}, out.Path());
  EXPECT_EQ(info.Status, 0) << info.Err;
  EXPECT_NE(info.Out.find("frame\t4\n"), std::string::npos) << info.Out;
  EXPECT_NE(info.Out.find("scene\t1\t\n"), std::string::npos) << info.Out;  // nothing on layer 1
  const RunResult foreign = RunProgram({SORVANE_CLI, "run", other.Path(), "--load", "./a.sav"}, out.Path());
  EXPECT_EQ(foreign.Status, 1);
  EXPECT_NE(foreign.Err.find("is a save of another story"), std::string::npos) << foreign.Err;
  std::string bytes = ReadFile(out / "a.sav");
  bytes.resize(bytes.size() / 2);
  WriteFile(out / "cut.sav", bytes);
  const RunResult cut = RunProgram({SORVANE_CLI, "run", one.Path(), "--load", "./cut.sav"}, out.Path());
  EXPECT_EQ(cut.Status, 1);
  EXPECT_NE(cut.Err.find("cannot be loaded: it is cut short"), std::string::npos) << cut.Err;
  const RunResult cutInfo = RunProgram({SORVANE_CLI, "save-info", "cut.sav"}, out.Path());
  // A name alone is kept in the story's own folder of the reader's data.
  TempDir data;
  ASSERT_EQ(RunProgram({SORVANE_CLI, "run", one.Path(), "--frames", "5", "--save", "3:q.sav", "--data-dir", data.Path()},
                       out.Path())
                .Status,
            0);
  const std::string identity = std::filesystem::path(one.Path()).filename().string();
  EXPECT_TRUE(std::filesystem::is_regular_file(data / (identity + "/q.sav")));
  EXPECT_EQ(RunProgram({SORVANE_CLI, "run", one.Path(), "--frames", "6", "--load", "q.sav", "--data-dir", data.Path()},
                       out.Path())
                .Status,
            0);
  EXPECT_EQ(cutInfo.Status, 1);
  EXPECT_NE(cutInfo.Err.find("is not a valid save: it is cut short"), std::string::npos) << cutInfo.Err;
}

}  // namespace
