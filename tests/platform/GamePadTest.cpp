// Game pads, with SDL's virtual joystick standing in for a real pad: no hardware needed.
#include "platform/GamePad.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "../VirtualPad.h"

namespace {

std::string Changes(TGamePads& pads) {
  TPadChange out[TGamePads::kMaxPads * kPadButtonCount];
  const int n = pads.Poll(out, int(sizeof out / sizeof out[0]));
  static const char* const kNames[] = {"A", "B", "Back", "Start", "L", "R", "Up", "Down", "Left", "Right"};
  std::string s;
  for (int i = 0; i < n; ++i) s += std::string(out[i].Down ? "+" : "-") + kNames[int(out[i].Button)] + " ";
  return s;
}

class GamePads : public testing::Test {
 protected:
  void SetUp() override {
    SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
    if (!FPads.Open()) GTEST_SKIP() << "no SDL game controller support here";
  }
  TGamePads FPads;
};

TEST_F(GamePads, AVirtualPadIsPluggedInReadAndPulledOut) {
  EXPECT_EQ(Changes(FPads), "");
  EXPECT_EQ(FPads.PadCount(), 0);
  {
    TVirtualPad pad;
    ASSERT_TRUE(pad.Plugged()) << SDL_GetError();
    EXPECT_EQ(Changes(FPads), "");  // plugged in: found, nothing held
    EXPECT_EQ(FPads.PadCount(), 1);
    pad.Button(SDL_CONTROLLER_BUTTON_A, true);
    pad.Button(SDL_CONTROLLER_BUTTON_START, true);
    EXPECT_EQ(Changes(FPads), "+A +Start ");
    EXPECT_EQ(Changes(FPads), "");  // held: told once
    pad.Button(SDL_CONTROLLER_BUTTON_A, false);
    pad.Button(SDL_CONTROLLER_BUTTON_DPAD_DOWN, true);
    EXPECT_EQ(Changes(FPads), "-A +Down ");
    pad.Button(SDL_CONTROLLER_BUTTON_DPAD_DOWN, false);
    EXPECT_EQ(Changes(FPads), "-Down ");
    // The stick presses a direction past half its way and lets go only nearer the middle.
    pad.Axis(SDL_CONTROLLER_AXIS_LEFTY, -20000);
    EXPECT_EQ(Changes(FPads), "+Up ");
    pad.Axis(SDL_CONTROLLER_AXIS_LEFTY, -12000);
    EXPECT_EQ(Changes(FPads), "");
    pad.Axis(SDL_CONTROLLER_AXIS_LEFTY, -4000);
    pad.Axis(SDL_CONTROLLER_AXIS_LEFTX, 30000);
    EXPECT_EQ(Changes(FPads), "-Up +Right ");
  }
  // Pulled out with Start and Right held: they come up, and the pad is gone.
  EXPECT_EQ(Changes(FPads), "-Start -Right ");
  EXPECT_EQ(FPads.PadCount(), 0);
}

}  // namespace
