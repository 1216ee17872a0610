#include "player/qt/BacklogView.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QScrollBar>
#include <QWheelEvent>
#include <vector>

#include "platform/CodePage.h"

TBacklogView::TBacklogView(QWidget* parent, const TBacklog& backlog, std::function<bool(const TBacklogNode*)> back)
    : QListWidget(parent), FBack(std::move(back)) {
  setAttribute(Qt::WA_DeleteOnClose);
  setGeometry(parent->rect());
  setWordWrap(true);
  setStyleSheet("QListWidget { background: rgba(0, 0, 0, 200); color: white; font-size: 18px; border: none; }"
                "QListWidget::item { padding: 6px; } QListWidget::item:selected { background: rgba(60, 90, 160, 200); }");
  std::vector<const TBacklogNode*> nodes;
  for (const TBacklogNode* n = backlog.get(); n; n = n->Before.get()) nodes.push_back(n);
  for (auto it = nodes.rbegin(); it != nodes.rend(); ++it) {
    const TBacklogEntry& e = (*it)->Entry;
    const QString text = QString::fromStdString(WideToUtf8(e.Text));
    QString caption;
    if (e.Choice) caption = QString::fromUtf8("　→ ") + text;
    else if (!e.Speaker.empty()) caption = QString::fromUtf8("【%1】\n").arg(QString::fromStdString(WideToUtf8(e.Speaker))) + text;
    else caption = text;
    auto* item = new QListWidgetItem(caption, this);
    item->setData(Qt::UserRole, QVariant::fromValue(reinterpret_cast<quintptr>(*it)));
    if (e.Choice) item->setFlags(item->flags() & ~Qt::ItemIsSelectable);
  }
  connect(this, &QListWidget::itemActivated, this, [this](QListWidgetItem* item) { Choose(item); });
  scrollToBottom();
  setCurrentRow(count() - 1);
  setFocus();
  show();
}

void TBacklogView::Choose(QListWidgetItem* item) {
  const auto* page = reinterpret_cast<const TBacklogNode*>(item->data(Qt::UserRole).value<quintptr>());
  if (page && !page->Entry.Choice && FBack(page)) close();
}

void TBacklogView::wheelEvent(QWheelEvent* e) {
  // Down past the end closes; otherwise the list scrolls.
  if (e->angleDelta().y() < 0 && verticalScrollBar()->value() >= verticalScrollBar()->maximum()) {
    close();
    return;
  }
  QListWidget::wheelEvent(e);
}

void TBacklogView::mousePressEvent(QMouseEvent* e) {
  if (e->button() == Qt::RightButton) {
    close();
    return;
  }
  QListWidget::mousePressEvent(e);
}

void TBacklogView::keyPressEvent(QKeyEvent* e) {
  if (e->key() == Qt::Key_Escape) {
    close();
    return;
  }
  QListWidget::keyPressEvent(e);
}
