// What a game pad's buttons do. Over the story: A advances and chooses, the D-pad and the
// stick move the choice, B opens the backlog, Start the save screen and Back the load
// screen, the right shoulder held skips and the left one turns auto on and off. Over
// anything else the window shows (the backlog, a screen, a box, a menu) the pad is its
// keyboard: arrows, Return for A and Escape for B.
// Threads: any.
#pragma once

#include "platform/GamePad.h"

enum class TPadAction : uint8_t {
  None,
  Advance,
  SelectNext,
  SelectPrevious,
  OpenBacklog,
  OpenSaveScreen,
  OpenLoadScreen,
  HoldSkip,
  ReleaseSkip,
  ToggleAuto,
  KeyUp,
  KeyDown,
  KeyLeft,
  KeyRight,
  KeyReturn,
  KeyEscape,
};

// `overStory`: nothing but the story has the reader's attention.
TPadAction PadAction(const TPadChange& change, bool overStory);
