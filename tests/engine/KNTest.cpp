#include "engine/KN.h"

#include <gtest/gtest.h>

#include "../PngWriter.h"
#include "../TestSupport.h"

namespace {

// An engine over a small scene file in a folder of its own, the current directory.
class EngineTest : public testing::Test {
 protected:
  void SetUp() override {
    WritePng(FDir / "a.png", 4, 3, PNG_COLOR_TYPE_RGB, 8, std::vector<uint8_t>(36, 0x40));
    WritePng(FDir / "m.png", 8, 6, PNG_COLOR_TYPE_RGB, 8, std::vector<uint8_t>(144, 0x80));
    WriteFile(FDir / "s.knv",
              "<kn><trans><transrule src=m.png/></trans>"
              "<scene index=first control=1><knobject type=button src=a.png hover=a.png width=4 height=3 "
              "pos_x=0 pos_y=0 alpha=255 index=9/></scene>"
              "<scene index=second></scene><scene index=third></scene></kn>");
    ASSERT_EQ(KNCreate(&FEngine), 0);
    const TKNOutput size{0, nullptr, nullptr, 0, 0, 6, 8, KNOUTPUT_SIZE};
    FEngine->SetOutput(&size);
    ASSERT_EQ(FEngine->LoadScenes("s.knv"), 0);
  }
  void TearDown() override {
    if (FEngine) FEngine->Release();
  }
  TKinetra& Engine() { return *static_cast<TKinetra*>(FEngine); }
  void Tick(int32_t x = -1, int32_t y = -1) {
    FList.Count = 0;
    const TKNUpdateInfo info{1, 60, x, y, &FList};
    FEngine->Update(&info);
  }

  TempDir FDir;
  InDirectory FIn{FDir.Path()};
  IKinetra* FEngine = nullptr;
  TRect FStore[16];
  TClipRects FList{FStore, 0, 16};
};

TEST_F(EngineTest, ScenesChangeByNameWithTheirTwoRefusals) {
  EXPECT_EQ(FEngine->ChangeScene(0, "nowhere", -1, 0), -2);
  EXPECT_EQ(FEngine->ChangeScene(0, "first", -1, 0), -1);
  EXPECT_EQ(FEngine->ChangeScene(1, "NULL", -1, 0), -1);
  EXPECT_EQ(FEngine->ChangeScene(0, "second", -1, 0), 0);
  EXPECT_EQ(Engine().Current(0), 1);
  EXPECT_EQ(Engine().Previous(0), -1);
  EXPECT_EQ(FEngine->ChangeScene(0, "NULL", -1, 0), 0);
  EXPECT_EQ(Engine().Current(0), -1);
  // Transition values without a mask behind them change at once.
  for (int32_t transition : {8, -3, 1}) {
    EXPECT_EQ(FEngine->ChangeScene(0, transition == 1 ? "third" : transition == 8 ? "second" : "first", transition,
                                   1000),
              0);
    EXPECT_EQ(Engine().TransitionState(0), TKinetra::kNoTransition) << transition;
  }
  // A scene shows on one layer at a time.
  EXPECT_EQ(FEngine->ChangeScene(1, "third", -1, 0), -1);
  EXPECT_EQ(Engine().Current(1), -1);
  EXPECT_EQ(FEngine->LoadScenes("s.knv"), -2);  // one file per engine
}

TEST_F(EngineTest, ATransitionOfOneSecondReachesItsLastLevelAtTickSixtyAndEndsAtSixtyOne) {
  ASSERT_EQ(FEngine->ChangeScene(0, "second", -2, 1000), 0);
  EXPECT_EQ(FEngine->IsBusy(), 1);
  for (int tick = 1; tick <= 60; ++tick) Tick();
  EXPECT_EQ(Engine().TransitionLevel(0), 255);
  EXPECT_EQ(Engine().TransitionState(0), TKinetra::kCrossFade);
  Tick();
  EXPECT_EQ(Engine().TransitionState(0), TKinetra::kNoTransition);
  EXPECT_EQ(Engine().Previous(0), -1);
  ASSERT_EQ(FList.Count, 1);
  EXPECT_EQ(FList.Rects[0], Rect(0, 0, 8, 6));
  // A mask transition with no length ends at the next update.
  ASSERT_EQ(FEngine->ChangeScene(0, "third", 0, 0), 0);
  EXPECT_EQ(Engine().TransitionState(0), TKinetra::kMaskTransition);
  Tick();
  EXPECT_EQ(Engine().TransitionState(0), TKinetra::kNoTransition);
}

// A fade kept mid-way is taken by an engine that has never faded (its pictures for fading
// are made when first needed) and goes on there as it would have in the first.
TEST_F(EngineTest, AFadeKeptMidwayGoesOnTheSameInAnEngineThatNeverFaded) {
  IKinetra* fresh = nullptr;
  ASSERT_EQ(KNCreate(&fresh), 0);
  const TKNOutput size{0, nullptr, nullptr, 0, 0, 6, 8, KNOUTPUT_SIZE};
  fresh->SetOutput(&size);
  ASSERT_EQ(fresh->LoadScenes("s.knv"), 0);
  ASSERT_EQ(FEngine->ChangeScene(0, "second", -2, 1000), 0);
  for (int tick = 0; tick < 20; ++tick) Tick();
  std::vector<uint8_t> state(size_t(Engine().SaveState(nullptr, 0)));
  ASSERT_EQ(Engine().SaveState(state.data(), int64_t(state.size())), int64_t(state.size()));
  ASSERT_EQ(static_cast<TKinetra*>(fresh)->LoadState(state.data(), int64_t(state.size())), 0);
  TRect all = Rect(0, 0, 8, 6);
  TRect store[16];
  TClipRects list{store, 0, 16};
  auto picture = [&](IKinetra* engine) {
    TABitmap out;
    out.SetSize(8, 6);
    out.FillRGB(1, 2, 3);
    const TKNOutput direct{KN_OUTPUT_DIRECT, nullptr, out.Handle(), 0, 0, 0, 0, KNOUTPUT_MODE};
    engine->SetOutput(&direct);
    TClipRects whole{&all, 1, 1};
    TClipRects* rects = &whole;
    engine->Draw(&rects);
    return std::vector<uint8_t>(out.ScanLine(0), out.ScanLine(0) + 8 * 6 * 4);
  };
  for (int tick = 0; tick < 45; tick += 15) {
    EXPECT_EQ(picture(fresh), picture(FEngine)) << tick;
    for (int k = 0; k < 15; ++k) {
      Tick();
      list.Count = 0;
      const TKNUpdateInfo info{1, 60, -1, -1, &list};
      fresh->Update(&info);
    }
  }
  EXPECT_EQ(static_cast<TKinetra*>(fresh)->TransitionState(0), TKinetra::kNoTransition);
  fresh->Release();
}

TEST_F(EngineTest, ABusySceneTakesOneSelectionThenStopsTakingInput) {
  EXPECT_EQ(FEngine->IsBusy(), 0);  // input is counted by Update
  Tick(10, 10);
  EXPECT_EQ(FEngine->IsBusy(), 1);
  EXPECT_EQ(FEngine->TakeSelection(), -1);
  Tick(1, 1);
  EXPECT_EQ(FEngine->TakeSelection(), 9);
  Tick(1, 1);
  EXPECT_EQ(FEngine->IsBusy(), 0);
}

TEST_F(EngineTest, ItsStateInterfaceIsTheSameEngineAndSaysWhatEachLayerShows) {
  void* state = nullptr;
  ASSERT_EQ(FEngine->QueryInterface(&IID_IKinetraState, &state), 0);
  auto* view = static_cast<IKinetraState*>(state);
  void* back = nullptr;
  ASSERT_EQ(view->QueryInterface(&IID_IKinetra, &back), 0);
  EXPECT_EQ(back, FEngine);
  FEngine->Release();

  TKNLayerInfo layer{};
  EXPECT_EQ(view->GetLayerInfo(2, &layer), -1);
  EXPECT_EQ(view->GetLayerInfo(-1, &layer), -1);
  ASSERT_EQ(view->GetLayerInfo(0, &layer), 0);
  EXPECT_EQ(layer.Current, 0);
  EXPECT_EQ(layer.Transition, KN_TRANSITION_NONE);
  EXPECT_EQ(layer.Input, 1);  // the first scene takes input from the start

  TKNButtonInfo buttons[2]{};
  EXPECT_EQ(view->GetButtons(0, buttons, 0), 1);  // counts without room to write
  ASSERT_EQ(view->GetButtons(0, buttons, 2), 1);
  EXPECT_EQ(buttons[0].Index, 9);
  EXPECT_EQ(buttons[0].Width, 4);
  EXPECT_EQ(buttons[0].Height, 3);
  EXPECT_EQ(view->GetButtons(1, buttons, 2), 0);
  EXPECT_EQ(view->GetButtons(99, buttons, 2), -1);

  // A cross-fade and a mask, then the transition's end; input ends with a selection.
  ASSERT_EQ(FEngine->ChangeScene(1, "second", KN_TRANSITION_CROSSFADE, 1000), 0);
  ASSERT_EQ(FEngine->ChangeScene(0, "third", 0, 1000), 0);
  Tick();
  ASSERT_EQ(view->GetLayerInfo(1, &layer), 0);
  EXPECT_EQ(layer.Transition, KN_TRANSITION_CROSSFADE);
  EXPECT_EQ(layer.Previous, -1);
  ASSERT_EQ(view->GetLayerInfo(0, &layer), 0);
  EXPECT_EQ(layer.Transition, KN_TRANSITION_MASK);
  EXPECT_EQ(layer.Previous, 0);
  EXPECT_EQ(layer.Current, 2);
  EXPECT_GT(layer.Level, 0);
  for (int i = 0; i < 60; ++i) Tick();
  ASSERT_EQ(view->GetLayerInfo(0, &layer), 0);
  EXPECT_EQ(layer.Transition, KN_TRANSITION_NONE);
  EXPECT_EQ(layer.Previous, -1);
  EXPECT_EQ(layer.Input, 0);
  view->Release();
}

TEST_F(EngineTest, AChangeBackToTheOutgoingSceneEndsTheTransitionFirst) {
  ASSERT_EQ(FEngine->ChangeScene(0, "second", -2, 1000), 0);
  Tick();
  Tick();
  // "first" is going out; showing it again ends that fade and activates it anew.
  ASSERT_EQ(FEngine->ChangeScene(0, "first", -2, 1000), 0);
  EXPECT_EQ(Engine().Current(0), 0);
  EXPECT_EQ(Engine().Previous(0), 1);
  EXPECT_EQ(Engine().TransitionState(0), TKinetra::kCrossFade);
  Tick();
  EXPECT_EQ(Engine().TransitionLevel(0), 4);  // the new fade started at the change
}

TEST_F(EngineTest, AChangeWithoutTransitionListsWhereTheOldSceneWas) {
  Tick();
  ASSERT_EQ(FEngine->ChangeScene(0, "second", -1, 0), 0);
  Tick();
  ASSERT_EQ(FList.Count, 1);
  EXPECT_EQ(FList.Rects[0], Rect(0, 0, 4, 3));
  Tick();
  EXPECT_EQ(FList.Count, 0);  // once
}

TEST_F(EngineTest, DrawsIntoTheCallersBitmapOrCopiesItsOwnOrNothing) {
  TABitmap a, b, target;
  for (TABitmap* bitmap : {&a, &b}) bitmap->SetSize(8, 6), bitmap->FillRGB(0, 0, 0);
  target.SetSize(12, 10);
  target.FillRGB(0, 0, 0);
  auto draw = [&] {
    TClipRects* list = &FList;
    FEngine->Draw(&list);
  };
  // Mode 3: straight into the bitmap given; the next draw into another leaves it alone.
  Tick();
  TKNOutput o{3, nullptr, a.Handle(), 0, 0, 0, 0, KNOUTPUT_MODE};
  FEngine->SetOutput(&o);
  draw();
  EXPECT_EQ(a.ScanLine(0)[0], (127 * 0x40) >> 7);
  EXPECT_EQ(a.ScanLine(3)[0], 0);  // below the button: nothing of the scene, not drawn
  o.Bitmap = b.Handle();
  FEngine->SetOutput(&o);
  a.FillRGB(1, 1, 1);
  draw();
  EXPECT_EQ(a.ScanLine(0)[0], 1);
  EXPECT_EQ(b.ScanLine(2)[3 * 4 + 1], (127 * 0x40) >> 7);
  // Mode 1: into the engine's own picture, copied whole to the target at its position.
  const TKNOutput own{1, target.Handle(), nullptr, 2, 3, 0, 0, KNOUTPUT_MODE | KNOUTPUT_POSITION};
  FEngine->SetOutput(&own);
  FList.Count = 0;
  const TRect all = Rect(0, 0, 8, 6);
  AddRect(&FList, &all);
  draw();
  EXPECT_EQ(target.ScanLine(3)[2 * 4], (127 * 0x40) >> 7);
  EXPECT_EQ(target.ScanLine(2)[2 * 4], 0);
  EXPECT_EQ(target.ScanLine(3)[1 * 4], 0);
  // Any other mode draws nothing.
  const TKNOutput none{2, nullptr, a.Handle(), 0, 0, 0, 0, KNOUTPUT_MODE};
  FEngine->SetOutput(&none);
  a.FillRGB(1, 1, 1);
  Tick();
  draw();
  EXPECT_EQ(a.ScanLine(0)[0], 1);
}

// Many scenes, each with a picture of its own: the worker decodes ahead while the engine's
// thread changes, updates and draws scenes (run under ThreadSanitizer as well).
TEST(EngineThreads, ScenesChangeWhileTheWorkerDecodesAhead) {
  TempDir dir;
  InDirectory in(dir.Path());
  std::string file = "<kn><trans><transrule src=p0.png vag=2/></trans>";
  for (int i = 0; i < 12; ++i) {
    const std::string name = "p" + std::to_string(i) + ".png";
    WritePng(dir / name, 16, 12, PNG_COLOR_TYPE_RGB, 8, std::vector<uint8_t>(16 * 12 * 3, uint8_t(i * 20)));
    file += "<scene index=s" + std::to_string(i) + "><knobject type=img src=" + name +
            " width=16 height=12 pos_x=\"#t MaxLimit 5\" pos_y=0 alpha=255/></scene>";
  }
  WriteFile(dir / "s.knv", file + "</kn>");
  IKinetra* engine = nullptr;
  ASSERT_EQ(KNCreate(&engine), 0);
  TABitmap screen;
  screen.SetSize(16, 12);
  const TKNOutput o{3, nullptr, screen.Handle(), 0, 0, 12, 16, KNOUTPUT_MODE | KNOUTPUT_SIZE};
  engine->SetOutput(&o);
  ASSERT_EQ(engine->LoadScenes("s.knv"), 0);
  TRect store[16];
  TClipRects list{store, 0, 16};
  for (int tick = 0; tick < 240; ++tick) {
    if (tick % 7 == 0) {
      const std::string name = "s" + std::to_string((tick / 7) % 12);
      engine->ChangeScene(tick % 3 == 0 ? 1 : 0, name.c_str(), tick % 2 == 0 ? -2 : 0, 50);
    }
    list.Count = 0;
    const TKNUpdateInfo info{1, 60, 3, 3, &list};
    engine->Update(&info);
    TClipRects* frame = &list;
    engine->Draw(&frame);
  }
  EXPECT_EQ(engine->Release(), 0);
}

TEST(Engine, ItsLogSaysWhenItStartsAndEnds) {
  TempDir dir;
  const auto home = std::filesystem::current_path();
  std::filesystem::current_path(dir.Path());
  IKinetra* engine = nullptr;
  ASSERT_EQ(KNCreate(&engine), 0);
  void* same = nullptr;
  EXPECT_EQ(engine->QueryInterface(&IID_IKinetra, &same), 0);
  EXPECT_EQ(same, engine);
  EXPECT_EQ(engine->Release(), 1);
  EXPECT_EQ(engine->Release(), 0);
  std::filesystem::current_path(home);
  const std::string log = ReadFile(dir / "Kinetra.log");
  EXPECT_NE(log.find("\r\nInitializing.\r\n"), std::string::npos) << log;
  EXPECT_TRUE(log.ends_with("Exit.\r\n")) << log;
}

}  // namespace
