#include "player/ReadingModes.h"

void TReadingModes::Follow(IStory& story) {
  if (FMode == TMode::Normal) return;
  if (FMode == TMode::Skip && story.InTransition()) story.FinishTransitions();
  if (story.AtChoice()) {
    End();
    return;
  }
  if (!story.WaitingForReader()) {
    FAutoFrames = 0;
    return;
  }
  if (FMode == TMode::Skip) {
    if (!FSkipUnread && !story.PageRead()) {
      End();  // a page not read yet: the reader reads it
      return;
    }
    story.ShowPageWhole();
    // Shown for the frame of its checkpoint, then gone past; a scene change runs its course.
    if (!story.CheckpointDue() && !story.ScenesBusy()) story.PassWait();
    return;
  }
  if (story.TextBusy() || story.ScenesBusy()) {
    FAutoFrames = 0;
    return;
  }
  if (++FAutoFrames < FAutoBase + FAutoPerChar * story.PageCharacters()) return;
  FAutoFrames = 0;
  if (story.MoreScreens()) story.NextScreen();
  else story.PassWait();
}
