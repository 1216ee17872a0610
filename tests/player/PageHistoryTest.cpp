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

#include "player/ReadingModes.h"

namespace {

// A story the modes follow, as plain values.
struct TFakeStory : TReadingModes::IStory {
  bool Choice = false, Waiting = true, Read = true, Typing = false, Scenes = false, Changing = false, Due = false;
  uint32_t Characters = 10;
  int Passed = 0, Finished = 0, Shown = 0;
  bool AtChoice() const override { return Choice; }
  bool WaitingForReader() const override { return Waiting; }
  bool PageRead() const override { return Read; }
  bool TextBusy() const override { return Typing; }
  bool ScenesBusy() const override { return Scenes; }
  bool InTransition() const override { return Changing; }
  bool CheckpointDue() const override { return Due; }
  uint32_t PageCharacters() const override { return Characters; }
  void FinishTransitions() override { ++Finished, Changing = false; }
  void ShowPageWhole() override { ++Shown; }
  void PassWait() override { ++Passed; }
};

TEST(ReadingModeRules, AutoWaitsByThePagesLengthAndSkipStopsWhereTheReaderMustRead) {
  TReadingModes modes;
  TFakeStory story;
  modes.SetAutoPace(5, 2);
  modes.Set(TReadingModes::TMode::Auto);
  for (int frame = 1; frame < 25; ++frame) modes.Follow(story);
  EXPECT_EQ(story.Passed, 0);  // 5 + 2 * 10 frames
  modes.Follow(story);
  EXPECT_EQ(story.Passed, 1);
  story.Typing = true;  // typing starts the count again
  for (int frame = 0; frame < 100; ++frame) modes.Follow(story);
  EXPECT_EQ(story.Passed, 1);
  // Skip: a page read is shown whole and passed once its checkpoint is taken; a scene
  // change ends at once; an unread page or a choice ends the mode.
  story = TFakeStory{};
  modes.Set(TReadingModes::TMode::Skip);
  story.Due = story.Changing = true;
  modes.Follow(story);
  EXPECT_EQ(story.Finished, 1);
  EXPECT_EQ(story.Shown, 1);
  EXPECT_EQ(story.Passed, 0);
  story.Due = false;
  modes.Follow(story);
  EXPECT_EQ(story.Passed, 1);
  story.Read = false;
  modes.Follow(story);
  EXPECT_EQ(modes.Mode(), TReadingModes::TMode::Normal);
  modes.Set(TReadingModes::TMode::Auto);
  story.Choice = true;
  modes.Follow(story);
  EXPECT_EQ(modes.Mode(), TReadingModes::TMode::Normal);
}

}  // namespace
