// Full screen for a window: the display mode is left alone (desktops here do not let a
// program change it); the window covers the screen and its picture is scaled to fit,
// aspect kept, with black bars. Switching back restores the window exactly: its place,
// its size and its frame.
// Threads: GUI thread only.
#pragma once

#include <QByteArray>
#include <functional>

class QWidget;

class TFullScreen {
 public:
  explicit TFullScreen(QWidget* owner) : FOwner(owner) {}

  int32_t FullScreenWidth = 640;
  int32_t FullScreenHeight = 480;
  std::function<void(TFullScreen&)> OnFullScreen;

  bool FullScreen() const { return FFullScreen; }
  // Switches; refused (state unchanged) when a size is 0 or there is no screen. The owner
  // lifts any fixed size of its own before switching on and sets it again after switching off.
  void SetFullScreen(bool on);

 private:
  QWidget* FOwner;
  bool FFullScreen = false;
  QByteArray FSavedGeometry;
};
