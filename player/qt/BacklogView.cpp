#include "player/qt/BacklogView.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QScrollBar>
#include <QWheelEvent>
#include <vector>

#include "platform/CodePage.h"

namespace {
QString Shown(const WideString& text) {
  QString s = QString::fromStdString(WideToUtf8(text));
  if (s.size() > TBacklogView::kShownChars) s = s.left(TBacklogView::kShownChars) + QString::fromUtf8("…");
  return s;
}
}  // namespace

TBacklogView::TBacklogView(QWidget* parent, TBacklog backlog, const std::function<bool(const TBacklogNode*)>& reachable,
                           std::function<bool(const TBacklogNode*)> back, std::function<void()> closed)
    : QListWidget(parent), FBacklog(std::move(backlog)), FBack(std::move(back)), FClosed(std::move(closed)) {
  setAttribute(Qt::WA_DeleteOnClose);
  setGeometry(parent->rect());
  setWordWrap(true);
  setUniformItemSizes(false);
  setStyleSheet("QListWidget { background: rgba(0, 0, 0, 200); color: white; font-size: 18px; border: none; }"
                "QListWidget::item { padding: 6px; } QListWidget::item:selected { background: rgba(60, 90, 160, 200); }"
                "QListWidget::item:disabled { color: rgb(150, 150, 150); }");
  std::vector<const TBacklogNode*> nodes;
  for (const TBacklogNode* n = FBacklog.get(); n; n = n->Before.get()) nodes.push_back(n);
  for (auto it = nodes.rbegin(); it != nodes.rend(); ++it) {
    const TBacklogEntry& e = (*it)->Entry;
    const QString text = Shown(e.Text);
    QString caption;
    if (e.Choice) caption = QString::fromUtf8("　→ ") + text;
    else if (!e.Speaker.empty()) caption = QString::fromUtf8("【%1】\n").arg(Shown(e.Speaker)) + text;
    else caption = text;
    auto* item = new QListWidgetItem(caption, this);
    item->setData(Qt::UserRole, QVariant::fromValue(reinterpret_cast<quintptr>(*it)));
    if (e.Choice) {
      item->setFlags(item->flags() & ~Qt::ItemIsSelectable);
    } else if (!reachable(*it)) {
      item->setFlags(item->flags() & ~Qt::ItemIsEnabled);
      item->setToolTip(QString::fromUtf8("このページには戻れません (戻れるのは最近のページだけです)"));
    }
  }
  connect(this, &QListWidget::itemActivated, this, [this](QListWidgetItem* item) { Choose(item); });
  scrollToBottom();
  setCurrentRow(count() - 1);
  setFocus();
  show();
}

TBacklogView::~TBacklogView() {
  if (FClosed) FClosed();
}

void TBacklogView::Choose(QListWidgetItem* item) {
  if (!item || !(item->flags() & Qt::ItemIsEnabled)) return;
  const auto* page = reinterpret_cast<const TBacklogNode*>(item->data(Qt::UserRole).value<quintptr>());
  if (page && !page->Entry.Choice && FBack && FBack(page)) close();
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
  switch (e->key()) {
    case Qt::Key_Escape: close(); break;
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_Space: Choose(currentItem()); break;
    default: QListWidget::keyPressEvent(e);
  }
  e->accept();  // whatever the list did with it, the story behind never takes it
}

void TBacklogView::keyReleaseEvent(QKeyEvent* e) {
  QListWidget::keyReleaseEvent(e);
  e->accept();
}
