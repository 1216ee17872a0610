// The player's window: a fixed 800x600 client area that shows the interpreter's back
// buffer, the menus, clicks and keys as input events, full screen and the about box.
// It is the runtime's host: the interpreter reaches the window only through IPlayerHost.
// Threads: GUI thread only.
#pragma once

#include <QMainWindow>
#include <memory>
#include <string>
#include <vector>

#include "player/SubThread.h"
#include "player/qt/FullScreen.h"
#include "player/Settings.h"

class QAction;
class QMenu;
class TBackBufferView;

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
  QAction* miSetDIBitsToDevice;
  QAction* miFullScreen;
  QAction* miDebugMessage;
  QAction* miShowBackBuffer;
  QAction* miShowClipRects;
  QAction* miShowScript;
  QAction* miShowVaraiable;
  QAction* About1;
  TFullScreen FS;

 protected:
  void keyPressEvent(QKeyEvent* e) override;
  void keyReleaseEvent(QKeyEvent* e) override;
  void resizeEvent(QResizeEvent* e) override;
  void closeEvent(QCloseEvent* e) override;
  bool event(QEvent* e) override;

 private:
  friend class TBackBufferView;
  void BuildMenus();
  void Send(uint8_t type, int32_t data);
  void CheckClick(QAction* item, uint8_t type);
  void SubThreadTerminate(TThread& thread);
  void FixWindowSize();
  void MouseMovedTo(int y);
  // Saves and loads in the story's folder of the reader's data: the quick save (F5, F9)
  // and the automatic one made when the reader closes the window (続きから).
  std::string SavePath(const char* name) const;
  void SaveTo(const char* name);
  void LoadFrom(const char* name, const char* missing);
  void SaveToPath(const std::string& path);
  void LoadFromPath(const std::string& path);
  void OpenSaveScreen(bool saving);
  void OpenBacklog();
  void OpenSettings();
  void ApplySettings();
  // The picture area's size (the window around it follows).
  void SetPictureSize(QSize size);
  void SetReadingMode(TSubThread::TReadingMode mode);

  // In full screen, the menu bar shows while the mouse is this close to the top edge.
  static constexpr int kMenuRevealEdge = 20;

  TBackBufferView* FView;
  std::unique_ptr<TSubThread> FSubThread;
  bool FMenuRevealed = false;
  bool FFullScreenActive = false;  // active since full screen began: losing focus now leaves it
  bool FStartupAborted = false;
  bool FClosedByStory = false;
  bool FChangingFullScreen = false;  // the story's EXIT closed the window: nothing to resume
  std::string FStoryDir;
  TSettings FSettings;
};
