// The variable window: the script's variables as name and value, refreshed by Reload.
// Threads: GUI thread only.
#pragma once

#include <QWidget>

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
