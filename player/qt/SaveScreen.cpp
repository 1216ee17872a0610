#include "player/qt/SaveScreen.h"

#include <QHBoxLayout>
#include <QImage>
#include <QLabel>
#include <QListWidget>
#include <QPixmap>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>
#include <cstdio>
#include <ctime>
#include <filesystem>

#include "platform/CodePage.h"
#include "platform/Dialogs.h"
#include "platform/Files.h"
#include "player/ReaderSession.h"

namespace {

constexpr int kRowHeight = 126;  // a slot's row: its thumbnail and two lines

// What a slot shows: its caption, thumbnail and whether it can be loaded.
struct TSlotView {
  QString Caption;
  QPixmap Thumbnail;
  bool Loadable = false;
  bool Used = false;
  QString Reason;  // why it cannot be loaded
};

// What the save screen shows of a page's line: its start.
constexpr int kCaptionChars = 80;

TSlotView ViewOf(TReaderSession& session, const std::string& path, int n) {
  TSlotView v;
  const QString number = QString::fromUtf8("スロット %1").arg(n);
  if (path.empty() || !std::filesystem::exists(path)) {
    v.Caption = number + QString::fromUtf8("　(空き)");
    return v;
  }
  v.Used = true;
  TSaveInfo info;
  TRefusal why;
  if (!session.Peek(path, info, why)) {
    v.Caption = why == TRefusalCode::OtherStory
                    ? number + QString::fromUtf8("　別の物語のセーブ (%1)").arg(QString::fromStdString(LogName(info.Title, kCaptionChars)))
                    : number + QString::fromUtf8("　破損したセーブ");
    v.Reason = QString::fromStdString(why.Japanese());
    return v;
  }
  v.Loadable = true;
  const std::time_t t = std::time_t(info.Date);
  std::tm tm{};
  localtime_r(&t, &tm);
  char date[32];
  std::strftime(date, sizeof date, "%Y/%m/%d %H:%M", &tm);
  v.Caption = number + "　" + QString::fromUtf8(date) + "\n" + QString::fromStdString(LogName(info.Caption, kCaptionChars));
  // The codec has checked that the PNG says it is of the thumbnail's size.
  QImage thumbnail;
  if (thumbnail.loadFromData(reinterpret_cast<const uchar*>(info.Thumbnail.data()), int(info.Thumbnail.size()), "PNG"))
    v.Thumbnail = QPixmap::fromImage(thumbnail);
  return v;
}

}  // namespace

std::string TSaveScreen::SlotName(int n) {
  char name[32];
  std::snprintf(name, sizeof name, "slot-%02d.sav", n);
  return name;
}

std::string TSaveScreen::SlotFile(int n) const {
  std::string path;
  TRefusal why;
  return FSession.PathOf(SlotName(n), path, why) ? path : std::string();
}

TSaveScreen::TSaveScreen(QWidget* parent, TMode mode, TReaderSession& session, std::function<void(const std::string&)> chosen)
    : QDialog(parent), FMode(mode), FSession(session), FChosen(std::move(chosen)) {
  setWindowTitle(QString::fromUtf8(mode == TMode::Save ? "セーブ" : "ロード"));
  auto* layout = new QVBoxLayout(this);
  FList = new QListWidget(this);
  FList->setIconSize(QSize(160, 120));
  FList->setMinimumSize(560, 3 * kRowHeight);
  layout->addWidget(FList);
  auto* buttons = new QHBoxLayout;
  auto* previous = new QPushButton(QString::fromUtf8("◀ 前のページ"), this);
  FPageLabel = new QLabel(this);
  auto* next = new QPushButton(QString::fromUtf8("次のページ ▶"), this);
  FDelete = new QPushButton(QString::fromUtf8("削除"), this);
  auto* close = new QPushButton(QString::fromUtf8("閉じる"), this);
  buttons->addWidget(previous);
  buttons->addWidget(FPageLabel);
  buttons->addWidget(next);
  buttons->addStretch();
  buttons->addWidget(FDelete);
  buttons->addWidget(close);
  layout->addLayout(buttons);
  connect(previous, &QPushButton::clicked, this, [this] { ShowPage(FPage - 1); });
  connect(next, &QPushButton::clicked, this, [this] { ShowPage(FPage + 1); });
  connect(FDelete, &QPushButton::clicked, this, [this] { Delete(); });
  connect(close, &QPushButton::clicked, this, [this] { reject(); });
  connect(FList, &QListWidget::itemActivated, this, [this](QListWidgetItem* item) { Choose(item->data(Qt::UserRole).toInt()); });
  ShowPage(0);
  // A page's slots when the screen has room; else what fits, and the list scrolls.
  QSize size = sizeHint().expandedTo(QSize(600, kSlotsPerPage * kRowHeight + 80));
  if (const QScreen* screen = (parent ? parent->screen() : nullptr)) size = size.boundedTo(screen->availableGeometry().size() - QSize(40, 80));
  resize(size);
}

void TSaveScreen::ShowPage(int page) {
  const int pages = kSlots / kSlotsPerPage;
  FPage = (page + pages) % pages;
  FPageLabel->setText(QString::fromUtf8("%1 / %2 ページ").arg(FPage + 1).arg(pages));
  FList->clear();
  for (int k = 0; k < kSlotsPerPage; ++k) {
    const int n = FPage * kSlotsPerPage + k + 1;
    const TSlotView v = ViewOf(FSession, SlotFile(n), n);
    auto* item = new QListWidgetItem(QIcon(v.Thumbnail), v.Caption, FList);
    item->setData(Qt::UserRole, n);
    item->setSizeHint(QSize(540, kRowHeight - 2));
    if (!v.Reason.isEmpty()) item->setToolTip(v.Reason);
    if (FMode == TMode::Load && !v.Loadable) item->setFlags(item->flags() & ~Qt::ItemIsEnabled);
  }
}

void TSaveScreen::Choose(int n) {
  const std::string path = SlotFile(n);
  if (FMode == TMode::Save && !path.empty() && std::filesystem::exists(path) &&
      MessageDlg(Format("スロット %s のセーブに上書きしますか？", {std::to_string(n)}), mtConfirmation, mbYesNo) != mrYes)
    return;
  accept();
  FChosen(SlotName(n));
}

void TSaveScreen::Delete() {
  QListWidgetItem* item = FList->currentItem();
  if (!item) return;
  const int n = item->data(Qt::UserRole).toInt();
  const std::string path = SlotFile(n);
  if (path.empty() || !std::filesystem::exists(path)) return;
  if (MessageDlg(Format("スロット %s のセーブを削除しますか？", {std::to_string(n)}), mtConfirmation, mbYesNo) != mrYes)
    return;
  std::error_code error;
  std::filesystem::remove(path, error);
  ShowPage(FPage);
}
