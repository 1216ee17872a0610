#include "player/qt/SorvFrmMain.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QMenu>
#include <QEnterEvent>
#include <QMenuBar>
#include <QMouseEvent>
#include <QScreen>

#include <optional>

#include "../../TestSupport.h"
#include "platform/CodePage.h"
#include "player/MainScriptLoader.h"
#include "player/Translation.h"

namespace {

class Window : public testing::Test {
 protected:
  static void SetUpTestSuite() {
    static int argc = 1;
    static char name[] = "sorvane-test";
    static char* argv[] = {name, nullptr};
    ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    // Never destroyed: Qt's input devices, made by the first key event, outlive it badly
    // when a static application goes at exit.
    static QApplication* app = new QApplication(argc, argv);
    (void)app;
  }
  void SetUp() override {
    FOldDir = std::filesystem::current_path();
    // Sealed from the reader's own folders: settings, saves, read marks and logs go here.
    for (const char* name : {"XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_STATE_HOME"}) {
      const char* old = std::getenv(name);
      FOldEnv.emplace_back(name, old ? std::optional<std::string>(old) : std::nullopt);
      ::setenv(name, (FReader / name).c_str(), 1);
    }
    WriteFile(FDir / "start.svx", WideToCP932(Story()));
    FWindow = std::make_unique<TSorvFrmMain>(FDir.Path());
  }
  void TearDown() override {
    FWindow.reset();
    for (const auto& [name, value] : FOldEnv) value ? ::setenv(name, value->c_str(), 1) : ::unsetenv(name);
    std::filesystem::current_path(FOldDir);
  }
  virtual std::u16string Story() const { return u"<BODY><P>窓</P></BODY>"; }
  // A menu item as the reader finds it, by its caption.
  QAction* Action(const char* caption) const {
    for (QAction* a : FWindow->findChildren<QAction*>())
      if (a->text() == QString::fromUtf8(caption)) return a;
    ADD_FAILURE() << caption;
    return nullptr;
  }
  QStringList MenuTitles() const {
    QStringList titles;
    for (QAction* a : FWindow->menuBar()->actions()) titles << a->text();
    return titles;
  }
  // The events the window queued, oldest first (the interpreter has not run meanwhile:
  // its steps wait for the event loop).
  std::vector<std::pair<int, int>> Drain() {
    std::vector<std::pair<int, int>> out;
    for (const TInputEvent& e : FWindow->SubThread()->Snapshot().Input) out.emplace_back(e.EventType, e.EventData);
    FWindow->SubThread()->DumpInput();  // taken
    return out;
  }
  TempDir FDir, FReader;
  std::filesystem::path FOldDir;
  std::vector<std::pair<const char*, std::optional<std::string>>> FOldEnv;
  std::unique_ptr<TSorvFrmMain> FWindow;
};

TEST_F(Window, MenusHaveTheirCaptionsAndShortcuts) {
  TSorvFrmMain& w = *FWindow;
  EXPECT_EQ(w.windowTitle(), "Sorvane");
  EXPECT_EQ(MenuTitles(), (QStringList{QString::fromUtf8("ファイル(&F)"), QString::fromUtf8("設定(&C)"),
                                       QString::fromUtf8("デバッグ(&D)"), QString::fromUtf8("ヘルプ(&H)")}));
  EXPECT_EQ(Action("全画面表示(&F)")->shortcut(), QKeySequence(Qt::Key_F11));
  EXPECT_EQ(Action("変数を表示(&V)")->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_V));
  EXPECT_EQ(Action("クリップ領域を表示(&C)")->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_R));
  EXPECT_EQ(w.centralWidget()->size(), QSize(800, 600));
  for (const char* caption : {"デバッグメッセージ(&M)", "バックバッファを表示(&B)", "クリップ領域を表示(&C)",
                              "スクリプトコマンドを表示(&S)", "変数を表示(&V)", "SetDIBitsToDeviceを使用(&D)"})
    EXPECT_FALSE(Action(caption)->isChecked()) << caption;
}

TEST_F(Window, EachMenuItemSendsItsEventOverTwoToggles) {
  Drain();
  const std::pair<const char*, int> items[] = {{"デバッグメッセージ(&M)", 5}, {"クリップ領域を表示(&C)", 6},
                                               {"バックバッファを表示(&B)", 7}, {"スクリプトコマンドを表示(&S)", 8},
                                               {"変数を表示(&V)", 9}};
  for (const auto& [caption, type] : items) {
    Action(caption)->trigger();
    Action(caption)->trigger();
    EXPECT_EQ(Drain(), (std::vector<std::pair<int, int>>{{type, 1}, {type, 0}})) << type;
  }
  Action("SetDIBitsToDeviceを使用(&D)")->trigger();
  Action("SetDIBitsToDeviceを使用(&D)")->trigger();
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

// The story learns where the pointer is from the picture's own events: over the picture
// where it last moved (a drag that left it included), outside once it has left.
TEST_F(Window, ThePointerIsWhereThePicturesEventsPutItAndOutsideOnceItLeaves) {
  TSorvFrmMain& w = *FWindow;
  QWidget* view = w.centralWidget();
  const auto inPicture = [&w] {
    const TPoint cursor = w.CursorPos(), origin = w.ClientOrigin();
    return QPoint(cursor.x - origin.x, cursor.y - origin.y);
  };
  EXPECT_EQ(inPicture(), QPoint(-1, -1));  // never over the picture yet
  const auto global = [view](QPoint p) { return QPointF(view->mapToGlobal(p)); };
  QEnterEvent enter(QPointF(10, 20), QPointF(10, 20), global(QPoint(10, 20)));
  QApplication::sendEvent(view, &enter);
  EXPECT_EQ(inPicture(), QPoint(10, 20));
  for (const QPoint p : {QPoint(400, 300), QPoint(850, -5)}) {
    QMouseEvent move(QEvent::MouseMove, QPointF(p), QPointF(p), global(p), Qt::NoButton, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(view, &move);
    EXPECT_EQ(inPicture(), p);
  }
  QEvent leave(QEvent::Leave);
  QApplication::sendEvent(view, &leave);
  EXPECT_EQ(inPicture(), QPoint(-1, -1));
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

#include "player/ReaderSession.h"
#include "player/qt/SaveScreen.h"

namespace {

TEST_F(Window, TheSaveScreenShowsEachSlotAsItIsAndLoadsOnlyWhatCanBeLoaded) {
  TReaderSession& session = *FWindow->Session();
  auto slot = [&](int n) {
    std::string path;
    TRefusal why;
    EXPECT_TRUE(session.PathOf(TSaveScreen::SlotName(n), path, why)) << why.English();
    return path;
  };
  TRefusal why;
  ASSERT_TRUE(WriteSave(slot(1), SaveOf(*FWindow->SubThread(), session.Story()), why));
  WriteFile(slot(2), "SORVSAVE but damaged");
  ASSERT_TRUE(WriteSave(slot(3), SaveOf(*FWindow->SubThread(), TStoryIdentity{"Theirs", "theirs", "theirs"}), why));
  std::string chosen;
  TSaveScreen load(FWindow.get(), TSaveScreen::TMode::Load, session, [&](const std::string& p) { chosen = p; });
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
  EXPECT_EQ(chosen, TSaveScreen::SlotName(1));
  // Saving into an empty slot asks nothing.
  chosen.clear();
  TSaveScreen save(FWindow.get(), TSaveScreen::TMode::Save, session, [&](const std::string& p) { chosen = p; });
  auto* slotList = save.findChild<QListWidget*>();
  emit slotList->itemActivated(slotList->item(4));
  EXPECT_EQ(chosen, TSaveScreen::SlotName(5));
  // The screen fits the window's screen (the offscreen one is 800x600).
  EXPECT_LE(save.height(), FWindow->screen()->availableGeometry().height());
}

}  // namespace

#include <QKeyEvent>
#include <QMouseEvent>
#include <QWheelEvent>

#include "player/qt/BacklogView.h"
#include "player/qt/StoryAccessible.h"
#include "player/qt/QtSpeech.h"
#include "../../VirtualPad.h"
#include <QElapsedTimer>
#include <QTextToSpeech>
#include <csignal>
#include <fstream>
#include <QTimer>

namespace {

// Records the keys that reach it: none should, from an open backlog.
class TKeyWitness : public QWidget {
 public:
  int Keys = 0;

 protected:
  void keyPressEvent(QKeyEvent*) override { ++Keys; }
};

TEST_F(Window, TheBacklogListsPagesAndChoicesAndGoesBackToThePageChosen) {
  TBacklog backlog;
  backlog = BacklogAdd(backlog, TBacklogEntry{false, u"春香", u"一行目\n二行目"});
  backlog = BacklogAdd(backlog, TBacklogEntry{true, u"", u"東へ"});
  backlog = BacklogAdd(backlog, TBacklogEntry{false, u"", u"着きました"});
  backlog = BacklogAdd(backlog, TBacklogEntry{false, u"", std::u16string(20000, u'長')});
  const TBacklogNode* asked = nullptr;
  const TBacklogNode* gone = backlog->Before.get();  // "着きました": no checkpoint left
  TKeyWitness host;
  host.resize(800, 600);
  bool closed = false;
  auto* view = new TBacklogView(
      &host, backlog, [&](const TBacklogNode* page) { return page != gone; },
      [&](const TBacklogNode* page) {
        asked = page;
        return true;
      },
      [&] { closed = true; });
  backlog.reset();  // the view holds what it shows
  ASSERT_EQ(view->count(), 4);
  EXPECT_TRUE(view->item(0)->text().contains(QString::fromUtf8("【春香】")));
  EXPECT_TRUE(view->item(1)->text().contains(QString::fromUtf8("→ 東へ")));
  EXPECT_LE(view->item(3)->text().size(), TBacklogView::kShownChars + 1);  // a long page shows its start
  EXPECT_EQ(view->currentRow(), 3);  // the newest, at the bottom
  emit view->itemActivated(view->item(1));  // a choice is no page to go back to
  EXPECT_EQ(asked, nullptr);
  // A page that can no longer be gone back to is greyed and says why; Return on it does
  // nothing, and never reaches the story behind.
  EXPECT_FALSE(view->item(2)->flags() & Qt::ItemIsEnabled);
  EXPECT_FALSE(view->item(2)->toolTip().isEmpty());
  view->setCurrentRow(2);
  for (const int key : {Qt::Key_Return, Qt::Key_Space, Qt::Key_Home, Qt::Key_Control}) {
    QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
    QApplication::sendEvent(view, &press);
  }
  EXPECT_EQ(asked, nullptr);
  EXPECT_EQ(host.Keys, 0);
  emit view->itemActivated(view->item(0));
  ASSERT_NE(asked, nullptr);
  EXPECT_EQ(asked->Entry.Text, u"一行目\n二行目");
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  EXPECT_TRUE(closed);
}

}  // namespace

namespace {

// A story of nine pages, stepped by the test itself: the runtime's worker waits for an
// event loop that never runs here, so every frame is the test's own.
class ReaderWindow : public Window {
 protected:
  std::u16string Story() const override {
    std::u16string story = u"<BODY>";
    for (int page = 1; page <= 9; ++page) story += u"<P>page " + Utf8ToWide(std::to_string(page)) + u"</P>";
    return story + u"</BODY>";
  }
  void Frames(int n) {
    for (int i = 0; i < n; ++i) FWindow->SubThread()->UpdateStep(), FWindow->SubThread()->DrawStep();
  }
  // Typed out, then clicked past: `pages` times.
  void Read(int pages) {
    for (int i = 0; i < pages; ++i) {
      Frames(30);
      FWindow->SubThread()->Input(TInputEvent{evAdvance, 1});
      Frames(2);
    }
    Frames(30);
  }
  std::u16string Page() const { return FWindow->SubThread()->Message().State().Lines[0].Text; }
  TBacklogView* Backlog() const {
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    return FWindow->findChild<TBacklogView*>();
  }
  void WheelUp() {
    QWheelEvent wheel(QPointF(400, 300), QPointF(400, 300), QPoint(0, 120), QPoint(0, 120), Qt::NoButton,
                      Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(FWindow->centralWidget(), &wheel);
  }
  void Key(int key) {
    QWidget* to = QApplication::focusWidget() ? QApplication::focusWidget() : FWindow.get();
    if (TBacklogView* view = Backlog()) to = view;
    QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
    QApplication::sendEvent(to, &press);
  }
};

// Under AddressSanitizer this once read freed pages: the backlog held nodes that the quick
// load (or Page Up) freed, stayed open and listed them, and Return chose one.
TEST_F(ReaderWindow, TheBacklogClosesBeforeALoadOrARollbackAndNeverShowsFreedPages) {
  const TMessageDlgScope dialogs([](const std::string&, TMsgDlgType, TMsgDlgButtons) { return mrOk; });
  Read(3);
  ASSERT_EQ(Page(), u"page 4");
  Action("クイックセーブ(&Q)")->trigger();
  Read(4);
  ASSERT_EQ(Page(), u"page 8");
  for (QAction* back : {Action("クイックロード(&L)"), Action("一つ前のページへ戻る(&B)")}) {
    WheelUp();
    ASSERT_NE(Backlog(), nullptr);
    back->trigger();
    EXPECT_EQ(Backlog(), nullptr);  // closed first
    Key(Qt::Key_Home);
    Key(Qt::Key_Return);
    Frames(2);
    EXPECT_NE(Page(), u"page 8");
  }
  // A backlog opened now lists the pages up to the one the story is on, none after it.
  Frames(30);
  WheelUp();
  ASSERT_NE(Backlog(), nullptr);
  const QString current = QString::fromStdU16String(Page());
  ASSERT_GT(Backlog()->count(), 0);
  EXPECT_EQ(Backlog()->item(Backlog()->count() - 1)->text(), current);
  EXPECT_EQ(Backlog()->count(), current.mid(5).toInt());
}

TEST_F(ReaderWindow, AnOpenBacklogPausesAutoModeUntilItCloses) {
  Read(2);
  Action("オートモード(&A)")->trigger();
  ASSERT_EQ(FWindow->SubThread()->ReadingMode(), TSubThread::TReadingMode::Auto);
  WheelUp();
  ASSERT_NE(Backlog(), nullptr);
  EXPECT_EQ(FWindow->SubThread()->ReadingMode(), TSubThread::TReadingMode::Normal);
  const std::u16string page = Page();
  Frames(600);  // far past auto mode's delay: the story stays on its page
  EXPECT_EQ(Page(), page);
  Key(Qt::Key_Escape);
  EXPECT_EQ(Backlog(), nullptr);
  EXPECT_EQ(FWindow->SubThread()->ReadingMode(), TSubThread::TReadingMode::Auto);
}

}  // namespace

class ChoiceWindow : public ReaderWindow {
 protected:
  std::u16string Story() const override {
    return u"<BODY><CODE>SETLAYERVISIBLE 0,1,0,0</CODE><CODE>SPEAKER 春香</CODE><P>どちら？</P><CODE>SPEAKER </CODE>"
           u"<UL><LI><A href=#a>はい</A></LI><LI><A href=#b>いいえ</A></LI></UL><A name=a></A><A name=b></A>"
           u"<P>おわり</P></BODY>";
  }
};

// The window's keys reach the choice; the voice (its speech recorded) and the screen
// reader's model follow the page and the highlight.
TEST_F(ChoiceWindow, KeysChooseAndTheVoiceAndTheScreenReaderFollow) {
  const TMessageDlgScope dialogs([](const std::string&, TMsgDlgType, TMsgDlgButtons) { return mrOk; });
  TSpeechLog& said = FWindow->RecordSpeech();
  EXPECT_FALSE(Action("読み上げ(&R)")->isChecked());
  Action("読み上げ(&R)")->trigger();
  Frames(30);
  EXPECT_EQ(FWindow->Access()->Model().Speaker, QString::fromUtf8("春香"));
  EXPECT_EQ(FWindow->Access()->Model().Page, QString::fromUtf8("どちら？"));
  Key(Qt::Key_Space);
  Frames(5);
  EXPECT_EQ(FWindow->Access()->Model().Choices, (QStringList{QString::fromUtf8("はい"), QString::fromUtf8("いいえ")}));
  Key(Qt::Key_Down);
  Key(Qt::Key_Tab);  // Tab moves through the choice too, not through the window's widgets
  Key(Qt::Key_Up);
  Key(Qt::Key_Down);
  Frames(2);
  EXPECT_EQ(FWindow->Access()->Model().Current, 1);
  EXPECT_EQ(FWindow->SubThread()->Message().State().HoverLine, 1);
  Key(Qt::Key_Return);
  Frames(30);
  EXPECT_EQ(Page(), u"おわり");
  EXPECT_EQ(said.Lines(), (std::vector<std::string>{"say: 春香「どちら？」", "stop", "say: はい", "say: いいえ", "stop",
                                                    "say: はい", "stop", "say: いいえ", "stop", "say: はい", "stop",
                                                    "say: いいえ", "stop", "say: おわり"}));
  // Turned off, it stops and says nothing more; the setting is kept.
  Action("読み上げ(&R)")->trigger();
  EXPECT_EQ(said.Lines().back(), "stop");
  EXPECT_FALSE(LoadSettings().Speak);
}

// The window's event loop for at most `ms`, until `done` holds.
template <typename F>
bool PumpUntil(F done, int ms = 5000) {
  QElapsedTimer clock;
  clock.start();
  while (!done() && clock.elapsed() < ms) QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
  return done();
}

// A pad plugged in while the story plays: A advances and chooses, the D-pad moves the
// highlight, B opens the backlog and, over it, goes back; Start opens the save screen,
// where B closes it; the shoulders hold skip and turn auto on.
TEST_F(ChoiceWindow, AGamePadReadsTheStory) {
  const TMessageDlgScope dialogs([](const std::string&, TMsgDlgType, TMsgDlgButtons) { return mrOk; });
  TVirtualPad pad;
  if (!pad.Plugged()) GTEST_SKIP() << "no SDL virtual joystick here: " << SDL_GetError();
  Frames(30);
  Drain();
  // Held, then let go once the window has seen it.
  const auto press = [&](SDL_GameControllerButton b, const auto& seen) {
    pad.Button(b, true);
    const bool ok = PumpUntil(seen);
    pad.Button(b, false);
    PumpUntil([] { return false; }, 60);
    return ok;
  };
  std::vector<std::pair<int, int>> queued;
  const auto queues = [&] {
    for (const auto& e : Drain()) queued.push_back(e);
    return !queued.empty();
  };
  ASSERT_TRUE(press(SDL_CONTROLLER_BUTTON_A, queues));
  EXPECT_EQ(queued, (std::vector<std::pair<int, int>>{{evAdvance, 1}}));
  queued.clear();
  ASSERT_TRUE(press(SDL_CONTROLLER_BUTTON_DPAD_DOWN, queues));
  EXPECT_EQ(queued, (std::vector<std::pair<int, int>>{{evSelectNext, 0}}));
  ASSERT_TRUE(press(SDL_CONTROLLER_BUTTON_B, [&] { return Backlog() != nullptr; }));
  ASSERT_TRUE(press(SDL_CONTROLLER_BUTTON_B, [&] { return Backlog() == nullptr; }));
  // The save screen is modal: B closes it from within its own loop.
  bool shown = false;
  QTimer watch;
  QObject::connect(&watch, &QTimer::timeout, [&] {
    if (!dynamic_cast<TSaveScreen*>(QApplication::activeModalWidget())) return;
    shown = true;
    pad.Button(SDL_CONTROLLER_BUTTON_B, true);
    watch.stop();
  });
  watch.start(20);
  pad.Button(SDL_CONTROLLER_BUTTON_START, true);
  PumpUntil([&] { return shown && !QApplication::activeModalWidget(); });
  pad.Button(SDL_CONTROLLER_BUTTON_START, false);
  pad.Button(SDL_CONTROLLER_BUTTON_B, false);
  EXPECT_TRUE(shown);
  EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
  PumpUntil([] { return false; }, 60);
  TSubThread& rt = *FWindow->SubThread();
  pad.Button(SDL_CONTROLLER_BUTTON_RIGHTSHOULDER, true);
  EXPECT_TRUE(PumpUntil([&] { return rt.ReadingMode() == TSubThread::TReadingMode::Skip; }));
  pad.Button(SDL_CONTROLLER_BUTTON_RIGHTSHOULDER, false);
  EXPECT_TRUE(PumpUntil([&] { return rt.ReadingMode() == TSubThread::TReadingMode::Normal; }));
  ASSERT_TRUE(press(SDL_CONTROLLER_BUTTON_LEFTSHOULDER, [&] { return rt.ReadingMode() == TSubThread::TReadingMode::Auto; }));
  EXPECT_TRUE(Action("オートモード(&A)")->isChecked());
}

// Once with the system's own voice (speech-dispatcher, espeak-ng for Japanese): the page
// reaches the engine, which starts speaking it. Not under AddressSanitizer, whose leak
// check would count what the speech client keeps for the process's life.
TEST_F(ChoiceWindow, TheSystemsVoiceSpeaksThePage) {
#ifdef __SANITIZE_ADDRESS__
  GTEST_SKIP() << "the system's voice is not tried under AddressSanitizer";
#endif
  if (QTextToSpeech::availableEngines().isEmpty()) GTEST_SKIP() << "no speech engine here";
  // The speech service the client starts is this test's own, and ends with it.
  TempDir runtime;
  const char* oldRuntime = std::getenv("XDG_RUNTIME_DIR");
  const std::string keptRuntime = oldRuntime ? oldRuntime : "";
  ::setenv("XDG_RUNTIME_DIR", runtime.Path().c_str(), 1);
  struct TEndService {
    const TempDir& Dir;
    const std::string& Kept;
    ~TEndService() {
      std::ifstream pidFile(Dir / "speech-dispatcher/pid/speech-dispatcher.pid");
      if (pid_t pid = 0; pidFile >> pid && pid > 0) ::kill(pid, SIGKILL);
      Kept.empty() ? ::unsetenv("XDG_RUNTIME_DIR") : ::setenv("XDG_RUNTIME_DIR", Kept.c_str(), 1);
    }
  } endService{runtime, keptRuntime};
  const TMessageDlgScope dialogs([](const std::string&, TMsgDlgType, TMsgDlgButtons) { return mrOk; });
  EXPECT_EQ(FWindow->Speech(), nullptr);  // not started for a reader who does not use it
  Action("読み上げ(&R)")->trigger();
  Frames(30);
  TQtSpeech* speech = FWindow->Speech();
  ASSERT_NE(speech, nullptr);
  EXPECT_TRUE(PumpUntil([&] { return speech->Speaking(); }, 20000));
  EXPECT_FALSE(speech->Voices().isEmpty());
  Action("読み上げ(&R)")->trigger();
}

// The language menu lists the story's translations; choosing one tells the page on show in
// it at once, and the choice is kept. The line breaking rules are a setting too.
TEST_F(ChoiceWindow, TheLanguageMenuTellsTheStoryInItsTranslation) {
  const TMessageDlgScope dialogs([](const std::string&, TMsgDlgType, TMsgDlgButtons) { return mrOk; });
  TMainScriptLoader script;
  script.Load(FDir / "start.svx");
  const std::vector<TStoryPage> pages = ListPages(script);
  ASSERT_GE(pages.size(), 2u);
  char key[17];
  std::snprintf(key, sizeof key, "%016llx", static_cast<unsigned long long>(pages[0].Key));
  std::filesystem::create_directory(FDir / "tl");
  WriteFile(FDir / "tl/en.txt", std::string("language: English\n[") + key + "]\nspeaker> Haruka\n> Which?\n");
  Frames(30);
  EXPECT_EQ(Page(), u"どちら？");
  QMenu* languages = nullptr;
  for (QMenu* m : FWindow->findChildren<QMenu*>())
    if (m->title() == QString::fromUtf8("言語(&L)")) languages = m;
  ASSERT_TRUE(languages);
  emit languages->aboutToShow();
  QStringList captions;
  for (QAction* a : languages->actions()) captions << a->text();
  EXPECT_EQ(captions, (QStringList{QString::fromUtf8("物語の言語"), QString::fromUtf8("English (en)")}));
  EXPECT_TRUE(languages->actions()[0]->isChecked());
  languages->actions()[1]->trigger();
  EXPECT_EQ(FWindow->SubThread()->Language(), "en");
  EXPECT_EQ(Page(), u"Which?");
  EXPECT_EQ(FWindow->SubThread()->Message().State().Lines.size(), 1u);
  EXPECT_EQ(LoadSettings().Language, "en");
  // Back to the story's own.
  emit languages->aboutToShow();
  languages->actions()[0]->trigger();
  EXPECT_EQ(Page(), u"どちら？");
  EXPECT_EQ(LoadSettings().Language, "");
  EXPECT_FALSE(Action("禁則処理(&N)")->isChecked());
  Action("禁則処理(&N)")->trigger();
  EXPECT_TRUE(LoadSettings().LineBreakRules);
}

#include "player/qt/SCLDebugForm.h"

namespace {

TFrmSCLDebug* CommandListWindow() {
  for (QWidget* w : QApplication::topLevelWidgets())
    if (auto* form = dynamic_cast<TFrmSCLDebug*>(w)) return form;
  return nullptr;
}

// The command list is built when first shown, with every row and the selection it was
// given before; from then on it is told at once.
TEST_F(Window, TheCommandListIsBuiltWhenFirstShownWithWhatItWasToldBefore) {
  ASSERT_EQ(CommandListWindow(), nullptr);  // the story's own is not shown
  const std::unique_ptr<ISCLDebugView> view = CreateSCLDebugView();
  view->AddRow("TEXT", "a");
  view->AddRow("WAIT", "");
  view->AddRow("CLEAR", "");
  view->SelectRow(1);
  view->SetVisible(false);
  EXPECT_EQ(CommandListWindow(), nullptr);
  view->SetVisible(true);
  TFrmSCLDebug* form = CommandListWindow();
  ASSERT_NE(form, nullptr);
  EXPECT_TRUE(form->isVisible());
  ASSERT_EQ(form->LiOperation->count(), 3);
  EXPECT_EQ(form->LiOperation->item(2)->text(), "CLEAR");
  EXPECT_EQ(form->LiParam->item(0)->text(), "a");
  EXPECT_EQ(form->LiOperation->currentRow(), 1);
  EXPECT_EQ(form->LiParam->currentRow(), 1);
  view->AddRow("JUMP", "x");
  view->SelectRow(3);
  EXPECT_EQ(form->LiParam->count(), 4);
  EXPECT_EQ(form->LiParam->currentRow(), 3);
  view->SetVisible(false);
  EXPECT_FALSE(form->isVisible());
}

}  // namespace
