#include "player/qt/FullScreen.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

void TFullScreen::SetFullScreen(bool on) {
  if (on == FFullScreen || FullScreenWidth == 0 || FullScreenHeight == 0) return;
  if (on) {
    // The mode test: a screen must exist to cover.
    QScreen* screen = FOwner->screen() ? FOwner->screen() : QGuiApplication::primaryScreen();
    if (!screen) return;
    // Qt's own record of the window keeps its frame's place, which a window manager decides.
    FSavedGeometry = FOwner->saveGeometry();
    FOwner->setMinimumSize(0, 0);
    FOwner->setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
    FOwner->showFullScreen();
    FFullScreen = true;
  } else {
    FOwner->showNormal();
    FOwner->restoreGeometry(FSavedGeometry);
    FFullScreen = false;
  }
  if (OnFullScreen) OnFullScreen(*this);
}
