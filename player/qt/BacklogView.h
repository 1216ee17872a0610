// The backlog over the picture: the pages seen with their speakers and the choices taken,
// newest at the bottom. The wheel and the keys scroll it; the wheel down past its end, a
// right click or Escape close it; choosing a page goes back to it. The view holds the
// list it shows (the nodes stay alive while it is open); a page that can no longer be gone
// back to is greyed, with why, and choosing it does nothing. Keys never reach the window
// behind it.
// Threads: GUI thread only.
#pragma once

#include <QListWidget>
#include <functional>

#include "player/Snapshot.h"

class TBacklogView : public QListWidget {
 public:
  // The most characters an entry shows; a longer one ends in "…".
  static constexpr int kShownChars = 600;
  // `reachable` says whether a page can be gone back to; `back` goes back to it and says
  // whether it did. `closed` is told once the view closes.
  TBacklogView(QWidget* parent, TBacklog backlog, const std::function<bool(const TBacklogNode*)>& reachable,
               std::function<bool(const TBacklogNode*)> back, std::function<void()> closed);
  ~TBacklogView() override;
  // Its owner goes: nothing is told any more.
  void Detach() { FBack = nullptr, FClosed = nullptr; }

 protected:
  void wheelEvent(QWheelEvent* e) override;
  void mousePressEvent(QMouseEvent* e) override;
  void keyPressEvent(QKeyEvent* e) override;
  void keyReleaseEvent(QKeyEvent* e) override;

 private:
  void Choose(QListWidgetItem* item);
  TBacklog FBacklog;  // what the items name
  std::function<bool(const TBacklogNode*)> FBack;
  std::function<void()> FClosed;
};
