#include "common/WideStrLib.h"

#include <gtest/gtest.h>

namespace {

TEST(SplitWideString, KeepsEmptyPiecesAndNeverTrims) {
  EXPECT_EQ(SplitWideString(u"", u','), WideStringArray{u""});
  EXPECT_EQ(SplitWideString(u"abc", u','), WideStringArray{u"abc"});
  EXPECT_EQ(SplitWideString(u",", u','), (WideStringArray{u"", u""}));
  EXPECT_EQ(SplitWideString(u"a,,b", u','), (WideStringArray{u"a", u"", u"b"}));
  EXPECT_EQ(SplitWideString(u" 0 , 画像,", u','), (WideStringArray{u" 0 ", u" 画像", u""}));
}
}  // namespace
