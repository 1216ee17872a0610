// The save and load screen: the story's slots in pages, each with its save's thumbnail,
// date and time and the first line of its page; a damaged or foreign save shows as such,
// with its reason, and cannot be loaded. Saving over a slot and deleting one ask first.
// Threads: GUI thread only.
#pragma once

#include <QDialog>
#include <functional>
#include <string>

class QLabel;
class TReaderSession;
class QListWidget;
class QPushButton;

class TSaveScreen : public QDialog {
 public:
  static constexpr int kSlots = 24;
  static constexpr int kSlotsPerPage = 8;

  enum class TMode { Save, Load };
  // The slots are the session's saves. Choosing one calls `chosen` with its save's name
  // (to write, or to load) and closes the screen. The screen fits the window's screen.
  TSaveScreen(QWidget* parent, TMode mode, TReaderSession& session, std::function<void(const std::string& name)> chosen);

  // The save's name of slot n (from 1).
  static std::string SlotName(int n);

 private:
  void ShowPage(int page);
  void Choose(int n);
  void Delete();

  // The slot's file, when its name leads to one.
  std::string SlotFile(int n) const;

  TMode FMode;
  TReaderSession& FSession;
  std::function<void(const std::string&)> FChosen;
  QListWidget* FList;
  QLabel* FPageLabel;
  QPushButton* FDelete;
  int FPage = 0;
};
