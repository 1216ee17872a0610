#include "player/PadControls.h"

#include <gtest/gtest.h>

TEST(PadControls, OverTheStoryThePadReadsItAndOverAnythingElseItIsTheKeyboard) {
  using B = TPadButton;
  using A = TPadAction;
  const auto down = [](B b, bool overStory) { return PadAction(TPadChange{b, true}, overStory); };
  EXPECT_EQ(down(B::A, true), A::Advance);
  EXPECT_EQ(down(B::Down, true), A::SelectNext);
  EXPECT_EQ(down(B::Right, true), A::SelectNext);
  EXPECT_EQ(down(B::Up, true), A::SelectPrevious);
  EXPECT_EQ(down(B::B, true), A::OpenBacklog);
  EXPECT_EQ(down(B::Start, true), A::OpenSaveScreen);
  EXPECT_EQ(down(B::Back, true), A::OpenLoadScreen);
  EXPECT_EQ(down(B::RightShoulder, true), A::HoldSkip);
  EXPECT_EQ(down(B::LeftShoulder, true), A::ToggleAuto);
  EXPECT_EQ(down(B::A, false), A::KeyReturn);
  EXPECT_EQ(down(B::B, false), A::KeyEscape);
  EXPECT_EQ(down(B::Left, false), A::KeyLeft);
  EXPECT_EQ(down(B::Start, false), A::None);  // a screen is open: nothing opens over it
  // Only the held skip does anything when a button comes up.
  EXPECT_EQ(PadAction(TPadChange{B::RightShoulder, false}, true), A::ReleaseSkip);
  EXPECT_EQ(PadAction(TPadChange{B::A, false}, true), A::None);
  EXPECT_EQ(PadAction(TPadChange{B::RightShoulder, false}, false), A::None);
}
