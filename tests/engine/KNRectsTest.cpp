#include "engine/KNRects.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

namespace {

struct List {
  explicit List(int capacity) : Store(size_t(capacity)), L{Store.data(), 0, capacity} {}
  void Add(TRect r) { AddRect(&L, &r); }
  std::vector<TRect> Rects() const { return {L.Rects, L.Rects + L.Count}; }
  std::vector<TRect> Store;
  TClipRects L;
};

TEST(AddRect, EmptyRectanglesChangeNothing) {
  List l(11);
  l.Add(Rect(0, 0, 0, 0));
  l.Add(Rect(5, 5, 5, 9));
  l.Add(Rect(5, 5, 9, 4));
  EXPECT_EQ(l.L.Count, 0);
}

TEST(AddRect, TouchingRectanglesStaySeparate) {
  List l(11);
  l.Add(Rect(0, 0, 10, 10));
  l.Add(Rect(10, 0, 20, 10));
  EXPECT_EQ(l.L.Count, 2);
}

TEST(AddRect, ABridgeJoinsBothSides) {
  List l(11);
  l.Add(Rect(0, 0, 10, 10));
  l.Add(Rect(20, 0, 30, 10));
  l.Add(Rect(5, 0, 25, 10));
  EXPECT_EQ(l.Rects(), std::vector<TRect>{Rect(0, 0, 30, 10)});
}

TEST(AddRect, AFullListFoldsTheNewRectangleIntoTheFirst) {
  List l(11);
  for (int i = 0; i < 11; ++i) l.Add(Rect(i * 20, 0, i * 20 + 10, 10));
  l.Add(Rect(0, 100, 10, 110));
  EXPECT_EQ(l.L.Count, 11);
  EXPECT_EQ(l.Rects()[0], Rect(0, 0, 10, 110));
}

TEST(AddRect, MergesTransitivelyAndKeepsTheRest) {
  List l(11);
  l.Add(Rect(0, 0, 10, 10));     // A
  l.Add(Rect(100, 0, 110, 10));  // B
  l.Add(Rect(30, 0, 40, 10));    // C
  l.Add(Rect(35, 5, 45, 20));    // overlaps C; C+new = (30,0,45,20) does not reach A
  EXPECT_EQ(l.L.Count, 3);
  l.Add(Rect(5, 15, 32, 18));    // overlaps the grown C and A
  const std::vector<TRect> r = l.Rects();
  ASSERT_EQ(r.size(), 2u);
  EXPECT_EQ(r[0], Rect(0, 0, 45, 20));
  EXPECT_EQ(r[1], Rect(100, 0, 110, 10));
}

TEST(AddRect, MergingIntoTheLastElementLosesNothing) {
  List l(11);
  l.Add(Rect(0, 0, 10, 10));
  l.Add(Rect(50, 0, 60, 10));
  l.Add(Rect(100, 0, 110, 10));
  l.Add(Rect(105, 5, 115, 15));  // new at index 3 merges into index 2, the last...
  EXPECT_EQ(l.L.Count, 3);
  l.Add(Rect(55, 5, 104, 8));    // ...and this one bridges 1 and 2
  const std::vector<TRect> r = l.Rects();
  ASSERT_EQ(r.size(), 2u);
  EXPECT_EQ(r[0], Rect(0, 0, 10, 10));
  EXPECT_EQ(r[1], Rect(50, 0, 115, 15));
}

// Whatever is added, in lists of any capacity: no empty rectangle, no overlap, and every
// pixel ever added stays covered.
TEST(AddRect, RandomSequencesKeepTheInvariants) {
  std::mt19937 rng(42);
  constexpr int kSide = 48;
  for (int round = 0; round < 2000; ++round) {
    List l(1 + round % 11);
    std::vector<bool> added(kSide * kSide, false);
    const int steps = 1 + int(rng() % 30);
    for (int step = 0; step < steps; ++step) {
      const int x = int(rng() % kSide), y = int(rng() % kSide);
      const TRect r = Rect(x, y, x + int(rng() % 12) - 1, y + int(rng() % 12) - 1);  // some empty
      l.Add(r);
      for (int py = r.Top; py < r.Bottom; ++py)
        for (int px = r.Left; px < r.Right; ++px)
          if (px < kSide && py < kSide) added[size_t(py * kSide + px)] = true;
      const std::vector<TRect> rects = l.Rects();
      ASSERT_LE(l.L.Count, l.L.Capacity);
      for (size_t i = 0; i < rects.size(); ++i) {
        ASSERT_FALSE(IsRectEmpty(rects[i]));
        for (size_t j = i + 1; j < rects.size(); ++j) ASSERT_FALSE(RectsOverlap(rects[i], rects[j])) << round;
      }
      for (int py = 0; py < kSide; ++py)
        for (int px = 0; px < kSide; ++px) {
          if (!added[size_t(py * kSide + px)]) continue;
          bool covered = false;
          for (const TRect& c : rects) covered |= px >= c.Left && px < c.Right && py >= c.Top && py < c.Bottom;
          ASSERT_TRUE(covered) << "round " << round << " pixel " << px << "," << py;
        }
    }
  }
}

TEST(Rectangles, UnionIgnoresEmptyOperandsAndIntersectionZeroesEmptyResults) {
  EXPECT_EQ(UnionRect(TRect{}, Rect(1, 2, 3, 4)), Rect(1, 2, 3, 4));
  EXPECT_EQ(UnionRect(Rect(5, 5, 5, 9), TRect{}), TRect{});
  EXPECT_EQ(UnionRect(Rect(0, 0, 2, 2), Rect(5, 6, 7, 8)), Rect(0, 0, 7, 8));
  TRect out;
  EXPECT_FALSE(IntersectRect(out, Rect(0, 0, 10, 10), Rect(10, 0, 20, 10)));
  EXPECT_EQ(out, TRect{});
  EXPECT_TRUE(IntersectRect(out, Rect(0, 0, 10, 10), Rect(5, 5, 20, 20)));
  EXPECT_EQ(out, Rect(5, 5, 10, 10));
}
}  // namespace
