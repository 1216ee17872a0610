// The save and load screen: the story's slots in pages, each with its save's thumbnail,
// date and time and the first line of its page; a damaged or foreign save shows as such,
// with its reason, and cannot be loaded. Saving over a slot and deleting one ask first.
// Threads: GUI thread only.
#pragma once

#include <QDialog>
#include <functional>
#include <string>

class QLabel;
class QListWidget;
class QPushButton;

class TSaveScreen : public QDialog {
 public:
  static constexpr int kSlots = 24;
  static constexpr int kSlotsPerPage = 8;

  enum class TMode { Save, Load };
  // `folder`: the story's folder of the reader's data; `identity`: the story's. Choosing a
  // slot calls `chosen` with its file's path (to write, or to load) and closes the screen.
  TSaveScreen(QWidget* parent, TMode mode, const std::string& folder, const std::string& identity,
              std::function<void(const std::string& path)> chosen);

  // The file of slot n (from 1).
  static std::string SlotPath(const std::string& folder, int n);

 private:
  void ShowPage(int page);
  void Choose(int n);
  void Delete();

  TMode FMode;
  std::string FFolder, FIdentity;
  std::function<void(const std::string&)> FChosen;
  QListWidget* FList;
  QLabel* FPageLabel;
  QPushButton* FDelete;
  int FPage = 0;
};
