// The variable window: the script's variables as name and value, refreshed by Reload.
// Threads: GUI thread only.
#pragma once

#include <QWidget>

#include <memory>

#include "common/Tables.h"
#include "player/PlayerHost.h"

class QTableWidget;

class TFrmVaraiableDebug : public QWidget, public IVariableDebugView {
 public:
  explicit TFrmVaraiableDebug(TIntTable* variables);
  void SetVisible(bool visible) override { setVisible(visible); }
  // Lists every variable in the table's order.
  void Reload();

  QTableWidget* ValueListEditor1;

 private:
  TIntTable* FVariables;
};

// The view the runtime is given: the window is built the first time it is shown, since most
// readers never open it.
std::unique_ptr<IVariableDebugView> CreateVariableDebugView(TIntTable* variables);
