#include "player/qt/SCLDebugForm.h"

#include <QHBoxLayout>
#include <QListWidget>
#include <QScrollBar>
#include <QSplitter>

#include <optional>
#include <utility>
#include <vector>

TFrmSCLDebug::TFrmSCLDebug() : QWidget(nullptr, Qt::Tool | Qt::WindowStaysOnTopHint) {
  setWindowTitle("FrmSCLDebug");
  setGeometry(641, 228, 317, 480);
  QFont f("ＭＳ Ｐゴシック");
  f.setPixelSize(12);
  setFont(f);
  auto* splitter = new QSplitter(this);
  splitter->setHandleWidth(3);
  LiOperation = new QListWidget(splitter);
  LiParam = new QListWidget(splitter);
  LiOperation->setFixedWidth(81);
  for (QListWidget* l : {LiOperation, LiParam}) l->setUniformItemSizes(true);
  // The two lists scroll together.
  connect(LiOperation->verticalScrollBar(), &QScrollBar::valueChanged, LiParam->verticalScrollBar(),
          &QScrollBar::setValue);
  connect(LiParam->verticalScrollBar(), &QScrollBar::valueChanged, LiOperation->verticalScrollBar(),
          &QScrollBar::setValue);
  connect(LiOperation, &QListWidget::currentRowChanged, LiParam, [this](int row) { LiParam->setCurrentRow(row); });
  connect(LiParam, &QListWidget::currentRowChanged, LiOperation, [this](int row) { LiOperation->setCurrentRow(row); });
  auto* layout = new QHBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(splitter);
}

void TFrmSCLDebug::AddRow(const AnsiString& operation, const AnsiString& param) {
  LiOperation->addItem(QString::fromStdString(operation));
  LiParam->addItem(QString::fromStdString(param));
}

void TFrmSCLDebug::SelectRow(int index) {
  LiOperation->setCurrentRow(index);
  LiParam->setCurrentRow(index);
}

namespace {
class TDeferredSCLDebug : public ISCLDebugView {
 public:
  void AddRow(const AnsiString& operation, const AnsiString& param) override {
    if (FForm) FForm->AddRow(operation, param);
    else FRows.emplace_back(operation, param);
  }
  void SelectRow(int index) override {
    if (FForm) FForm->SelectRow(index);
    else FSelected = index;
  }
  void SetVisible(bool visible) override {
    if (!FForm) {
      if (!visible) return;
      FForm = std::make_unique<TFrmSCLDebug>();
      for (const auto& [operation, param] : FRows) FForm->AddRow(operation, param);
      FRows = {};
      if (FSelected) FForm->SelectRow(*FSelected);
    }
    FForm->SetVisible(visible);
  }

 private:
  std::unique_ptr<TFrmSCLDebug> FForm;
  std::vector<std::pair<AnsiString, AnsiString>> FRows;
  std::optional<int> FSelected;
};
}  // namespace

std::unique_ptr<ISCLDebugView> CreateSCLDebugView() { return std::make_unique<TDeferredSCLDebug>(); }
