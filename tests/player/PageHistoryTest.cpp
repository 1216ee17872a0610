#include "player/PageHistory.h"

#include <gtest/gtest.h>

namespace {

TEST(PageHistory, KeepsTheNewestCheckpointsAndFindsThePageOfEach) {
  TPageHistory h;
  for (uint32_t n = 0; n <= TPageHistory::kKeep; ++n) {
    h.NotePage(TBacklogEntry{false, u"", u"page " + std::u16string(1, char16_t(u'a' + n % 26))});
    TSnapshot s;
    s.Frame = n;
    s.Backlog = h.Backlog();
    h.Keep(std::move(s));
  }
  ASSERT_EQ(h.Checkpoints().size(), TPageHistory::kKeep);
  EXPECT_EQ(h.Checkpoints().front().Frame, 1u);  // the first went
  // A wait again on the page noted last adds nothing; a choice is noted as taken.
  const TBacklogNode* last = h.Backlog().get();
  h.NotePage(last->Entry);
  EXPECT_EQ(h.Backlog().get(), last);
  // Going back: to the one before the latest, or to a page's own checkpoint.
  ASSERT_NE(h.BeforeLatest(), nullptr);
  EXPECT_EQ(h.BeforeLatest()->Frame, TPageHistory::kKeep - 1);
  EXPECT_EQ(h.DropLatest().Frame, TPageHistory::kKeep);
  const TBacklogNode* page = h.Checkpoints()[10].Backlog.get();
  EXPECT_EQ(h.Find(page), 10);
  EXPECT_EQ(h.Find(nullptr), -1);
  h.DropAfter(10);
  EXPECT_EQ(h.Checkpoints().size(), 11u);
  h.NoteChoice(u"east");
  EXPECT_TRUE(h.Backlog()->Entry.Choice);
  h.StartFrom(nullptr);
  EXPECT_EQ(h.BeforeLatest(), nullptr);
}

}  // namespace
