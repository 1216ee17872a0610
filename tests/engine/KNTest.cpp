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
