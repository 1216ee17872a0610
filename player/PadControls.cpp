#include "player/PadControls.h"

TPadAction PadAction(const TPadChange& change, bool overStory) {
  using B = TPadButton;
  using A = TPadAction;
  if (!change.Down) return overStory && change.Button == B::RightShoulder ? A::ReleaseSkip : A::None;
  if (!overStory) {
    switch (change.Button) {
      case B::Up: return A::KeyUp;
      case B::Down: return A::KeyDown;
      case B::Left: return A::KeyLeft;
      case B::Right: return A::KeyRight;
      case B::A: return A::KeyReturn;
      case B::B: return A::KeyEscape;
      default: return A::None;
    }
  }
  switch (change.Button) {
    case B::A: return A::Advance;
    case B::Down:
    case B::Right: return A::SelectNext;
    case B::Up:
    case B::Left: return A::SelectPrevious;
    case B::B: return A::OpenBacklog;
    case B::Start: return A::OpenSaveScreen;
    case B::Back: return A::OpenLoadScreen;
    case B::RightShoulder: return A::HoldSkip;
    case B::LeftShoulder: return A::ToggleAuto;
  }
  return A::None;
}
