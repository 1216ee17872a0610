// Save files as untrusted input, their places in edited scripts, and their atomic writing.
#include "player/SaveFile.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <filesystem>

#include "../PngWriter.h"
#include "common/Bytes.h"
#include "../TestSupport.h"
#include "platform/Dialogs.h"
#include "player/ReaderSession.h"
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
    return SaveOf(rt, TStoryIdentity{"story", "story", "story"});
  }

  TempDir FDir;
  TCliHost FHost;
  TStillClock FClock;
  std::unique_ptr<TSubThread> FRuntime;
  std::filesystem::path FHome;
};

// The values a snapshot holds, compared one by one (not through the codec under test).
void ExpectSameState(const TSnapshot& a, const TSnapshot& b) {
  EXPECT_EQ(a.Frame, b.Frame);
  EXPECT_EQ(a.Position, b.Position);
  EXPECT_EQ(a.NextCheckpoint, b.NextCheckpoint);
  EXPECT_EQ(a.RestingAt, b.RestingAt);
  EXPECT_EQ(a.CheckpointDue, b.CheckpointDue);
  ASSERT_TRUE(a.Variables && b.Variables);
  EXPECT_EQ(*a.Variables, *b.Variables);
  for (const auto* pages : {&a.Message, &a.Speaker}) {
    const TTextSnapshot& other = pages == &a.Message ? b.Message : b.Speaker;
    ASSERT_EQ(pages->Page.Lines.size(), other.Page.Lines.size());
    for (size_t i = 0; i < pages->Page.Lines.size(); ++i) {
      EXPECT_EQ(pages->Page.Lines[i].Text, other.Page.Lines[i].Text);
      EXPECT_EQ(pages->Page.Lines[i].Info, other.Page.Lines[i].Info);
      EXPECT_EQ(pages->Page.LineTops[i], other.Page.LineTops[i]);
    }
    EXPECT_EQ(pages->Page.ShowLine, other.Page.ShowLine);
    EXPECT_EQ(pages->Page.ShowChar, other.Page.ShowChar);
    EXPECT_EQ(pages->Visible, other.Visible);
    EXPECT_EQ(pages->SelectMode, other.SelectMode);
  }
  EXPECT_EQ(a.Engine, b.Engine);
  for (int c = 0; c < kChannelCount; ++c) {
    EXPECT_EQ(a.Sound[c].File, b.Sound[c].File);
    EXPECT_EQ(a.Sound[c].Playing, b.Sound[c].Playing);
    EXPECT_EQ(a.Sound[c].Position, b.Sound[c].Position);
  }
  ASSERT_EQ(a.Picture.Tiles().size(), b.Picture.Tiles().size());
  for (size_t i = 0; i < a.Picture.Tiles().size(); ++i) EXPECT_EQ(*a.Picture.Tiles()[i], *b.Picture.Tiles()[i]) << i;
  const auto backlogA = BacklogEntries(a.Backlog), backlogB = BacklogEntries(b.Backlog);
  ASSERT_EQ(backlogA.size(), backlogB.size());
  for (size_t i = 0; i < backlogA.size(); ++i) EXPECT_EQ(backlogA[i].Text, backlogB[i].Text);
}

TEST_F(SaveFiles, ASaveReadsBackAsItWasWritten) {
  const TSave save = SaveAfter(3);
  TRefusal why;
  ASSERT_TRUE(WriteSave(FDir / "a.sav", save, why)) << why.English();
  TSave back;
  ASSERT_TRUE(ReadSave(FDir / "a.sav", back, why)) << why.English();
  EXPECT_EQ(back.Info.Version, kSaveVersion);
  EXPECT_EQ(back.Info.Title, "story");
  EXPECT_EQ(back.Info.Place.Position, save.Info.Place.Position);
  EXPECT_EQ(back.Info.Place.Label, save.Info.Place.Label);
  EXPECT_EQ(back.Info.Place.Before, save.Info.Place.Before);
  EXPECT_EQ(back.Info.Place.After, save.Info.Place.After);
  EXPECT_EQ(back.Info.Scenes[0], "a");
  EXPECT_EQ(back.Info.Caption, "one");
  EXPECT_EQ(back.Info.Thumbnail, save.Info.Thumbnail);
  EXPECT_EQ(back.Info.ThumbnailWidth, kThumbnailWidth);
  const TVariables& variables = *back.Snapshot.Variables;
  EXPECT_NE(std::find(variables.begin(), variables.end(), std::make_pair(AnsiString("N"), 7)), variables.end());
  ExpectSameState(back.Snapshot, save.Snapshot);
  // The save screen's part alone reads as the whole file's.
  TSaveInfo info;
  ASSERT_TRUE(ReadSaveInfo(FDir / "a.sav", info, why)) << why.English();
  EXPECT_EQ(info.Caption, "one");
  EXPECT_EQ(info.Thumbnail, save.Info.Thumbnail);
}

TEST_F(SaveFiles, DamagedSavesAreRefusedWithAReason) {
  const TSave save = SaveAfter(3);
  const std::vector<uint8_t> file = EncodeSave(save);
  TRefusal why;
  TSave out;
  // Cut short anywhere.
  for (size_t n = 0; n < file.size(); n += 1 + n / 3) {
    why = TRefusal{};
    EXPECT_FALSE(DecodeSave(file.data(), n, out, why)) << n;
    EXPECT_TRUE(bool(why)) << n;
  }
  // A byte of the stored snapshot changed: the checksum says so; of the information too.
  std::vector<uint8_t> bent = file;
  bent[bent.size() - 10] ^= 0x5A;
  EXPECT_FALSE(DecodeSave(bent.data(), bent.size(), out, why));
  EXPECT_EQ(why.English(), "it is damaged (its checksum does not match)");
  bent = file;
  bent[30] ^= 0x5A;
  EXPECT_FALSE(DecodeSaveInfo(bent.data(), bent.size(), out.Info, why));
  EXPECT_EQ(why, TRefusalCode::ChecksumWrong);
  // Counts far beyond what the bytes could hold allocate nothing for them.
  std::vector<uint8_t> record = SnapshotRecord(save.Snapshot);
  const size_t variables = 4 * 4 + 1;  // frame, position, next checkpoint, resting at, due
  for (int k = 0; k < 4; ++k) record[variables + size_t(k)] = 0xFF;
  TSnapshot snapshot;
  EXPECT_FALSE(DecodeSnapshotRecord(record.data(), record.size(), snapshot, why));
  EXPECT_EQ(why.English(), "it is damaged (its contents do not make a save)");
  // A header that claims more than a save may hold.
  std::vector<uint8_t> big = file;
  const size_t info = size_t(big[12]) | size_t(big[13]) << 8 | size_t(big[14]) << 16;
  const size_t unpacked = 12 + 8 + info + 4;
  for (int k = 0; k < 4; ++k) big[unpacked + size_t(k)] = 0xFF;
  EXPECT_FALSE(DecodeSave(big.data(), big.size(), out, why));
  EXPECT_EQ(why.English(), "it says it is larger than a save may be");
  EXPECT_FALSE(DecodeSave(reinterpret_cast<const uint8_t*>("SORVSAVX"), 8, out, why));
  EXPECT_EQ(why.English(), "it is not a save (no SORVSAVE at its start)");
  std::vector<uint8_t> later = file;
  later[8] = 9;
  EXPECT_FALSE(DecodeSave(later.data(), later.size(), out, why));
  EXPECT_EQ(why.English(), "it is a save of another version (9)");
  EXPECT_FALSE(ReadSave(FDir / "missing.sav", out, why));
  EXPECT_EQ(why.English(), "it cannot be read: No such file or directory");
  EXPECT_FALSE(ReadSave(FDir.Path(), out, why));  // a folder
  EXPECT_EQ(why, TRefusalCode::CannotRead);
  // Every reason has its Japanese for the window, and its English for logs.
  for (int code = 1; code <= int(TRefusalCode::StoryStopped); ++code) {
    const TRefusal r{TRefusalCode(code), ""};
    EXPECT_FALSE(r.English().empty()) << code;
    EXPECT_FALSE(r.Japanese().empty()) << code;
    EXPECT_EQ(r.Japanese().find("it "), std::string::npos) << code;
  }
}

// Bytes bent behind a right checksum: the reader refuses them, or they read as a state the
// runtime takes (and plays on from) or refuses with nothing changed; never more.
TEST_F(SaveFiles, AStateBentBehindItsChecksumIsRefusedOrPlays) {
  const TSave save = SaveAfter(3);
  const std::vector<uint8_t> record = SnapshotRecord(save.Snapshot);
  TSubThread& rt = Start();
  for (int i = 0; i < 3; ++i) rt.UpdateStep(), rt.DrawStep();
  const TSnapshot untouched = rt.Snapshot();
  int unreadable = 0, refused = 0, taken = 0;
  std::vector<uint8_t> p = record;
  for (size_t at = 0; at < record.size(); at += at < 2048 ? 5 : record.size() / 40) {
    for (const uint8_t value : {uint8_t(0), uint8_t(0xFF), uint8_t(record[at] + 1)}) {
      p[at] = value;
      TSnapshot bent;
      TRefusal why;
      if (!DecodeSnapshotRecord(p.data(), p.size(), bent, why)) {
        ++unreadable;
      } else if (!rt.Restore(bent, why)) {
        ++refused;
        ExpectSameState(rt.Snapshot(), untouched);
      } else {
        ++taken;
        const auto play = [&rt] {
          for (int f = 0; f < 2; ++f) rt.UpdateStep(), rt.DrawStep();
        };
        EXPECT_NO_THROW(play()) << at;
        ASSERT_TRUE(rt.Restore(untouched, why));
      }
    }
    p[at] = record[at];
  }
  EXPECT_GT(unreadable, 0);
  EXPECT_GT(refused, 0);
  EXPECT_GT(taken, 0);
}

// Saves small on disk that would be huge in memory or that break what the window draws.
TEST_F(SaveFiles, SavesThatWouldTakeTooMuchOrBreakThePageAreRefusedWhole) {
  const TSave save = SaveAfter(3);
  TRefusal why;
  // A million variables, a few megabytes stored: refused for the memory they would take.
  const std::vector<uint8_t> record = SnapshotRecord(save.Snapshot);
  const size_t variables = 4 * 4 + 1;  // frame, position, next checkpoint, resting at, due
  TByteWriter many;
  many.Raw(record.data(), variables);
  many.U32(TReadMarks::kMaxMarks);  // 2^20, the most variables a save may name
  for (uint32_t i = 0; i < TReadMarks::kMaxMarks; ++i) many.Str("v"), many.I32(int32_t(i));
  // The save's own variables follow their count: skipped by their sizes.
  size_t rest = variables;
  uint32_t own = 0;
  std::memcpy(&own, record.data() + rest, 4);
  rest += 4;
  for (uint32_t i = 0; i < own; ++i) {
    uint32_t length = 0;
    std::memcpy(&length, record.data() + rest, 4);
    rest += 4 + length + 4;
  }
  many.Raw(record.data() + rest, record.size() - rest);
  TSnapshot read;
  EXPECT_FALSE(DecodeSnapshotRecord(many.Bytes().data(), many.Bytes().size(), read, why));
  EXPECT_EQ(why, TRefusalCode::TooMuchMemory);
  // Styled text whose two halves disagree, a line top far off the window, a line longer
  // than any window shows: the state is refused before anything changes.
  TSubThread& rt = Start();
  for (int i = 0; i < 3; ++i) rt.UpdateStep(), rt.DrawStep();
  const TSnapshot before = rt.Snapshot();
  TSnapshot broken = save.Snapshot;
  broken.Message.Page.Lines[0].Info.push_back(u'x');
  EXPECT_FALSE(rt.Restore(broken, why));
  EXPECT_EQ(why, TRefusalCode::MessageDamaged);
  broken = save.Snapshot;
  broken.Message.Page.LineTops[0] = INT32_MAX;
  EXPECT_FALSE(rt.Restore(broken, why));
  broken = save.Snapshot;
  broken.Message.Page.HoverRect.Right = INT32_MAX;
  EXPECT_FALSE(rt.Restore(broken, why));
  ExpectSameState(rt.Snapshot(), before);
  broken = save.Snapshot;
  broken.Message.Page.Lines[0].Text.assign(kMaxSavedChars + 1, u'x');
  broken.Message.Page.Lines[0].Info.assign(kMaxSavedChars + 1, u'\0');
  EXPECT_TRUE(SnapshotRecord(broken).empty());
  // A thumbnail that is not of the size a save states: the information is refused.
  TSave thumb = save;
  int32_t w = 0, h = 0;
  TABitmap large;
  large.SetSize(1600, 1200);
  thumb.Info.Thumbnail = ThumbnailPng(large, w, h);  // 320x240, stated as 160x120
  const std::vector<uint8_t> file = EncodeSave(thumb);
  ASSERT_FALSE(file.empty());
  TSaveInfo info;
  EXPECT_FALSE(DecodeSaveInfo(file.data(), file.size(), info, why));
  EXPECT_EQ(why, TRefusalCode::NotASaveInside);
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
  TRefusal why;
  ASSERT_TRUE(rt.Restore(save.Snapshot, why)) << why.English();
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
  TRefusal why;
  TSubThread& rt = Start();
  ASSERT_TRUE(rt.Restore(save.Snapshot, why)) << why.English();
  rt.UpdateStep(), rt.DrawStep();
  // The restored runtime shows scene a, and the picture the save holds.
  EXPECT_EQ(rt.Scenes().ShownSceneName(0), "a");
  EXPECT_EQ(std::memcmp(rt.Picture().ScanLine(2), save.Snapshot.Picture.Tiles()[0]->data() + 2 * 64 * 4, 64 * 4), 0);
  // Scene a, which it shows, given another object: refused, and nothing changed.
  WriteFile(FDir / "knv/background.knv", "<kn><scene index=blank></scene><scene index=a></scene></kn>");
  TSubThread& changed = Start();
  changed.UpdateStep(), changed.DrawStep();
  const TSnapshot before = changed.Snapshot();
  EXPECT_FALSE(changed.Restore(save.Snapshot, why));
  EXPECT_EQ(why.English(), "a scene it shows is no longer in the story's scene file, or has changed");
  ExpectSameState(changed.Snapshot(), before);
  // Deleted: the same.
  WriteFile(FDir / "knv/background.knv", "<kn><scene index=blank></scene><scene index=b></scene></kn>");
  EXPECT_FALSE(Start().Restore(save.Snapshot, why));
  EXPECT_EQ(why, TRefusalCode::SceneChanged);
}

TEST_F(SaveFiles, AfterALoadRollbackGoesBackWithinTheLoadedStoryOnly) {
  TSubThread& rt = Start();
  auto frames = [&](int n) {
    for (int i = 0; i < n; ++i) rt.UpdateStep(), rt.DrawStep();
  };
  frames(3);
  ASSERT_EQ(rt.Checkpoints().size(), 1u);
  const TSnapshot first = rt.Snapshot();  // resting on page one, its checkpoint taken
  rt.Input(TInputEvent{evAdvance, 1});
  frames(3);
  rt.Input(TInputEvent{evAdvance, 1});
  frames(3);
  ASSERT_EQ(rt.Checkpoints().size(), 3u);  // "one", "two", and the wait the compiler closes with
  // No variable changed between the pages: the checkpoints share one list of them.
  EXPECT_EQ(rt.Checkpoints()[1].Variables, rt.Checkpoints()[0].Variables);
  EXPECT_EQ(rt.Checkpoints()[2].Variables, rt.Checkpoints()[0].Variables);
  TRefusal why;
  ASSERT_TRUE(rt.Restore(first, why)) << why.English();
  ASSERT_EQ(rt.Checkpoints().size(), 1u);  // the loaded page is where going back stops
  EXPECT_FALSE(rt.Rollback());
  rt.Input(TInputEvent{evAdvance, 1});
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
  rt.Input(TInputEvent{evAdvance, 1});
  frames(3);
  rt.Input(TInputEvent{evAdvance, 1});
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
  const TPlace place = LocatePlace(original, 6);  // the WAIT after "TEXT b"
  EXPECT_EQ(place.Label, "day");
  EXPECT_EQ(place.Offset, 4);
  auto placeIn = [&](const std::vector<std::string>& commands, TPlaceFound* how = nullptr) {
    TScriptLoader edited;
    Compile(edited, commands);
    int32_t position = -9;
    const TPlaceFound found = FindPlace(edited, place, position);
    if (how) *how = found;
    return found == TPlaceFound::Found ? position : -9;
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
  // The place's page rewritten: not found, and said so; its label's start is still there.
  std::vector<std::string> v6 = v1;
  v6[4] = "WAIT";
  v6[5] = "TEXT changed";
  v6[7] = "TEXT also changed";
  TPlaceFound how;
  EXPECT_EQ(placeIn(v6, &how), -9);
  EXPECT_EQ(how, TPlaceFound::Lost);
  TScriptLoader rewritten;
  Compile(rewritten, v6);
  EXPECT_EQ(LabelStart(rewritten, place), 2);
  // An offset from a damaged save, however large, is no place.
  TPlace far = place;
  far.Offset = INT32_MAX;
  int32_t position = 0;
  EXPECT_EQ(FindPlace(original, far, position), TPlaceFound::Found);  // found by its commands
  EXPECT_EQ(position, 6);
  // The end of the script stays the end.
  const TPlace end = LocatePlace(original, -1);
  TScriptLoader any;
  Compile(any, v2);
  position = 5;
  EXPECT_EQ(FindPlace(any, end, position), TPlaceFound::Found);
  EXPECT_EQ(position, -1);
}

// A process saving over one file again and again, killed at unforeseen moments: the file
// is always a whole save, the old one or the new one.
TEST_F(SaveFiles, AProcessKilledWhileSavingLeavesAWholeSave) {
  TSave save = SaveAfter(3);
  const std::string path = FDir / "loop.sav";
  TRefusal refused;
  ASSERT_TRUE(WriteSave(path, save, refused));
  FRuntime.reset();
  for (int round = 0; round < 12; ++round) {
    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      ::close(ready[0]);
      TRefusal why;
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
    TRefusal why;
    EXPECT_TRUE(ReadSave(path, back, why)) << "round " << round << ": " << why.English();
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
