// sorvane [STORY_DIR]: plays the story in STORY_DIR, or in the program's own folder.
#include <QApplication>
#include <QScreen>
#include <QStyle>

#include "platform/Application.h"
#include "platform/Classes.h"
#include "platform/VersionBlock.h"
#include "player/qt/QtDialogs.h"
#include "player/qt/SorvFrmMain.h"

SORVANE_VERSION_BLOCK(
    "VarFileInfo\\Translation=041103A4\n"
    "StringFileInfo\\041103A4\\FileVersion=0.5.4.164\n"
    "StringFileInfo\\041103A4\\FileDescription=Sorvane(コードネーム)実行エンジン\n"
    "StringFileInfo\\041103A4\\Comments=Sorvane(コードネーム)\n"
    "StringFileInfo\\041103A4\\InternalName=Sorvane.exe\n"
    "StringFileInfo\\041103A4\\LegalCopyright=Copyright (C) the Sorvane developers\n")

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QApplication::setApplicationDisplayName(QString::fromUtf8("Sorvane実行エンジン"));
  InstallQtDialogs();
  // The interpreter's worker wakes the event loop when a step waits for the main thread.
  TThread::SetWakeMainThread([] {
    QMetaObject::invokeMethod(qApp, [] { while (TThread::CheckSynchronize()) {} }, Qt::QueuedConnection);
  });
  SetApplicationTerminateHandler([] { QMetaObject::invokeMethod(qApp, &QApplication::quit, Qt::QueuedConnection); });
  const std::string story = argc > 1 ? argv[1] : QApplication::applicationDirPath().toStdString();
  int status;
  {
    TSorvFrmMain window(story);
    window.show();
    if (QScreen* screen = window.screen())
      window.move(screen->availableGeometry().center() - window.rect().center());
    status = app.exec();
  }
  TThread::SetWakeMainThread(nullptr);
  return status;
}
