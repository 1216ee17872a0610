#include "player/qt/SCLDebugForm.h"

#include <QHBoxLayout>
#include <QListWidget>
#include <QScrollBar>
#include <QSplitter>

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
