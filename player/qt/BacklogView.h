// The backlog over the picture: the pages seen with their speakers and the choices taken,
// newest at the bottom. The wheel and the keys scroll it; the wheel down past its end, a
// right click or Escape close it; choosing a page goes back to it.
// Threads: GUI thread only.
#pragma once

#include <QListWidget>
#include <functional>

#include "player/Snapshot.h"

class TBacklogView : public QListWidget {
 public:
  // `back` is told the page chosen; it returns whether the story went back to it.
  TBacklogView(QWidget* parent, const TBacklog& backlog, std::function<bool(const TBacklogNode*)> back);

 protected:
  void wheelEvent(QWheelEvent* e) override;
  void mousePressEvent(QMouseEvent* e) override;
  void keyPressEvent(QKeyEvent* e) override;

 private:
  void Choose(QListWidgetItem* item);
  std::function<bool(const TBacklogNode*)> FBack;
};
