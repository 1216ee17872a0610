#include "player/KeySelection.h"

#include <gtest/gtest.h>

TEST(KeySelection, StepsFromNoneToAnEndAndHoldsAtTheEnds) {
  EXPECT_EQ(TKeySelection::Step(-1, 1, 3), 0);
  EXPECT_EQ(TKeySelection::Step(-1, -1, 3), 2);
  EXPECT_EQ(TKeySelection::Step(0, 1, 3), 1);
  EXPECT_EQ(TKeySelection::Step(2, 1, 3), 2);
  EXPECT_EQ(TKeySelection::Step(0, -1, 3), 0);
  // A choice that shrank under it starts again; nothing to choose is none.
  EXPECT_EQ(TKeySelection::Step(7, 1, 3), 0);
  EXPECT_EQ(TKeySelection::Step(-1, 1, 0), -1);
}

TEST(KeySelection, ButtonsGoByRowsThenFromTheLeft) {
  // Two rows, the second button of the first row a little lower than the first; a wide
  // button alone below.
  std::vector<TKNButtonInfo> b = {{7, 400, 300, 100, 40}, {5, 400, 104, 100, 40}, {3, 100, 100, 100, 40},
                                  {9, 100, 300, 100, 40}, {1, 0, 500, 800, 60}};
  TKeySelection::ReadingOrder(b);
  std::vector<int32_t> order;
  for (const TKNButtonInfo& x : b) order.push_back(x.Index);
  EXPECT_EQ(order, (std::vector<int32_t>{3, 5, 9, 7, 1}));
  std::vector<TKNButtonInfo> none;
  TKeySelection::ReadingOrder(none);
  EXPECT_TRUE(none.empty());
}

TEST(KeySelection, TheRealPointerMovingGivesTheMouseBack) {
  TKeySelection s;
  EXPECT_EQ(s.Pointer(TPoint{5, 6}).x, 5);
  s.Choose(1, TPoint{100, 200}, TPoint{5, 6});
  EXPECT_TRUE(s.Active());
  EXPECT_EQ(s.Pointer(TPoint{5, 6}).y, 200);
  EXPECT_EQ(s.Pointer(TPoint{5, 6}).x, 100);
  EXPECT_EQ(s.Pointer(TPoint{5, 7}).y, 7);
  EXPECT_FALSE(s.Active());
  EXPECT_EQ(s.Pointer(TPoint{5, 6}).y, 6);
}
