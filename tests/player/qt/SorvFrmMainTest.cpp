#include "player/qt/SorvFrmMain.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QMenu>

#include "../../TestSupport.h"
#include "platform/CodePage.h"

namespace {

class Window : public testing::Test {
 protected:
  static void SetUpTestSuite() {
    static int argc = 1;
    static char name[] = "sorvane-test";
    static char* argv[] = {name, nullptr};
    ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    static QApplication app(argc, argv);
  }
  void SetUp() override {
    FOldDir = std::filesystem::current_path();
    WriteFile(FDir / "start.svx", WideToCP932(u"<BODY><P>窓</P></BODY>"));
    FWindow = std::make_unique<TSorvFrmMain>(FDir.Path());
  }
  void TearDown() override {
    FWindow.reset();
    std::filesystem::current_path(FOldDir);
  }
  // The events the window queued, oldest first (the interpreter has not run meanwhile:
  // its steps wait for the event loop).
  std::vector<std::pair<int, int>> Drain() {
    std::vector<std::pair<int, int>> out;
    TInputEvent e;
    for (;;) {
      EventQueue->Pop(e);
      if (e.EventType == 0) return out;
      out.emplace_back(e.EventType, e.EventData);
    }
  }
  TempDir FDir;
  std::filesystem::path FOldDir;
  std::unique_ptr<TSorvFrmMain> FWindow;
};

TEST_F(Window, MenusHaveTheirCaptionsAndShortcuts) {
  TSorvFrmMain& w = *FWindow;
  EXPECT_EQ(w.windowTitle(), "Sorvane");
  EXPECT_EQ(w.File1->title(), QString::fromUtf8("ファイル(&F)"));
  EXPECT_EQ(w.D1->title(), QString::fromUtf8("デバッグ(&D)"));
  EXPECT_EQ(w.miFullScreen->shortcut(), QKeySequence(Qt::Key_F11));
  EXPECT_EQ(w.miShowVaraiable->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_V));
  EXPECT_EQ(w.miShowClipRects->text(), QString::fromUtf8("クリップ領域を表示(&C)"));
  EXPECT_EQ(w.centralWidget()->size(), QSize(800, 600));
  for (QAction* a : {w.miDebugMessage, w.miShowBackBuffer, w.miShowClipRects, w.miShowScript, w.miShowVaraiable,
                     w.miSetDIBitsToDevice})
    EXPECT_FALSE(a->isChecked());
}

TEST_F(Window, EachMenuItemSendsItsEventOverTwoToggles) {
  TSorvFrmMain& w = *FWindow;
  Drain();
  const std::pair<QAction*, int> items[] = {{w.miDebugMessage, 5}, {w.miShowClipRects, 6}, {w.miShowBackBuffer, 7},
                                            {w.miShowScript, 8},   {w.miShowVaraiable, 9}};
  for (const auto& [action, type] : items) {
    action->trigger();
    action->trigger();
    EXPECT_EQ(Drain(), (std::vector<std::pair<int, int>>{{type, 1}, {type, 0}})) << type;
  }
  w.miSetDIBitsToDevice->trigger();
  w.miSetDIBitsToDevice->trigger();
  EXPECT_EQ(Drain(), (std::vector<std::pair<int, int>>{{4, 2}, {4, 1}}));
}

// The back buffer's fourth byte is whatever the drawing left there; the window shows every
// pixel opaque even where it keeps transparency of its own, as a Wayland surface does.
TEST_F(Window, ThePictureIsOpaqueWhateverTheBackBuffersFourthByte) {
  TSorvFrmMain& w = *FWindow;
  const TABitmap& back = w.SubThread()->Picture();
  for (int y = 0; y < back.Height(); ++y) {
    auto* row = reinterpret_cast<uint32_t*>(back.ScanLine(y));
    for (int x = 0; x < back.Width(); ++x) row[x] = (uint32_t(x % 3 * 60) << 24) | 0x204080;
  }
  QImage shown(800, 600, QImage::Format_ARGB32_Premultiplied);
  shown.fill(Qt::white);
  w.centralWidget()->render(&shown);
  for (const QPoint p : {QPoint(0, 0), QPoint(1, 1), QPoint(401, 300), QPoint(799, 599)})
    EXPECT_EQ(shown.pixel(p), 0xFF204080u) << p.x() << "," << p.y();
}
}  // namespace

namespace {

TEST_F(Window, AStoryStartsAProgramOnlyWhenTheReaderSaysYes) {
  std::vector<std::string> asked;
  int answer = mrNo;
  const TMessageDlgScope dialogs([&](const std::string& text, TMsgDlgType type, TMsgDlgButtons buttons) {
    EXPECT_EQ(type, mtConfirmation);
    EXPECT_EQ(buttons, mbYesNo);
    asked.push_back(text);
    return answer;
  });
  EXPECT_FALSE(FWindow->MayStartProcess("xterm", "xterm -e top"));
  answer = mrYes;
  EXPECT_TRUE(FWindow->MayStartProcess("xterm", "xterm -e top"));
  ASSERT_EQ(asked.size(), 2u);
  EXPECT_NE(asked[0].find("\"xterm\""), std::string::npos) << asked[0];
  EXPECT_NE(asked[0].find("xterm -e top"), std::string::npos) << asked[0];
}

}  // namespace

#include <QListWidget>

#include "player/SaveFile.h"
#include "player/StoryFolder.h"
#include "player/qt/SaveScreen.h"

namespace {

TEST_F(Window, TheSaveScreenShowsEachSlotAsItIsAndLoadsOnlyWhatCanBeLoaded) {
  TempDir data;
  const std::string identity = "mine";
  std::string why;
  ASSERT_TRUE(WriteSave(TSaveScreen::SlotPath(data.Path(), 1), SaveOf(*FWindow->SubThread(), TStoryIdentity{"Mine", identity}), why));
  WriteFile(TSaveScreen::SlotPath(data.Path(), 2), "SORVSAVE but damaged");
  ASSERT_TRUE(WriteSave(TSaveScreen::SlotPath(data.Path(), 3), SaveOf(*FWindow->SubThread(), TStoryIdentity{"Theirs", "theirs"}), why));
  std::string chosen;
  TSaveScreen load(FWindow.get(), TSaveScreen::TMode::Load, data.Path(), identity, [&](const std::string& p) { chosen = p; });
  auto* list = load.findChild<QListWidget*>();
  ASSERT_NE(list, nullptr);
  ASSERT_EQ(list->count(), TSaveScreen::kSlotsPerPage);
  EXPECT_TRUE(list->item(0)->flags() & Qt::ItemIsEnabled);
  EXPECT_FALSE(list->item(0)->icon().isNull());  // its thumbnail
  EXPECT_TRUE(list->item(0)->text().contains(QString::fromUtf8("スロット 1　20")));  // its date
  EXPECT_FALSE(list->item(1)->flags() & Qt::ItemIsEnabled);
  EXPECT_TRUE(list->item(1)->text().contains(QString::fromUtf8("破損")));
  EXPECT_FALSE(list->item(1)->toolTip().isEmpty());
  EXPECT_FALSE(list->item(2)->flags() & Qt::ItemIsEnabled);
  EXPECT_TRUE(list->item(2)->text().contains(QString::fromUtf8("別の物語")));
  EXPECT_TRUE(list->item(3)->text().contains(QString::fromUtf8("空き")));
  emit list->itemActivated(list->item(0));
  EXPECT_EQ(chosen, TSaveScreen::SlotPath(data.Path(), 1));
  // Saving into an empty slot asks nothing.
  chosen.clear();
  TSaveScreen save(FWindow.get(), TSaveScreen::TMode::Save, data.Path(), identity, [&](const std::string& p) { chosen = p; });
  auto* slotList = save.findChild<QListWidget*>();
  emit slotList->itemActivated(slotList->item(4));
  EXPECT_EQ(chosen, TSaveScreen::SlotPath(data.Path(), 5));
}

}  // namespace

#include <QMouseEvent>

#include "player/qt/BacklogView.h"

namespace {

TEST_F(Window, TheBacklogListsPagesAndChoicesAndGoesBackToThePageChosen) {
  TBacklog backlog;
  backlog = BacklogAdd(backlog, TBacklogEntry{false, u"春香", u"一行目\n二行目"});
  backlog = BacklogAdd(backlog, TBacklogEntry{true, u"", u"東へ"});
  backlog = BacklogAdd(backlog, TBacklogEntry{false, u"", u"着きました"});
  const TBacklogNode* asked = nullptr;
  QWidget host;
  host.resize(800, 600);
  auto* view = new TBacklogView(&host, backlog, [&](const TBacklogNode* page) {
    asked = page;
    return true;
  });
  ASSERT_EQ(view->count(), 3);
  EXPECT_TRUE(view->item(0)->text().contains(QString::fromUtf8("【春香】")));
  EXPECT_TRUE(view->item(1)->text().contains(QString::fromUtf8("→ 東へ")));
  EXPECT_EQ(view->currentRow(), 2);  // the newest, at the bottom
  emit view->itemActivated(view->item(1));  // a choice is no page to go back to
  EXPECT_EQ(asked, nullptr);
  emit view->itemActivated(view->item(0));
  ASSERT_NE(asked, nullptr);
  EXPECT_EQ(asked->Entry.Text, u"一行目\n二行目");
}

}  // namespace
