#include "common/SuperString2.h"

#include <gtest/gtest.h>

namespace {

struct Tag : TObject {
  explicit Tag(int* alive) : Alive(alive) { ++*Alive; }
  ~Tag() override { --*Alive; }
  int* Alive;
};

TEST(SStrInfoTable, HandsOutIndicesFromOneUntilFull) {
  int alive = 0;
  TSStrInfoTable t(3);
  EXPECT_EQ(t.Count(), 1);
  EXPECT_EQ(t.Add(new Tag(&alive)), 1);
  EXPECT_EQ(t.Add(new Tag(&alive)), 2);
  Tag extra(&alive);
  EXPECT_EQ(t.Add(&extra), -1);  // full: not taken
  EXPECT_EQ(t.Get(0), nullptr);
  EXPECT_NE(t.Get(2), nullptr);
  EXPECT_EQ(t.Get(3), nullptr);
  EXPECT_EQ(t.Get(-1), nullptr);
  t.Clear();
  EXPECT_EQ(alive, 1);
  EXPECT_EQ(t.Add(new Tag(&alive)), 1);
}

TEST(SStr, MarkersCarryTheirIndexAsSixteenBits) {
  TSStrInfoTable t(10);
  EXPECT_EQ(MakeSStrMarker(5, &t).Info, WideString(1, char16_t(5)));
  EXPECT_EQ(MakeSStrMarker(-1, &t).Info, WideString(1, char16_t(0xFFFF)));
  EXPECT_EQ(MakeSStrMarker(0x10001, &t).Info, WideString(1, char16_t(1)));
  const SString2 zero = MakeSStrMarker(0, &t);
  EXPECT_EQ(zero.Text, WideString(1, StyleMarker));
  EXPECT_EQ(zero.Info, u"");
  EXPECT_THROW(SStrLength(zero), ESStrError);
}

TEST(SStr, LengthCopyConcatAndSetLength) {
  TSStrInfoTable t(10);
  SString2 a = MakeSStr(u"abc", u"abc", &t);
  const SString2 b = SStrConcat(a, MakeSStrMarker(2, nullptr));
  EXPECT_EQ(SStrLength(b), 4);
  EXPECT_EQ(b.InfoTable, &t);
  EXPECT_EQ(SStrCopy(b, 2, 2).Text, u"bc");
  EXPECT_EQ(SStrCopy(b, 3, 100).Info, u"c\x02");
  EXPECT_EQ(SStrCopy(b, 0, 2).Text, u"ab");
  EXPECT_EQ(SStrCopy(b, 5, 1).Text, u"");
  EXPECT_EQ(SStrCopy(b, 1, -1).Text, u"");
  SStrSetLength(a, 1);
  EXPECT_EQ(a.Text, u"a");
  EXPECT_EQ(a.Info, u"a");
  try {
    SStrCopy(MakeSStr(u"ab", u"a", &t), 1, 1);
    FAIL();
  } catch (const ESStrError& e) {
    EXPECT_EQ(e.Message(), "This SStr is broken.");
  }
}

TEST(SStr, FindMarkerAndGetTag) {
  int alive = 0;
  TSStrInfoTable t(10);
  const int32_t i = t.Add(new Tag(&alive));
  const SString2 s = SStrConcat(MakeSStr(u"ab", u"ab", &t), MakeSStrMarker(i, &t));
  EXPECT_EQ(SStrFindMarker(s, 0), -1);
  EXPECT_EQ(SStrFindMarker(s, 4), -1);
  EXPECT_EQ(SStrFindMarker(s, 1), 3);
  EXPECT_EQ(SStrFindMarker(s, 3), 3);
  EXPECT_EQ(SStrFindMarker(MakeSStr(u"ab", u"ab", &t), 1), -2);
  TObject* tag = nullptr;
  EXPECT_EQ(SStrGetTag(s, 1, tag), 3);
  EXPECT_EQ(tag, t.Get(i));
  EXPECT_EQ(SStrGetTag(s, 0, tag), -1);
  EXPECT_EQ(tag, nullptr);
  // A marker whose index was never handed out points at nothing.
  EXPECT_EQ(SStrGetTag(MakeSStrMarker(-1, &t), 1, tag), 1);
  EXPECT_EQ(tag, nullptr);
  SString2 noTable = s;
  noTable.InfoTable = nullptr;
  try {
    SStrGetTag(noTable, 1, tag);
    FAIL();
  } catch (const ESStrError& e) {
    EXPECT_EQ(e.Message(), "InfoTable is nil.");
  }
}
}  // namespace
