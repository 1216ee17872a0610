// The player's window: the interpreter's 800x600 back buffer, shown pixel for pixel or
// scaled to the window's size, the menus, clicks and keys as input events, full screen,
// the reader's controls (saves, backlog, settings) and the about box.
// It is the runtime's host: the interpreter reaches the window only through IPlayerHost.
// Threads: GUI thread only.
#pragma once

#include <QMainWindow>
#include <memory>
#include <string>
#include <vector>

#include <optional>

#include "player/ReaderSession.h"
#include "player/SubThread.h"
#include "player/qt/FullScreen.h"
#include "player/Settings.h"
#include "player/Narration.h"
#include "player/PadControls.h"
#include "platform/GamePad.h"

class QAction;
class QActionGroup;
class QMenu;
class TBackBufferView;
class TBacklogView;
class TQtSpeech;
class TStoryAccess;

class TSorvFrmMain : public QMainWindow, public IPlayerHost {
 public:
  explicit TSorvFrmMain(const std::string& storyDir);
  ~TSorvFrmMain() override;

  // IPlayerHost
  TPoint ClientOrigin() override;
  TPoint CursorPos() override;
  void Invalidate() override;
  void Present(const TABitmap& backBuffer, const TRect& r) override;
  void DrawOverlay(const std::vector<TOverlayLine>& lines) override;
  void Close() override;
  std::unique_ptr<ISCLDebugView> CreateScriptDebugView() override;
  std::unique_ptr<IVariableDebugView> CreateVariableDebugView(TIntTable& variables) override;
  bool MayStartProcess(const std::string& program, const std::string& commandLine) override;

  void DoFullScreen(bool on);
  // True when a fatal start-up error has been shown: the program ends without playing.
  bool StartupAborted() const { return FStartupAborted; }
  TSubThread* SubThread() const { return FSubThread.get(); }
  TReaderSession* Session() const { return FSession.get(); }
  // The display went away and the program ends at once: the read marks and, when the
  // story is not in the middle of a step (`autoSave`), the automatic save are kept.
  void KeepReaderData(bool autoSave);


 protected:
  void keyPressEvent(QKeyEvent* e) override;
  void keyReleaseEvent(QKeyEvent* e) override;
  void resizeEvent(QResizeEvent* e) override;
  void closeEvent(QCloseEvent* e) override;
  bool event(QEvent* e) override;
  // Tab and Shift+Tab move through a choice, not through the window's widgets.
  bool focusNextPrevChild(bool) override { return false; }

 private:
  friend class TBackBufferView;
  // The menus and their items (the window's own: tests and readers find them by caption).
  QMenu* File1;
  QMenu* C1;
  QMenu* D1;
  QMenu* Help1;
  QAction* Exit1;
  QAction* miSave;
  QAction* miLoad;
  QAction* miQuickSave;
  QAction* miQuickLoad;
  QAction* miResume;
  QAction* miRollback;
  QAction* miBacklog;
  QAction* miSettings;
  QAction* miAuto;
  QAction* miSkip;
  QAction* miSpeak;
  QActionGroup* miTextSizes;
  QAction* miHighContrast;
  QAction* miLineBreakRules;
  QMenu* miLanguages;
  // Lists the story's languages in the language menu, the one read now checked.
  void ListLanguages();
  QAction* miSetDIBitsToDevice;
  QAction* miFullScreen;
  QAction* miDebugMessage;
  QAction* miShowBackBuffer;
  QAction* miShowClipRects;
  QAction* miShowScript;
  QAction* miShowVaraiable;
  QAction* About1;
  TFullScreen FS;
  void BuildMenus();
  // The story's runtime, or the box that says why it cannot start: false then.
  bool BuildRuntime(const std::string& storyDir);
  void Send(uint8_t type, int32_t data);
  void CheckClick(QAction* item, uint8_t type);
  void SubThreadTerminate(TThread& thread);
  void FixWindowSize();
  void MouseMovedTo(int y);
  // Saves and loads through the reader's session: the quick save (F5, F9), the slots, and
  // the automatic one made when the reader closes the window (続きから). `missing`, when
  // given, is said when there is no such save.
  void SaveTo(const std::string& name);
  void LoadFrom(const std::string& name, const char* missing);
  void OpenSaveScreen(bool saving);
  void OpenBacklog();
  // Whatever moves the story closes the backlog first.
  void CloseBacklog();
  void OpenSettings();
  void ApplySettings();
  // The picture area's size (the window around it follows).
  void SetPictureSize(QSize size);
  void SetReadingMode(TSubThread::TReadingMode mode);

  // In full screen, the menu bar shows while the mouse is this close to the top edge.
  static constexpr int kMenuRevealEdge = 20;
  // How often read marks that changed are written while the story plays.
  static constexpr int kMarksIntervalMs = 5000;
  // What the window's frame takes around the picture area at most, for fitting the screen.
  static constexpr int kFrameRoom = 60;

  TBackBufferView* FView;
  std::unique_ptr<TSubThread> FSubThread;
  std::unique_ptr<TReaderSession> FSession;
  TBacklogView* FBacklogView = nullptr;
  std::optional<TSubThread::TReadingMode> FBacklogPaused;  // the mode the open backlog paused
  bool FMenuRevealed = false;
  bool FFullScreenActive = false;  // active since full screen began: losing focus now leaves it
  bool FStartupAborted = false;
  bool FClosedByStory = false;
  bool FChangingFullScreen = false;  // the story's EXIT closed the window: nothing to resume
  std::string FStoryDir;
  TSettings FSettings;
  // The story for screen readers and the voice, fed by the runtime's narration.
  std::unique_ptr<TStoryAccess> FAccess;
  TQtSpeech* FSpeech = nullptr;
  std::unique_ptr<TVoice> FVoice;
  // Where the voice's speech goes: the real engine, or the log a test reads.
  ISpeech* FSpeechOut = nullptr;
  std::unique_ptr<TSpeechLog> FSpeechLog;
  void Narrate(const TNarration& n);
  void ApplyVoice();
  void KeepSettings();
  // Game pads, opened a moment after the story starts (never on its way to the first
  // frame) and read on every tick of a timer.
  static constexpr int kPadStartDelayMs = 1000, kPadPollMs = 16;
  TGamePads FPads;
  void StartPads();
  void PollPads();
  void PadDo(TPadAction action);
  // A key pressed and let go on whatever has the reader's attention over the story.
  void PadKey(int key);

 public:
  // A test reads what the voice said instead of hearing it: set before the voice is on.
  TSpeechLog& RecordSpeech();
  TStoryAccess* Access() const { return FAccess.get(); }
  TQtSpeech* Speech() const { return FSpeech; }
};
