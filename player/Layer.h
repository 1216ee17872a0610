// A layer of the screen: the interpreter advances every layer once per update tick and
// has each paint its share of the frame's changed rectangles into the back buffer.
// Threads: main thread only.
#pragma once

#include <cstdint>

#include "common/ABitmap.h"
#include "common/ClipRect.h"

// What a click does to a busy layer (its SelectMode).
constexpr uint8_t kSelectSkip = 0;    // finishes the animation (Skip)
constexpr uint8_t kSelectChoice = 1;  // takes a choice

class TLayer {
 public:
  virtual ~TLayer() = default;

  bool Visible = true;
  uint8_t SelectMode = kSelectSkip;
  // The cursor in client coordinates, set before every Update.
  int32_t MouseX = 0;
  int32_t MouseY = 0;

  // Still animating or waiting for a choice.
  virtual bool IsBusy() const = 0;
  // One tick; every rectangle whose look changed is added to `dirty`.
  virtual void Update(int32_t frameCount, int32_t framesPerSecond, TClipRects& dirty) = 0;
  // Paints inside the rectangles of `dirty` only.
  virtual void Draw(TABitmap& backBuffer, const TClipRects& dirty) = 0;
  virtual void Skip() = 0;
  // The chosen item (which also ends the choice), or -1.
  virtual int32_t TakeSelection() = 0;
};
