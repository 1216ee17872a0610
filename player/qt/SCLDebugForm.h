// The command-list window: operation names and parameters of the compiled script in two
// lists, the command being run selected in both.
// Threads: GUI thread only.
#pragma once

#include <QWidget>

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
