// The command-list window: operation names and parameters of the compiled script in two
// lists, the command being run selected in both.
// Threads: GUI thread only.
#pragma once

#include <QWidget>

#include <memory>

#include "player/ScriptLoader.h"

class QListWidget;

class TFrmSCLDebug : public QWidget, public ISCLDebugView {
 public:
  TFrmSCLDebug();
  void AddRow(const AnsiString& operation, const AnsiString& param) override;
  void SelectRow(int index) override;
  void SetVisible(bool visible) override { setVisible(visible); }

  QListWidget* LiOperation;
  QListWidget* LiParam;
};

// The view the runtime is given: it keeps the rows and the selection, and builds the window
// the first time it is shown, since most readers never open it.
std::unique_ptr<ISCLDebugView> CreateSCLDebugView();
