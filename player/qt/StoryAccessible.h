// The story for screen readers, through Qt's accessibility (AT-SPI on Linux): the picture
// widget holds the speaker and the page as accessible text, and the open choice as a list
// whose current item follows the keyboard's highlight. The window feeds it the runtime's
// narration; each page shown whole and each move of the highlight is announced.
// Threads: GUI thread only.
#pragma once

#include <QString>
#include <QStringList>
#include <memory>

#include "player/Narration.h"

class QWidget;

// What the picture holds for a screen reader now.
struct TStoryAccessModel {
  QString Speaker;
  QString Page;
  QStringList Choices;
  int Current = -1;  // the highlighted choice, -1: none
};

class TStoryAccess {
 public:
  // Gives `view` its accessible interface (once per widget).
  explicit TStoryAccess(QWidget* view);
  // Takes a piece of narration into the model, and tells the screen reader.
  void Take(const TNarration& n);
  const TStoryAccessModel& Model() const { return *FModel; }

 private:
  QWidget* FView;
  std::shared_ptr<TStoryAccessModel> FModel;
};
