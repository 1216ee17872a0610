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
    FSavedGeometry = FOwner->geometry();
    FSavedFlags = FOwner->windowFlags();
    FOwner->setMinimumSize(0, 0);
    FOwner->setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
    FOwner->showFullScreen();
    FOwner->setGeometry(screen->geometry());
    FFullScreen = true;
  } else {
    FOwner->showNormal();
    FOwner->setWindowFlags(FSavedFlags);
    FOwner->setGeometry(FSavedGeometry);
    FOwner->show();
    FFullScreen = false;
  }
  if (OnFullScreen) OnFullScreen(*this);
}
