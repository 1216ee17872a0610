#include "player/SubThread.h"

#include "player/KinetraLayer.h"
#include "player/ScriptLoader.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <new>
#include <thread>

#include "../TestSupport.h"
#include "platform/CodePage.h"
#include "platform/Dialogs.h"
#include "tools/SnapshotPng.h"

#include "AllocationCounter.h"

namespace {

class FakeClock : public IFrameClock {
 public:
  uint32_t T = 1000;
  uint32_t Sleeps = 0;
  uint32_t Now() override { return T; }
  void Sleep(uint32_t ms) override {
    T += ms;
    ++Sleeps;
  }
};

TEST(FramePacer, KeepsOneUpdatePerFrameWithoutDrift) {
  FakeClock clock;
  std::atomic<uint32_t> frame{0};
  TFramePacer pacer(clock, frame);
  pacer.Start();
  int updates = 0, draws = 0;
  for (int i = 0; i < 10000; ++i)
    pacer.Cycle([&] { ++updates; }, [&] { ++draws, ++frame; }, false);
  EXPECT_EQ(updates, 10000);
  EXPECT_EQ(draws, 10000);
  EXPECT_EQ(pacer.UpdateCount, 0u);
  // The last draw came at the 10000th deadline from the start: no error has built up.
  EXPECT_EQ(clock.T - 1000, 166667u);
}

TEST(FramePacer, CatchesUpAtMostThirtyUpdatesAfterAStall) {
  FakeClock clock;
  std::atomic<uint32_t> frame{0};
  TFramePacer pacer(clock, frame);
  pacer.Start();
  int updates = 0;
  auto draw = [&] { ++frame; };
  pacer.Cycle([&] { ++updates; }, draw, false);
  // The main thread stalls for a second inside the next update.
  bool stalled = false;
  pacer.Cycle(
      [&] {
        ++updates;
        if (!stalled) clock.T += 1000, stalled = true;
      },
      draw, false);
  EXPECT_EQ(pacer.CatchUpCount, 30u);
  EXPECT_EQ(updates, 1 + 1 + 30);
  // Still behind: the following cycles catch up further, thirty at most each, then settle.
  std::vector<uint32_t> catchUps;
  for (int i = 0; i < 4; ++i) {
    pacer.Cycle([&] { ++updates; }, draw, false);
    catchUps.push_back(pacer.CatchUpCount);
  }
  // 1000 ms is 60 frames: 30 were caught up and one drawn; 28 more, then it keeps up.
  EXPECT_EQ(catchUps, (std::vector<uint32_t>{28, 0, 0, 0}));
  EXPECT_EQ(pacer.UpdateCount, 58u);
}

// A host that remembers what it was asked.
class TestHost : public IPlayerHost {
 public:
  TPoint Mouse{};
  int Presents = 0;
  bool Closed = false;
  TPoint ClientOrigin() override { return TPoint{100, 50}; }
  TPoint CursorPos() override { return TPoint{Mouse.x + 100, Mouse.y + 50}; }
  void Invalidate() override {}
  void Present(const TABitmap&, const TRect&) override { ++Presents; }
  void DrawOverlay(const std::vector<TOverlayLine>&) override {}
  void Close() override { Closed = true; }
  std::unique_ptr<ISCLDebugView> CreateScriptDebugView() override { return nullptr; }
  std::unique_ptr<IVariableDebugView> CreateVariableDebugView(TIntTable&) override { return nullptr; }
  bool MayStartProcess(const std::string&, const std::string&) override { return false; }
};

class Runtime : public testing::Test {
 protected:
  void SetUp() override { FOldDir = std::filesystem::current_path(); }
  void TearDown() override {
    FRuntime.reset();
    std::filesystem::current_path(FOldDir);
  }
  TSubThread& Start(const std::u16string& script, IFrameClock& clock = PlatformFrameClock()) {
    WriteFile(FDir / "start.svx", WideToCP932(script));
    FRuntime = std::make_unique<TSubThread>(FHost, FDir.Path(), clock);
    return *FRuntime;
  }
  void Frame() {
    FRuntime->UpdateStep();
    FRuntime->DrawStep();
  }
  // The story's scene file, beside p.png: a whole screen of one colour.
  void WriteScenes(const std::string& knv) {
    std::filesystem::create_directory(FDir / "knv");
    TABitmap picture;
    picture.SetSize(kScreenWidth, kScreenHeight);
    picture.FillRGB(30, 60, 90);
    ASSERT_TRUE(SaveSnapshotPng(picture, FDir / "p.png"));
    WriteFile(FDir / "knv/background.knv", knv);
  }

  TempDir FDir;
  TestHost FHost;
  std::unique_ptr<TSubThread> FRuntime;
  std::filesystem::path FOldDir;
  // Boxes answered by their first button for the fixture's life, however a test ends.
  const TMessageDlgScope FDialogs{[](const std::string&, TMsgDlgType, TMsgDlgButtons b) {
    return ModalResultOf(FirstButton(b));
  }};
};

TEST_F(Runtime, TypingAndIdleFramesAllocateNothing) {
  if (!gCountingAvailable) GTEST_SKIP() << "allocations are not counted under a sanitizer";
  TSubThread& rt = Start(u"<BODY><CODE>SETLAYERVISIBLE 0,1,0,0</CODE><P>はるかかなたの山の上に、小さな白い家が一軒だけ建っていました。"
                         u"そこには年老いた時計職人が住んでいました。</P></BODY>");
  Frame();  // runs the commands and renders the page
  ASSERT_TRUE(rt.AnyLayerBusy());
  long typing = 0;
  int typingFrames = 0;
  while (rt.AnyLayerBusy()) {
    gAllocations = 0;
    gCounting = true;
    Frame();
    gCounting = false;
    typing += gAllocations;
    ++typingFrames;
  }
  EXPECT_GT(typingFrames, 20);
  EXPECT_EQ(typing, 0);
  gAllocations = 0;
  gCounting = true;
  for (int i = 0; i < 100; ++i) Frame();
  gCounting = false;
  EXPECT_EQ(gAllocations, 0);
}

TEST_F(Runtime, TransitionFramesAllocateNothing) {
  if (!gCountingAvailable) GTEST_SKIP() << "allocations are not counted under a sanitizer";
  WriteScenes("<kn><trans><transrule src=p.png vag=3/></trans>"
              "<scene index=a><knobject type=img src=p.png width=800 height=600 pos_x=0 pos_y=0 alpha=255/></scene>"
              "<scene index=b><knobject type=img src=p.png width=800 height=600 pos_x=\"#t MaxLimit 50\" pos_y=0 "
              "alpha=\"#t * 3\"/></scene></kn>");
  TSubThread& rt = Start(u"<BODY><CODE>CHANGESCENE 0,b,-2,500</CODE><CODE>CHANGESCENE 0,a,0,500</CODE>"
                         u"<CODE>WAIT</CODE></BODY>");
  bool dispatched = false;
  std::vector<int> changes;
  int frame = 0;
  rt.OnDispatch = [&](int32_t, const AnsiString&, const WideString&) { dispatched = true, changes.push_back(frame); };
  // The page's checkpoint, once the change is over, keeps a copy of the picture: a page's
  // cost, not a frame's.
  bool checkpoint = false;
  rt.OnCheckpoint = [&](uint32_t) { checkpoint = true; };
  int counted = 0;
  long allocations = 0;
  for (; frame < 80; ++frame) {
    dispatched = false;
    gAllocations = 0;
    gCounting = true;
    Frame();
    gCounting = false;
    // A scene change takes its pictures from the cache; the frames of the transitions, and
    // those after, must not allocate.
    if (!dispatched && !checkpoint) allocations += gAllocations, ++counted;
    checkpoint = false;
  }
  EXPECT_EQ(changes, (std::vector<int>{0, 31}));  // half a second: over at tick 31
  EXPECT_EQ(counted, 77);  // all but the two changes and the checkpoint
  EXPECT_EQ(allocations, 0);
}

// The picture shown at once after the first update is the one its frame draws at the
// deadline, and showing it early changes none of the frames after.
TEST_F(Runtime, TheFirstPictureIsTheFirstFramesAndChangesNoFrameAfter) {
  WriteScenes("<kn><scene index=a><knobject type=img src=p.png width=400 height=300 pos_x=\"#t MaxLimit 200\" "
              "pos_y=10 alpha=255/></scene></kn>");
  const std::u16string script = u"<BODY><CODE>CHANGESCENE 0,a,-1,300</CODE><CODE>SETLAYERVISIBLE 0,1,0,0</CODE>"
                                u"<P>はるかかなたの山の上に</P></BODY>";
  auto frames = [&](bool early) {
    FakeClock clock;
    TSubThread& rt = Start(script, clock);
    std::vector<std::vector<uint8_t>> shown;
    auto keep = [&] {
      const TABitmap& b = rt.Picture();
      shown.emplace_back(b.ScanLine(0), b.ScanLine(0) + size_t(b.Width()) * b.Height() * 4);
    };
    rt.UpdateStep();
    if (early) {
      const int before = FHost.Presents;
      rt.ShowFirstPicture();
      EXPECT_GT(FHost.Presents, before);
      keep();
    }
    rt.DrawStep();
    keep();
    for (int i = 0; i < 30; ++i) {
      clock.T += 17;
      Frame();
      keep();
    }
    FRuntime.reset();
    return shown;
  };
  const auto plain = frames(false), early = frames(true);
  ASSERT_EQ(early.size(), plain.size() + 1);
  EXPECT_TRUE(early[0] == plain[0]);
  EXPECT_TRUE(std::equal(plain.begin(), plain.end(), early.begin() + 1));
  EXPECT_FALSE(plain.front() == plain.back());  // the frames do change
}

TEST_F(Runtime, SpeakerAndLayerVisibility) {
  TSubThread& rt = Start(u"<BODY><CODE>SPEAKER 春香</CODE><CODE>SETLAYERVISIBLE x,1,y,z</CODE><CODE>WAIT</CODE>"
                         u"<CODE>SPEAKER </CODE><CODE>SETLAYERVISIBLE 0,False,0,0</CODE></BODY>");
  EXPECT_FALSE(rt.Message().Visible);
  EXPECT_FALSE(rt.Speaker().Visible);
  rt.UpdateStep();
  EXPECT_TRUE(rt.Speaker().Visible);
  EXPECT_TRUE(rt.Message().Visible);
  EXPECT_EQ(rt.Speaker().State().Lines[0].Text, u"春香");
  ASSERT_EQ(rt.Dirty().Count, 1);  // the message window is marked
  EXPECT_EQ(rt.Dirty().Rects[0], Rect(22, 395, 778, 587));
  rt.DrawStep();
  rt.Input(TInputEvent{evAdvance, 1});
  rt.UpdateStep();
  EXPECT_FALSE(rt.Speaker().Visible);
  EXPECT_FALSE(rt.Message().Visible);
}

TEST_F(Runtime, MouseIsInClientCoordinates) {
  TSubThread& rt = Start(u"<BODY><P>x</P></BODY>");
  FHost.Mouse = TPoint{30, 40};
  rt.UpdateStep();
  EXPECT_EQ(rt.ClientOrigin().x, 100);
  EXPECT_EQ(rt.Message().MouseX, 30);
  EXPECT_EQ(rt.Speaker().MouseY, 40);
}

TEST_F(Runtime, TheKeyboardStartsFromTheLineUnderTheMouseAndTheMouseTakesOverAgain) {
  TSubThread& rt = Start(u"<BODY><P>どちら？</P><UL><LI><A href=#a>一</A></LI><LI><A href=#b>二</A></LI>"
                         u"<LI><A href=#c>三</A></LI></UL><A name=a></A><A name=b></A><A name=c></A></BODY>");
  // Nothing is open to choose yet: a step does nothing.
  rt.Input(TInputEvent{evSelectNext, 0});
  Frame();
  for (int i = 0; i < 10 && rt.Message().SelectMode != kSelectChoice; ++i) {
    rt.Input(TInputEvent{evAdvance, 1});
    Frame();
  }
  ASSERT_EQ(rt.Message().SelectMode, kSelectChoice);
  const TPoint second = rt.Message().ChoicePoint(1);
  FHost.Mouse = second;
  Frame();
  EXPECT_EQ(rt.Message().State().HoverLine, 1);
  rt.Input(TInputEvent{evSelectNext, 0});
  Frame();
  EXPECT_EQ(rt.Message().State().HoverLine, 2);
  EXPECT_EQ(rt.Message().MouseY, rt.Message().ChoicePoint(2).y);
  // The mouse moves a pixel: its line is highlighted again.
  FHost.Mouse.y += 1;
  Frame();
  EXPECT_EQ(rt.Message().State().HoverLine, 1);
  rt.Input(TInputEvent{evSelectPrevious, 0});
  Frame();
  EXPECT_EQ(rt.Message().State().HoverLine, 0);
  rt.Input(TInputEvent{evAdvance, 1});
  Frame();
  int32_t chosen = -1;
  EXPECT_TRUE(rt.VariableTable().TryGetInt("LASTSELECT", chosen));
  EXPECT_EQ(chosen, 0);
  EXPECT_NE(rt.Message().SelectMode, kSelectChoice);
  // The choice is over: the layers follow the mouse again.
  EXPECT_EQ(rt.Message().MouseY, FHost.Mouse.y);
}

TEST_F(Runtime, TheLogHasStartFontAndEndLines) {
  Start(u"<HTML>no body</HTML>");
  FRuntime.reset();
  const std::string log = ReadFile(FDir / "sorvane.log");
  EXPECT_NE(log.find("\r\nプログラムを開始しました。\r\n"), std::string::npos);
  EXPECT_NE(log.find("文字の表示に使うフォント: "), std::string::npos);
  EXPECT_NE(log.find("BODY要素がありません"), std::string::npos);
  EXPECT_EQ(log.substr(log.size() - std::string("プログラムを終了しました。\r\n").size()),
            "プログラムを終了しました。\r\n");
}

TEST_F(Runtime, AMissingScriptFailsConstruction) {
  EXPECT_THROW(FRuntime = std::make_unique<TSubThread>(FHost, FDir.Path()), EInOutError);
}

TEST_F(Runtime, DestroyingARunningInterpreterCompletes) {
  Start(u"<BODY><P>動いています</P></BODY>");
  std::atomic<bool> done{false};
  std::thread watchdog([&] {
    for (int i = 0; i < 1000 && !done; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    if (!done) std::abort();
  });
  FRuntime->Start();
  // Serve a few frames, then leave the worker waiting in Synchronize.
  const uint32_t until = FRuntime->Frame() + 5;
  while (FRuntime->Frame() < until) TThread::CheckSynchronize();
  FRuntime.reset();
  done = true;
  watchdog.join();
}
}  // namespace

namespace {
// The start-up box for an engine that could not be made names what failed.
TEST(SceneLayer, AnEngineThatCannotBeMadeEndsTheStartWithItsCause) {
  std::vector<std::string> boxes;
  const TMessageDlgScope dialogs([&](const std::string& text, TMsgDlgType, TMsgDlgButtons) {
    boxes.push_back(text);
    return mrOk;
  });
  const std::pair<TKinetraLayer::TCreate, const char*> cases[] = {
      {[](IKinetra**) { return KN_E_CREATE_NOTHREAD; }, "グラフィックエンジンのスレッドを開始できません"},
      {[](IKinetra**) { return KN_E_CREATE_NOMEMORY; }, "メモリー不足です"},
      {[](IKinetra**) { return int32_t(-1); }, "グラフィックエンジンを作成できません"},
      {[](IKinetra** out) { return *out = nullptr, int32_t(0); }, "グラフィックエンジンを作成できません"},
  };
  for (const auto& [create, cause] : cases) {
    boxes.clear();
    EXPECT_THROW(TKinetraLayer{create}, EStartupAborted) << cause;
    ASSERT_EQ(boxes.size(), 1u) << cause;
    EXPECT_NE(boxes[0].find(std::string("原因: ") + cause), std::string::npos) << boxes[0];
  }
}
}  // namespace
