#include "player/qt/VaraiableDebug.h"

#include <QHeaderView>
#include <QPushButton>
#include <QTableWidget>

TFrmVaraiableDebug::TFrmVaraiableDebug(TIntTable* variables)
    : QWidget(nullptr, Qt::Tool | Qt::WindowStaysOnTopHint), FVariables(variables) {
  setWindowTitle("VaraiableDebug");
  setGeometry(502, 147, 154, 306);
  QFont f("ＭＳ Ｐゴシック");
  f.setPixelSize(12);
  setFont(f);
  ValueListEditor1 = new QTableWidget(0, 2, this);
  ValueListEditor1->setGeometry(0, 0, 154, 264);
  ValueListEditor1->setHorizontalHeaderLabels({QString::fromUtf8("キー"), QString::fromUtf8("値")});
  ValueListEditor1->setColumnWidth(0, 77);
  ValueListEditor1->setColumnWidth(1, 71);
  ValueListEditor1->verticalHeader()->hide();
  auto* btReload = new QPushButton(QString::fromUtf8("Reload(&R)"), this);
  btReload->setGeometry(33, 264 + 9, 89, 25);
  connect(btReload, &QPushButton::clicked, this, [this] { Reload(); });
}

void TFrmVaraiableDebug::Reload() {
  if (!FVariables) return;
  ValueListEditor1->setRowCount(0);
  FVariables->ForEach(
      [](const AnsiString& key, void* cell, void* user) {
        auto* grid = static_cast<QTableWidget*>(user);
        const int row = grid->rowCount();
        grid->insertRow(row);
        grid->setItem(row, 0, new QTableWidgetItem(QString::fromStdString(key)));
        grid->setItem(row, 1, new QTableWidgetItem(QString::number(*static_cast<int32_t*>(cell))));
        return true;
      },
      ValueListEditor1);
}

namespace {
class TDeferredVariableDebug : public IVariableDebugView {
 public:
  explicit TDeferredVariableDebug(TIntTable* variables) : FVariables(variables) {}
  void SetVisible(bool visible) override {
    if (!FForm) {
      if (!visible) return;
      FForm = std::make_unique<TFrmVaraiableDebug>(FVariables);
    }
    FForm->SetVisible(visible);
  }

 private:
  TIntTable* FVariables;
  std::unique_ptr<TFrmVaraiableDebug> FForm;
};
}  // namespace

std::unique_ptr<IVariableDebugView> CreateVariableDebugView(TIntTable* variables) {
  return std::make_unique<TDeferredVariableDebug>(variables);
}
