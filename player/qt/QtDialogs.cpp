#include "player/qt/QtDialogs.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QThread>

#include "platform/Application.h"
#include "platform/Classes.h"
#include "platform/Dialogs.h"
#include "platform/Graphics.h"

namespace {

// The answer of a box the reader did not give: No where there is one, then Abort, then the
// first button. A box that a termination signal ends gets it, so ending never consents.
TMsgDlgBtn UnansweredButton(TMsgDlgButtons buttons) {
  for (TMsgDlgBtn b : {mbNo, mbAbort})
    if (buttons & MsgDlgButton(b)) return b;
  for (TMsgDlgBtn b : {mbYes, mbOK, mbIgnore})
    if (buttons & MsgDlgButton(b)) return b;
  return mbOK;
}

int ShowBox(const std::string& text, TMsgDlgType type, TMsgDlgButtons buttons) {
  if (TerminationSignal() != 0) return ModalResultOf(UnansweredButton(buttons));
  // The box's fonts are read from the font configuration with our additions in it, which a
  // start may be making on another thread: they are made first.
  LoadFontConfiguration();
  QMessageBox box;
  const char* title = "Sorvane";
  switch (type) {
    case mtWarning: box.setIcon(QMessageBox::Warning), title = "警告"; break;
    case mtError: box.setIcon(QMessageBox::Critical), title = "エラー"; break;
    case mtInformation: box.setIcon(QMessageBox::Information), title = "情報"; break;
    case mtConfirmation: box.setIcon(QMessageBox::Question), title = "確認"; break;
    default: break;
  }
  box.setWindowTitle(QString::fromUtf8(title));
  box.setText(QString::fromStdString(text).replace("\r\n", "\n"));
  box.setTextInteractionFlags(Qt::TextSelectableByMouse);
  struct {
    TMsgDlgBtn Button;
    const char* Caption;
    QMessageBox::ButtonRole Role;
  } const kButtons[] = {{mbYes, "はい(&Y)", QMessageBox::YesRole},
                        {mbNo, "いいえ(&N)", QMessageBox::NoRole},
                        {mbOK, "OK", QMessageBox::AcceptRole},
                        {mbAbort, "中止(&A)", QMessageBox::RejectRole},
                        {mbIgnore, "無視(&I)", QMessageBox::AcceptRole}};
  std::vector<std::pair<QAbstractButton*, TMsgDlgBtn>> added;
  for (const auto& b : kButtons)
    if (buttons & MsgDlgButton(b.Button))
      added.emplace_back(static_cast<QAbstractButton*>(box.addButton(QString::fromUtf8(b.Caption), b.Role)), b.Button);
  if (added.empty())
    added.emplace_back(static_cast<QAbstractButton*>(box.addButton(QStringLiteral("OK"), QMessageBox::AcceptRole)), mbOK);
  // Asked whether to go ahead, Enter answers No.
  QAbstractButton* preferred = added.front().first;
  for (const auto& [button, id] : added)
    if (id == mbNo) preferred = button;
  box.setDefaultButton(qobject_cast<QPushButton*>(preferred));
  box.exec();
  if (TerminationSignal() != 0) return ModalResultOf(UnansweredButton(buttons));
  for (const auto& [button, id] : added)
    if (box.clickedButton() == button) return ModalResultOf(id);
  return ModalResultOf(added.front().second);
}

}  // namespace

void EndDialogs() {
  for (QWidget* w : QApplication::topLevelWidgets())
    if (auto* box = qobject_cast<QMessageBox*>(w); box && box->isVisible()) box->done(QDialog::Rejected);
}

void InstallQtDialogs() {
  SetMessageDlgHandler([](const std::string& text, TMsgDlgType type, TMsgDlgButtons buttons) {
    if (QThread::currentThread() == qApp->thread()) return ShowBox(text, type, buttons);
    // Through the platform's queue of main-thread calls rather than Qt's: the main thread
    // serves that one while it waits for a worker to end too, so a box a worker raises
    // during shutdown is shown instead of waiting for an event loop that never comes.
    int result = mrNone;
    TThread::Synchronize([&] { result = ShowBox(text, type, buttons); });
    return result;
  });
}
