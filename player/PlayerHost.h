// What the runtime needs of its window: positions, repainting, the frame output, the
// debug overlay, closing, and the two debug windows. The window shell and the headless
// tool are its two implementations.
// Threads: main thread only.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "common/ABitmap.h"
#include "common/ClipRect.h"
#include "common/SuperString2.h"
#include "common/Tables.h"
#include "player/ScriptLoader.h"

// The variable debug window as the runtime sees it.
class IVariableDebugView {
 public:
  virtual ~IVariableDebugView() = default;
  virtual void SetVisible(bool visible) = 0;
};

// A line of the debug overlay, drawn on the window (not into the back buffer).
struct TOverlayLine {
  int32_t X = 0;
  int32_t Y = 0;
  std::string Text;
};

class IPlayerHost {
 public:
  virtual ~IPlayerHost() = default;
  // Screen position of the client area's top-left corner.
  virtual TPoint ClientOrigin() = 0;
  // The mouse cursor in screen coordinates.
  virtual TPoint CursorPos() = 0;
  // Asks for a repaint of the whole window (it reaches the back buffer through PaintRect).
  virtual void Invalidate() = 0;
  // Copies rectangle r of the back buffer to the same place in the window.
  virtual void Present(const TABitmap& backBuffer, const TRect& r) = 0;
  // Draws the debug overlay: white boxes with black text, "MS Gothic" height 20.
  virtual void DrawOverlay(const std::vector<TOverlayLine>& lines) = 0;
  // Closes the window (the script's EXIT); the shell shuts the player down once the
  // current step has returned, never during this call.
  virtual void Close() = 0;
  // The hidden command-list window (null: none).
  virtual std::unique_ptr<ISCLDebugView> CreateScriptDebugView() = 0;
  // The hidden variable window listing `variables` (null: none).
  virtual std::unique_ptr<IVariableDebugView> CreateVariableDebugView(TIntTable& variables) = 0;
  // Whether the story may start `program` with `commandLine` (UTF-8): the window asks the
  // reader, a tool answers by its options. Asked once for each command line in a run.
  virtual bool MayStartProcess(const std::string& program, const std::string& commandLine) = 0;
  // Where the story's logs go: empty for the story folder (or, when that cannot be
  // written, the reader's state folder); a tool that plays a story many times gives its own.
  virtual std::string LogFolder() { return std::string(); }
  // A save whose place is lost in an updated story: whether to go on from the start of
  // the label it lay after (the window asks the reader; a tool answers as its dialogs do).
  virtual bool MayGoOnFromLabel(const std::string& label);
  // A save of the first format names its story by the folder alone: whether to take it as
  // a save of this story (`title`), which has a title of its own.
  virtual bool MayLoadOlderSave(const std::string& title);
};
