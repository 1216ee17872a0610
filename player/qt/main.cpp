// sorvane [STORY_DIR | STORY_DIR/start.svx]: plays that story; without one, the story
// beside the program, or one the reader picks with a folder chooser.
#include <QApplication>
#include <QDBusConnection>
#include <QFileDialog>
#include <QScreen>
#include <QSocketNotifier>
#include <QStyle>

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <system_error>
#include <thread>

#include "platform/Application.h"
#include "platform/Classes.h"
#include "platform/Graphics.h"
#include "platform/Clock.h"
#include "platform/VersionBlock.h"
#include "player/qt/QtDialogs.h"
#include "player/StoryFolder.h"
#include "player/qt/SorvFrmMain.h"

SORVANE_VERSION_BLOCK(
    "VarFileInfo\\Translation=041103A4\n"
    "StringFileInfo\\041103A4\\FileVersion=0.5.4.164\n"
    "StringFileInfo\\041103A4\\FileDescription=Sorvane(コードネーム)実行エンジン\n"
    "StringFileInfo\\041103A4\\Comments=Sorvane(コードネーム)\n"
    "StringFileInfo\\041103A4\\InternalName=Sorvane.exe\n"
    "StringFileInfo\\041103A4\\LegalCopyright=Copyright (C) the Sorvane developers\n")

namespace {

TSorvFrmMain* gPlaying = nullptr;  // the window while it plays
int gStepDepth = 0;                // the runtime's steps being served on this thread

// The program ends through exit() while the window plays only when Qt's platform plug-in
// lost its display (a lost session, a logout). The reader's marks are kept, and the
// automatic save unless a step was cut short; then the program ends at once, since the
// interpreter's worker still runs and nothing may wait for it.
void KeepWhenTheDisplayGoes() {
  if (!gPlaying) return;
  TSorvFrmMain* window = gPlaying;
  gPlaying = nullptr;
  window->KeepReaderData(gStepDepth == 0);
  std::fflush(nullptr);
  std::_Exit(1);
}

}  // namespace

int main(int argc, char** argv) {
  StartupMark("main");
  // The menus stay in the window, where full screen hides them and the pointer at the top
  // edge brings them back, rather than in a desktop's global menu bar; and the window does
  // not wait for the session bus to be asked whether there is one.
  QApplication::setAttribute(Qt::AA_DontUseNativeMenuBar);
  // The fonts' configuration, which the menus and the story's text wait for, is loaded on
  // the other core while Qt connects to the display.
  std::jthread fontconfig;  // joined when it goes, however main ends
  try {
    fontconfig = std::jthread(StartFontConfiguration);
  } catch (const std::system_error&) {
    // No thread: it is loaded where first needed.
  }
  QApplication app(argc, argv);
  if (fontconfig.joinable()) fontconfig.join();
  StartupMark("qapplication");
  QApplication::setApplicationDisplayName(QString::fromUtf8("Sorvane実行エンジン"));
  InstallQtDialogs();
  // The interpreter's worker wakes the event loop when a step waits for the main thread.
  TThread::SetWakeMainThread([] {
    QMetaObject::invokeMethod(qApp, [] {
      ++gStepDepth;
      while (TThread::CheckSynchronize()) {}
      --gStepDepth;
    }, Qt::QueuedConnection);
  });
  SetApplicationTerminateHandler([] { QMetaObject::invokeMethod(qApp, &QApplication::quit, Qt::QueuedConnection); });
  std::string story = StoryFolderFor(argc > 1 ? argv[1] : "", QApplication::applicationDirPath().toStdString());
  if (story.empty()) {
    story = QFileDialog::getExistingDirectory(nullptr, QString::fromUtf8("ストーリーのフォルダを選んでください"))
                .toStdString();
    if (story.empty()) return 0;  // the reader chose nothing: nothing to play
  }
  int status;
  {
    // SIGINT and SIGTERM close the window, so the story ends as when its window is closed;
    // a box open at the time (even one raised while the story starts) is ended first.
    const int signalPipe = CatchTerminationSignals();
    QSocketNotifier notifier(signalPipe, QSocketNotifier::Read);
    notifier.setEnabled(signalPipe >= 0);
    TSorvFrmMain* shown = nullptr;
    QObject::connect(&notifier, &QSocketNotifier::activated, qApp, [signalPipe, &shown] {
      char drained[16];
      while (::read(signalPipe, drained, sizeof drained) > 0) {}
      EndDialogs();
      if (shown) shown->close();
    });
    StartupMark("window-begins");
    // The accessibility bridge connects to the session bus when the window first makes
    // itself known to it, and waits for the connection; asked for now on a thread of its
    // own, the connection is made while the window and the story are built.
    std::jthread connecting;
    try {
      connecting = std::jthread([] { QDBusConnection::sessionBus(); });
    } catch (const std::system_error&) {
      // No thread: the bridge connects when it is made.
    }
    TSorvFrmMain window(story);
    if (connecting.joinable()) connecting.join();
    StartupMark("window-built");
    if (window.StartupAborted()) return TerminationSignal() != 0 ? 128 + TerminationSignal() : 1;
    shown = &window;
    gPlaying = &window;
    std::atexit(KeepWhenTheDisplayGoes);
    window.show();
    StartupMark("window-shown");
    if (QScreen* screen = window.screen())
      window.move(screen->availableGeometry().center() - window.rect().center());
    if (TerminationSignal() != 0) QMetaObject::invokeMethod(&window, [&window] { window.close(); }, Qt::QueuedConnection);
    status = app.exec();
    gPlaying = nullptr;
    shown = nullptr;
  }
  TThread::SetWakeMainThread(nullptr);
  return TerminationSignal() != 0 ? 128 + TerminationSignal() : status;
}
