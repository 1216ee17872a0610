#include "player/qt/SorvFrmMain.h"

#include <QAction>
#include <QActionGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QSpinBox>
#include <QTimer>
#include <QApplication>
#include <QCloseEvent>
#include <QEnterEvent>
#include <QFontDatabase>
#include <QFontMetrics>
#include <QImage>
#include <QKeyEvent>
#include <QLayout>
#include <QMenuBar>
#include <QPaintEngine>
#include <QPainter>
#include <QScreen>
#include <QWheelEvent>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <future>
#include <optional>
#include <system_error>
#include <thread>

#include "common/Screen.h"
#include "platform/Clock.h"
#include "platform/CodePage.h"
#include "platform/Dialogs.h"
#include "player/FileVerInfo.h"
#include "platform/Files.h"
#include "platform/Graphics.h"
#include "player/ResStr.h"
#include "player/ReaderSession.h"
#include "player/StoryFolder.h"
#include "player/Translation.h"
#include "player/qt/BacklogView.h"
#include "player/qt/SCLDebugForm.h"
#include "player/qt/SaveScreen.h"
#include "player/qt/QtSpeech.h"
#include "player/qt/StoryAccessible.h"
#include "player/qt/VaraiableDebug.h"

// The client area: paints the back buffer, 1:1 in a window, scaled to fit in full screen.
class TBackBufferView : public QWidget {
 public:
  explicit TBackBufferView(TSorvFrmMain* owner) : QWidget(owner), FOwner(owner) {
    setAttribute(Qt::WA_OpaquePaintEvent);  // never erased between frames
    setMouseTracking(true);
  }
  const TABitmap* Back = nullptr;
  // The pointer in screen coordinates while it is over the view, as its events tell (moves
  // dragged outside included); asking the display server instead would wait for its answer
  // at every step of the story.
  std::optional<QPoint> Pointer;
  std::vector<TOverlayLine> Overlay;
  bool Presenting = false;

  // Where the 800x600 picture lies in the widget: as it is at its own size, else scaled to
  // fit with its aspect kept (full screen, or a window the reader resized).
  QRect PictureRect() const {
    if (size() == QSize(kScreenWidth, kScreenHeight)) return QRect(0, 0, kScreenWidth, kScreenHeight);
    const double scale = std::min(width() / double(kScreenWidth), height() / double(kScreenHeight));
    const int w = int(kScreenWidth * scale), h = int(kScreenHeight * scale);
    return QRect((width() - w) / 2, (height() - h) / 2, w, h);
  }
  QPoint ToPicture(QPoint p) const {
    const QRect r = PictureRect();
    return QPoint(int((p.x() - r.x()) * double(kScreenWidth) / r.width()), int((p.y() - r.y()) * double(kScreenHeight) / r.height()));
  }

 protected:
  void paintEvent(QPaintEvent* e) override {
    QPainter painter(this);
    const QRect picture = PictureRect();
    if (picture != rect()) {
      // Black bars around the scaled picture.
      const QRegion bars = QRegion(rect()) - QRegion(picture);
      for (const QRect& r : bars) painter.fillRect(r, Qt::black);
    }
    if (!Back || !Back->HasImage()) {
      painter.fillRect(e->rect(), Qt::black);
      return;
    }
    if (picture.size() == QSize(kScreenWidth, kScreenHeight)) {
      QPoint at;
      if (QImage* window = WindowImage(painter, at)) {
        for (const QRect& r : e->region()) CopyOpaque(r.translated(-picture.topLeft()) & FOpaque.rect(), *window, at + picture.topLeft());
      } else {
        for (const QRect& r : e->region()) {
          const QRect source = r.translated(-picture.topLeft()) & FOpaque.rect();
          CopyOpaque(source, FOpaque, QPoint());
          painter.drawImage(source.topLeft() + picture.topLeft(), FOpaque, source);
        }
      }
    } else {
      CopyOpaque(FOpaque.rect(), FOpaque, QPoint());
      painter.setRenderHint(QPainter::SmoothPixmapTransform);
      painter.drawImage(picture, FOpaque);
    }
    if (!Presenting && FOwner->FSubThread) {
      // A repaint the window system asked for: the next frame copies it from the back buffer.
      const QRect r = e->rect();
      FOwner->FSubThread->Expose(TRect{r.left(), r.top(), r.right() + 1, r.bottom() + 1});
    }
    if (!Overlay.empty()) {
      QFont font("MS Gothic");
      font.setPixelSize(20);
      painter.setFont(font);
      for (const TOverlayLine& line : Overlay) {
        const QString text = QString::fromStdString(line.Text);
        const QRect box = painter.fontMetrics().boundingRect(text).translated(line.X, line.Y + 20);
        painter.fillRect(QRect(line.X, line.Y, box.width() + 2, 20), Qt::white);
        painter.setPen(Qt::black);
        painter.drawText(line.X, line.Y + 16, text);
      }
    }
  }
  // The back buffer's fourth byte is no transparency of the window's. Qt takes an RGB32
  // picture's fourth byte as it is, and a window that keeps transparency (a Wayland surface
  // does) would show the desktop through: the picture is copied with that byte made opaque,
  // to (at + r) of `to`.
  void CopyOpaque(const QRect& r, QImage& to, QPoint at) {
    for (int y = r.top(); y <= r.bottom(); ++y) {
      const auto* from = reinterpret_cast<const uint32_t*>(Back->ScanLine(y)) + r.left();
      auto* row = reinterpret_cast<uint32_t*>(to.scanLine(y + at.y())) + r.left() + at.x();
      for (int x = 0; x < r.width(); ++x) row[x] = from[x] | 0xFF000000u;
    }
  }
  // The window's own picture when the painter draws into it 1:1 as a 32-bit image (the
  // usual case), with where this widget's (0, 0) lies in it: the frame is copied there
  // directly, once, rather than into a picture of ours and from that into the window's.
  // (An opaque pixel is the same in the three formats.) Else nothing: the copy goes through
  // FOpaque.
  static QImage* WindowImage(QPainter& painter, QPoint& at) {
    QPaintEngine* engine = painter.paintEngine();
    QPaintDevice* device = engine ? engine->paintDevice() : nullptr;
    if (!device || device->devType() != QInternal::Image) return nullptr;
    auto* image = static_cast<QImage*>(device);
    const QImage::Format f = image->format();
    if (f != QImage::Format_RGB32 && f != QImage::Format_ARGB32 && f != QImage::Format_ARGB32_Premultiplied) return nullptr;
    const QTransform t = painter.deviceTransform();
    if (image->devicePixelRatio() != 1.0 || t.type() > QTransform::TxTranslate) return nullptr;
    at = QPoint(int(t.dx()), int(t.dy()));
    if (!image->rect().contains(QRect(at, QSize(kScreenWidth, kScreenHeight)))) return nullptr;
    return image;
  }

  void mousePressEvent(QMouseEvent* e) override {
    if (e->button() == Qt::LeftButton) FOwner->Send(evAdvance, 1);
  }
  void mouseMoveEvent(QMouseEvent* e) override {
    Pointer = e->globalPosition().toPoint();
    FOwner->MouseMovedTo(e->position().toPoint().y());
  }
  void enterEvent(QEnterEvent* e) override { Pointer = e->globalPosition().toPoint(); }
  void leaveEvent(QEvent*) override { Pointer.reset(); }
  // The wheel up over the picture opens the backlog.
  void wheelEvent(QWheelEvent* e) override {
    if (e->angleDelta().y() > 0) FOwner->OpenBacklog();
  }

 private:
  TSorvFrmMain* FOwner;
  QImage FOpaque{kScreenWidth, kScreenHeight, QImage::Format_RGB32};
};


namespace {
// Qt's fonts for the menu bar, looked up on a thread of their own while this one goes on:
// the font database, then the families that show the titles' characters, which Qt keeps
// for every thread. The configuration is loaded there first, with our additions; our own
// readers may then work beside the lookup, and a change to the configuration waits for it.
// The thread is joined when the lookup goes.
class TMenuFontLookup {
 public:
  TMenuFontLookup() {
    try {
      FThread = std::jthread([titles = FTitles.get_future()]() mutable {
        LoadFontConfiguration();
        const TFontConfigurationReading reading;
        QFontDatabase::families();
        const QFontMetrics metrics{QFont()};
        for (const QString& title : titles.get()) metrics.horizontalAdvance(title);
      });
    } catch (const std::system_error&) {
      // No thread: the menu bar looks its fonts up when it is measured.
    }
  }
  // The titles to measure, once the menus are made.
  void Measure(QStringList titles) {
    if (!FTold) FTitles.set_value(std::move(titles)), FTold = true;
  }
  ~TMenuFontLookup() { Measure({}); }  // then the thread is joined
  TMenuFontLookup(const TMenuFontLookup&) = delete;
  TMenuFontLookup& operator=(const TMenuFontLookup&) = delete;

 private:
  std::promise<QStringList> FTitles;
  bool FTold = false;
  std::jthread FThread;  // last: it goes first
};
}  // namespace

TSorvFrmMain::TSorvFrmMain(const std::string& storyDir) : FS(this), FStoryDir(storyDir) {
  setWindowTitle("Sorvane");
  FS.FullScreenWidth = kScreenWidth;
  FS.FullScreenHeight = kScreenHeight;
  FView = new TBackBufferView(this);
  FView->setMinimumSize(kScreenWidth / 2, kScreenHeight / 2);
  setCentralWidget(FView);
  std::optional<TMenuFontLookup> fonts(std::in_place);
  BuildMenus();
  StartupMark("menus");
  QStringList titles;
  for (const QAction* menu : menuBar()->actions()) titles << menu->text();
  fonts->Measure(titles);
  setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                 Qt::WindowMaximizeButtonHint | Qt::WindowCloseButtonHint);
  FSettings = LoadSettings();
  // The window itself carries the menus' shortcuts, so that they work with the menu bar
  // hidden in full screen.
  addActions({miSetDIBitsToDevice, miFullScreen, miDebugMessage, miShowBackBuffer, miShowClipRects, miShowScript,
              miShowVaraiable, miQuickSave, miQuickLoad, miRollback, miAuto, miSkip});
  const bool built = BuildRuntime(storyDir);
  fonts.reset();
  if (FStartupAborted) return;
  SetPictureSize(QSize(FSettings.WindowWidth, FSettings.WindowHeight));
  if (!built) return;
  FView->Back = &FSubThread->Picture();
  FAccess = std::make_unique<TStoryAccess>(FView);
  FSubThread->OnNarration = [this](const TNarration& n) { Narrate(n); };
  FSession = std::make_unique<TReaderSession>(*FSubThread, *this, storyDir, std::string());
  ApplySettings();
  // The pages read in earlier sessions, for skip; those read now are kept as they change.
  FSession->LoadReadMarks();
  auto* marks = new QTimer(this);
  connect(marks, &QTimer::timeout, this, [this] { FSession->KeepChangedReadMarks(); });
  marks->start(kMarksIntervalMs);
  FSubThread->OnTerminate = [this](TThread& t) { SubThreadTerminate(t); };
  FSubThread->Start();
  QTimer::singleShot(kPadStartDelayMs, this, [this] { StartPads(); });
}

bool TSorvFrmMain::BuildRuntime(const std::string& storyDir) {
  try {
    StartupMark("runtime-begins");
    FSubThread = std::make_unique<TSubThread>(*this, storyDir);
    StartupMark("runtime");
    return true;
  } catch (const EStartupAborted&) {
    // Its box has been shown: the program ends.
    FStartupAborted = true;
  } catch (const Exception& e) {
    // The story cannot start: say why; the window stays, without an interpreter.
    MessageDlg(e.Message(), mtError, mbOKOnly);
  } catch (const std::exception& e) {
    MessageDlg(e.what(), mtError, mbOKOnly);
  }
  return false;
}

void TSorvFrmMain::StartPads() {
  if (!FPads.Open()) return;  // no SDL, or no pads support: the keyboard and mouse remain
  auto* timer = new QTimer(this);
  connect(timer, &QTimer::timeout, this, [this] { PollPads(); });
  timer->start(kPadPollMs);
}

void TSorvFrmMain::PollPads() {
  TPadChange changes[32];
  const int n = FPads.Poll(changes, int(std::size(changes)));
  for (int i = 0; i < n; ++i) {
    const bool overStory = !QApplication::activeModalWidget() && !QApplication::activePopupWidget() && !FBacklogView;
    // After this tick: a screen it opens runs its own loop, where this timer must tick again.
    QMetaObject::invokeMethod(this, [this, action = PadAction(changes[i], overStory)] { PadDo(action); },
                              Qt::QueuedConnection);
  }
}

void TSorvFrmMain::PadKey(int key) {
  QWidget* to = QApplication::activePopupWidget();
  if (!to) to = QApplication::activeModalWidget();
  if (!to && FBacklogView) to = FBacklogView;
  if (!to) return;
  if (QWidget* focus = QApplication::focusWidget(); focus && to->isAncestorOf(focus)) to = focus;
  QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier), release(QEvent::KeyRelease, key, Qt::NoModifier);
  QApplication::sendEvent(to, &press);
  QApplication::sendEvent(to, &release);
}

void TSorvFrmMain::PadDo(TPadAction action) {
  if (!FSubThread) return;
  using A = TPadAction;
  const bool inMode = FSubThread->ReadingMode() != TSubThread::TReadingMode::Normal;
  switch (action) {
    case A::None: break;
    case A::Advance:
    case A::SelectNext:
    case A::SelectPrevious:
      // As a key: it ends auto or skip first.
      if (inMode) SetReadingMode(TSubThread::TReadingMode::Normal);
      else Send(action == A::Advance ? evAdvance : action == A::SelectNext ? evSelectNext : evSelectPrevious,
                action == A::Advance ? 1 : 0);
      break;
    case A::OpenBacklog: OpenBacklog(); break;
    case A::OpenSaveScreen: OpenSaveScreen(true); break;
    case A::OpenLoadScreen: OpenSaveScreen(false); break;
    case A::HoldSkip: SetReadingMode(TSubThread::TReadingMode::Skip); break;
    case A::ReleaseSkip:
      if (FSubThread->ReadingMode() == TSubThread::TReadingMode::Skip && !miSkip->isChecked())
        SetReadingMode(TSubThread::TReadingMode::Normal);
      break;
    case A::ToggleAuto:
      SetReadingMode(FSubThread->ReadingMode() == TSubThread::TReadingMode::Auto ? TSubThread::TReadingMode::Normal
                                                                                 : TSubThread::TReadingMode::Auto);
      break;
    case A::KeyUp: PadKey(Qt::Key_Up); break;
    case A::KeyDown: PadKey(Qt::Key_Down); break;
    case A::KeyLeft: PadKey(Qt::Key_Left); break;
    case A::KeyRight: PadKey(Qt::Key_Right); break;
    case A::KeyReturn: PadKey(Qt::Key_Return); break;
    case A::KeyEscape: PadKey(Qt::Key_Escape); break;
  }
}

TSorvFrmMain::~TSorvFrmMain() {
  // A backlog open or closing reaches into this window when it goes: it goes first.
  for (TBacklogView* view : FView->findChildren<TBacklogView*>()) {
    view->Detach();
    delete view;
  }
  FBacklogView = nullptr;
  FSession.reset();
  FSubThread.reset();  // terminates the worker, serving its pending steps while waiting
}

void TSorvFrmMain::BuildMenus() {
  QMenuBar* bar = menuBar();
  File1 = bar->addMenu(QString::fromUtf8("ファイル(&F)"));
  miSave = File1->addAction(QString::fromUtf8("セーブ(&S)..."), this, [this] { OpenSaveScreen(true); });
  miLoad = File1->addAction(QString::fromUtf8("ロード(&O)..."), this, [this] { OpenSaveScreen(false); });
  File1->addSeparator();
  miQuickSave = File1->addAction(QString::fromUtf8("クイックセーブ(&Q)"), this, [this] { SaveTo(kQuickSave); });
  miQuickSave->setShortcut(QKeySequence(Qt::Key_F5));
  miQuickLoad = File1->addAction(QString::fromUtf8("クイックロード(&L)"), this,
                                 [this] { LoadFrom(kQuickSave, "クイックセーブがありません。"); });
  miQuickLoad->setShortcut(QKeySequence(Qt::Key_F9));
  miResume = File1->addAction(QString::fromUtf8("続きから(&C)"), this,
                              [this] { LoadFrom(kAutoSave, "前回の続きがありません。"); });
  File1->addSeparator();
  Exit1 = File1->addAction(QString::fromUtf8("終了(&X)"), this, [this] { close(); });
  C1 = bar->addMenu(QString::fromUtf8("設定(&C)"));
  miSetDIBitsToDevice = C1->addAction(QString::fromUtf8("SetDIBitsToDeviceを使用(&D)"));
  miSetDIBitsToDevice->setCheckable(true);
  connect(miSetDIBitsToDevice, &QAction::triggered, this, [this] {
    // The item has already toggled: data 2 when it became checked, 1 when unchecked.
    if (FSubThread) Send(evSetDIBitsToDevice, miSetDIBitsToDevice->isChecked() ? 2 : 1);
  });
  miBacklog = C1->addAction(QString::fromUtf8("バックログ(&L)"), this, [this] { OpenBacklog(); });
  miRollback = C1->addAction(QString::fromUtf8("一つ前のページへ戻る(&B)"), this, [this] {
    CloseBacklog();
    if (FSubThread && FSubThread->Rollback()) FView->update();
  });
  miRollback->setShortcut(QKeySequence(Qt::Key_PageUp));
  miAuto = C1->addAction(QString::fromUtf8("オートモード(&A)"));
  miAuto->setShortcut(QKeySequence(Qt::Key_A));
  miAuto->setCheckable(true);
  connect(miAuto, &QAction::triggered, this, [this] {
    SetReadingMode(miAuto->isChecked() ? TSubThread::TReadingMode::Auto : TSubThread::TReadingMode::Normal);
  });
  miSkip = C1->addAction(QString::fromUtf8("スキップモード(&K)"));
  miSkip->setCheckable(true);
  connect(miSkip, &QAction::triggered, this, [this] {
    SetReadingMode(miSkip->isChecked() ? TSubThread::TReadingMode::Skip : TSubThread::TReadingMode::Normal);
  });
  miSpeak = C1->addAction(QString::fromUtf8("読み上げ(&R)"));
  miSpeak->setCheckable(true);
  connect(miSpeak, &QAction::triggered, this, [this] {
    FSettings.Speak = miSpeak->isChecked();
    ApplyVoice();
    KeepSettings();
  });
  C1->addSeparator();
  QMenu* sizes = C1->addMenu(QString::fromUtf8("ウィンドウサイズ(&W)"));
  for (const auto& [caption, scale] : {std::pair<const char*, double>{"1倍 (800x600)", 1.0}, {"1.5倍 (1200x900)", 1.5},
                                      {"2倍 (1600x1200)", 2.0}})
    sizes->addAction(QString::fromUtf8(caption), this, [this, scale] {
      if (FS.FullScreen()) DoFullScreen(false);
      SetPictureSize(QSize(int(kScreenWidth * scale), int(kScreenHeight * scale)));
    });
  QMenu* textSizes = C1->addMenu(QString::fromUtf8("文字の大きさ(&T)"));
  auto* textSizeGroup = new QActionGroup(this);
  for (const int32_t percent : kTextSizes) {
    QAction* a = textSizes->addAction(QString::fromUtf8("%1%").arg(percent));
    a->setCheckable(true);
    a->setData(percent);
    textSizeGroup->addAction(a);
    connect(a, &QAction::triggered, this, [this, percent] {
      FSettings.TextSize = percent;
      ApplySettings();
      KeepSettings();
    });
  }
  miTextSizes = textSizeGroup;
  // A setting the reader turns on and off from the menu: applied at once and kept.
  auto toggle = [this](const char* caption, bool TSettings::*flag) {
    QAction* a = C1->addAction(QString::fromUtf8(caption));
    a->setCheckable(true);
    connect(a, &QAction::triggered, this, [this, a, flag] {
      FSettings.*flag = a->isChecked();
      ApplySettings();
      KeepSettings();
    });
    return a;
  };
  miHighContrast = toggle("ハイコントラスト(&H)", &TSettings::HighContrast);
  miLineBreakRules = toggle("禁則処理(&N)", &TSettings::LineBreakRules);
  miLanguages = C1->addMenu(QString::fromUtf8("言語(&L)"));
  connect(miLanguages, &QMenu::aboutToShow, this, [this] { ListLanguages(); });
  miSettings = C1->addAction(QString::fromUtf8("環境設定(&P)..."), this, [this] { OpenSettings(); });
  C1->addSeparator();
  miFullScreen = C1->addAction(QString::fromUtf8("全画面表示(&F)"));
  miFullScreen->setShortcut(QKeySequence(Qt::Key_F11));
  miFullScreen->setCheckable(true);
  connect(miFullScreen, &QAction::triggered, this, [this] { DoFullScreen(!FS.FullScreen()); });
  D1 = bar->addMenu(QString::fromUtf8("デバッグ(&D)"));
  auto check = [this](QMenu* menu, const char* caption, QKeySequence key, uint8_t type) {
    QAction* a = menu->addAction(QString::fromUtf8(caption));
    a->setShortcut(key);
    a->setCheckable(true);
    connect(a, &QAction::triggered, this, [this, a, type] { CheckClick(a, type); });
    return a;
  };
  miDebugMessage = check(D1, "デバッグメッセージ(&M)", QKeySequence(Qt::CTRL | Qt::Key_M), evDebugMessage);
  D1->addSeparator();
  miShowBackBuffer = check(D1, "バックバッファを表示(&B)", QKeySequence(Qt::CTRL | Qt::Key_B), evShowBackBuffer);
  miShowClipRects = check(D1, "クリップ領域を表示(&C)", QKeySequence(Qt::CTRL | Qt::Key_R), evShowClipRects);
  D1->addSeparator();
  miShowScript = check(D1, "スクリプトコマンドを表示(&S)", QKeySequence(Qt::CTRL | Qt::Key_S), evShowScript);
  miShowVaraiable = check(D1, "変数を表示(&V)", QKeySequence(Qt::CTRL | Qt::Key_V), evShowVariables);
  Help1 = bar->addMenu(QString::fromUtf8("ヘルプ(&H)"));
  About1 = Help1->addAction(QString::fromUtf8("バージョン情報(&A)"), this,
                            [] { MessageDlg(AboutText(), mtInformation, mbOKOnly); });
}

void TSorvFrmMain::Send(uint8_t type, int32_t data) {
  if (FSubThread) FSubThread->Input(TInputEvent{type, data});
}

void TSorvFrmMain::CheckClick(QAction* item, uint8_t type) {
  // The item has toggled already; its new state is the event's data.
  Send(type, item->isChecked() ? 1 : 0);
}

bool TSorvFrmMain::MayStartProcess(const std::string& program, const std::string& commandLine) {
  return MessageDlg(Format(ResStr::ProcessConfirm, {program, commandLine}), mtConfirmation, mbYesNo) == mrYes;
}

void TSorvFrmMain::SubThreadTerminate(TThread& thread) {
  if (!thread.FatalException) return;
  // What the story holds now is no state to go on from: it is never saved over a good one.
  if (FSession) FSession->StoryStopped();
  try {
    std::rethrow_exception(thread.FatalException);
  } catch (const Exception& e) {
    MessageDlg(std::string(e.ClassName()) + "\r\n" + e.Message(), mtError, mbOKOnly);
  } catch (const std::exception& e) {
    MessageDlg(std::string("Exception\r\n") + e.what(), mtError, mbOKOnly);
  }
}

void TSorvFrmMain::keyPressEvent(QKeyEvent* e) {
  // A key ends auto or skip, as a click does; Ctrl held skips.
  if (FSubThread && FSubThread->ReadingMode() != TSubThread::TReadingMode::Normal && e->key() != Qt::Key_Control) {
    SetReadingMode(TSubThread::TReadingMode::Normal);
    return;
  }
  switch (e->key()) {
    case Qt::Key_Control:
      if (!e->isAutoRepeat()) SetReadingMode(TSubThread::TReadingMode::Skip);
      break;
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_Space:
      Send(evAdvance, 1);
      break;
    case Qt::Key_Home:
      if (FSubThread) MessageDlg(FSubThread->DumpInput(), mtInformation, mbOKOnly);
      break;
    // An open choice's lines or buttons, one by one.
    case Qt::Key_Down:
    case Qt::Key_Right:
    case Qt::Key_Tab:
      Send(evSelectNext, 0);
      break;
    case Qt::Key_Up:
    case Qt::Key_Left:
    case Qt::Key_Backtab:
      Send(evSelectPrevious, 0);
      break;
    default: QMainWindow::keyPressEvent(e);
  }
}

bool TSorvFrmMain::event(QEvent* e) {
  // Losing the focus to another application leaves full screen. The switch itself may take
  // the focus away for a moment (the window manager maps the window anew): the rule holds
  // once the window has been active in full screen.
  if (e->type() == QEvent::WindowActivate && FS.FullScreen()) FFullScreenActive = true;
  if (e->type() == QEvent::WindowDeactivate && FS.FullScreen() && FFullScreenActive && !QApplication::activeWindow())
    QMetaObject::invokeMethod(this, [this] {
      if (FS.FullScreen() && !QApplication::activeWindow()) DoFullScreen(false);
    }, Qt::QueuedConnection);
  return QMainWindow::event(e);
}

void TSorvFrmMain::keyReleaseEvent(QKeyEvent* e) {
  if (e->key() == Qt::Key_Control && !e->isAutoRepeat() && !miSkip->isChecked())
    SetReadingMode(TSubThread::TReadingMode::Normal);
  QMainWindow::keyReleaseEvent(e);
}

void TSorvFrmMain::SetReadingMode(TSubThread::TReadingMode mode) {
  if (!FSubThread) return;
  CloseBacklog();
  FSubThread->SetReadingMode(mode);
  miAuto->setChecked(mode == TSubThread::TReadingMode::Auto);
  miSkip->setChecked(mode == TSubThread::TReadingMode::Skip && miSkip->isChecked());
}

void TSorvFrmMain::SaveTo(const std::string& name) {
  TRefusal why;
  if (FSession && !FSession->Save(name, why))
    MessageDlg(Format("セーブできません。\r\n%s", {why.Japanese()}), mtError, mbOKOnly);
}

void TSorvFrmMain::ApplySettings() {
  if (!FSubThread) return;
  FSubThread->SetAutoPace(uint32_t(FSettings.AutoBase), uint32_t(FSettings.AutoPerChar));
  FSubThread->SetSkipUnread(FSettings.SkipUnread);
  for (int32_t channel = 0; channel < kChannelCount; ++channel) FSubThread->SetVolume(channel, FSettings.Volume[channel]);
  FSubThread->SetTextScale(TextSizeOf(FSettings.TextSize));
  FSubThread->SetHighContrast(FSettings.HighContrast);
  for (QAction* a : miTextSizes->actions()) a->setChecked(a->data().toInt() == TextSizeOf(FSettings.TextSize));
  miHighContrast->setChecked(FSettings.HighContrast);
  FSubThread->SetLineBreakRules(FSettings.LineBreakRules);
  miLineBreakRules->setChecked(FSettings.LineBreakRules);
  // The reader's language where the story has it, else the story's own.
  const std::vector<std::string> languages = StoryLanguages();
  const bool has = std::find(languages.begin(), languages.end(), FSettings.Language) != languages.end();
  if (!FSubThread->SetLanguage(has ? FSettings.Language : std::string()))
    MessageDlg(Format("翻訳を読めません: %s", {TranslationFile(FSettings.Language)}), mtError, mbOKOnly);
  ApplyVoice();
}

void TSorvFrmMain::ListLanguages() {
  miLanguages->clear();
  auto* group = new QActionGroup(miLanguages);
  const std::string now = FSubThread ? FSubThread->Language() : std::string();
  auto add = [&](const QString& caption, const std::string& language) {
    QAction* a = miLanguages->addAction(caption);
    a->setCheckable(true);
    a->setChecked(language == now);
    group->addAction(a);
    connect(a, &QAction::triggered, this, [this, language] {
      FSettings.Language = language;
      ApplySettings();
      KeepSettings();
    });
  };
  add(QString::fromUtf8("物語の言語"), "");
  for (const std::string& language : StoryLanguages())
    add(QString::fromUtf8(LanguageName(language) + " (" + language + ")"), language);
}

void TSorvFrmMain::KeepSettings() {
  std::string why;
  if (!SaveSettings(FSettings, why)) MessageDlg(Format("設定を保存できません。\r\n%s", {why}), mtError, mbOKOnly);
}

void TSorvFrmMain::ApplyVoice() {
  miSpeak->setChecked(FSettings.Speak);
  if (!FSettings.Speak && !FVoice) return;  // the engine is made only for a reader who wants it
  if (!FSpeechOut) {
    FSpeech = new TQtSpeech(this);
    FSpeechOut = FSpeech;
  }
  if (FSpeech) {
    FSpeech->SetRate(FSettings.SpeechRate);
    FSpeech->SetVoice(QString::fromStdString(FSettings.SpeechVoice));
  }
  if (!FVoice) FVoice = std::make_unique<TVoice>(*FSpeechOut);
  FVoice->SetOn(FSettings.Speak);
}

TSpeechLog& TSorvFrmMain::RecordSpeech() {
  if (!FSpeechLog) FSpeechLog = std::make_unique<TSpeechLog>();
  if (!FVoice) FSpeechOut = FSpeechLog.get();
  return *FSpeechLog;
}

void TSorvFrmMain::Narrate(const TNarration& n) {
  if (FAccess) FAccess->Take(n);
  if (FVoice) FVoice->Take(n);
}

void TSorvFrmMain::OpenSettings() {
  QDialog dialog(this);
  dialog.setWindowTitle(QString::fromUtf8("環境設定"));
  auto* form = new QFormLayout(&dialog);
  auto* base = new QSpinBox(&dialog);
  base->setRange(kAutoBaseRange.Low, kAutoBaseRange.High);
  base->setValue(FSettings.AutoBase);
  base->setSuffix(QString::fromUtf8(" フレーム"));
  auto* perChar = new QSpinBox(&dialog);
  perChar->setRange(kAutoPerCharRange.Low, kAutoPerCharRange.High);
  perChar->setValue(FSettings.AutoPerChar);
  perChar->setSuffix(QString::fromUtf8(" フレーム"));
  auto* unread = new QCheckBox(QString::fromUtf8("未読の文章もスキップする"), &dialog);
  unread->setChecked(FSettings.SkipUnread);
  form->addRow(QString::fromUtf8("オートモードの待ち時間:"), base);
  form->addRow(QString::fromUtf8("1文字ごとの待ち時間:"), perChar);
  form->addRow(unread);
  QSpinBox* volumes[kChannelCount];
  for (int32_t channel = 0; channel < kChannelCount; ++channel) {
    volumes[channel] = new QSpinBox(&dialog);
    volumes[channel]->setRange(kVolumeRange.Low, kVolumeRange.High);
    volumes[channel]->setValue(FSettings.Volume[channel]);
    volumes[channel]->setSuffix(" %");
    form->addRow(QString::fromUtf8("サウンド %1 の音量:").arg(channel), volumes[channel]);
  }
  auto* rate = new QSpinBox(&dialog);
  rate->setRange(kSpeechRateRange.Low, kSpeechRateRange.High);
  rate->setValue(FSettings.SpeechRate);
  form->addRow(QString::fromUtf8("読み上げの速さ:"), rate);
  auto* voice = new QComboBox(&dialog);
  voice->addItem(QString::fromUtf8("既定の声"), QString());
  // The voices are asked of the engine only while the voice is on: it is not started for this.
  if (FSpeech && FSettings.Speak)
    for (const QString& name : FSpeech->Voices()) voice->addItem(name, name);
  if (const int at = voice->findData(QString::fromStdString(FSettings.SpeechVoice)); at >= 0) voice->setCurrentIndex(at);
  form->addRow(QString::fromUtf8("読み上げの声:"), voice);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
  connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
  form->addRow(buttons);
  if (dialog.exec() != QDialog::Accepted) return;
  FSettings.AutoBase = base->value();
  FSettings.AutoPerChar = perChar->value();
  FSettings.SkipUnread = unread->isChecked();
  for (int32_t channel = 0; channel < kChannelCount; ++channel) FSettings.Volume[channel] = volumes[channel]->value();
  FSettings.SpeechRate = rate->value();
  FSettings.SpeechVoice = voice->currentData().toString().toStdString();
  ApplySettings();
  KeepSettings();
}

void TSorvFrmMain::OpenBacklog() {
  if (!FSubThread || FBacklogView) return;
  // While it is open the story does not move on: auto and skip pause, and come back when
  // the reader closes it without going back.
  const TSubThread::TReadingMode paused = FSubThread->ReadingMode();
  FSubThread->SetReadingMode(TSubThread::TReadingMode::Normal);
  FBacklogView = new TBacklogView(
      FView, FSubThread->BacklogList(), [this](const TBacklogNode* page) { return FSubThread->CanRollbackTo(page); },
      [this](const TBacklogNode* page) {
        if (!FSubThread->RollbackTo(page)) return false;
        FBacklogPaused.reset();
        FView->update();
        return true;
      },
      [this] {
        FBacklogView = nullptr;
        if (FSubThread && FBacklogPaused) {
          FSubThread->SetReadingMode(*FBacklogPaused);
          miAuto->setChecked(*FBacklogPaused == TSubThread::TReadingMode::Auto);
        }
        FBacklogPaused.reset();
      });
  FBacklogPaused = paused;
}

void TSorvFrmMain::CloseBacklog() {
  if (!FBacklogView) return;
  FBacklogPaused.reset();  // what closes it now sets the mode itself
  TBacklogView* view = FBacklogView;
  FBacklogView = nullptr;
  view->close();
}

void TSorvFrmMain::OpenSaveScreen(bool saving) {
  if (!FSubThread) return;
  CloseBacklog();
  TSaveScreen screen(this, saving ? TSaveScreen::TMode::Save : TSaveScreen::TMode::Load, *FSession,
                     [this, saving](const std::string& name) { saving ? SaveTo(name) : LoadFrom(name, nullptr); });
  screen.exec();
}

void TSorvFrmMain::LoadFrom(const std::string& name, const char* missing) {
  if (!FSubThread) return;
  CloseBacklog();
  std::string path;
  TRefusal why;
  if (missing && (!FSession->PathOf(name, path, why) || !IsRegularFile(path))) {
    MessageDlg(missing, mtInformation, mbOKOnly);
    return;
  }
  if (FSession->Load(name, why)) {
    SetReadingMode(TSubThread::TReadingMode::Normal);
    FView->update();
  } else if (why == TRefusalCode::OtherStory) {
    MessageDlg(why.Japanese(), mtError, mbOKOnly);
  } else if (why != TRefusalCode::Declined) {
    MessageDlg(Format("セーブを読み込めません。\r\n%s", {why.Japanese()}), mtError, mbOKOnly);
  }
}

void TSorvFrmMain::closeEvent(QCloseEvent* e) {
  CloseBacklog();
  // The reader's own close keeps where the story was, for 続きから; a story that stopped
  // on an error keeps the save it had.
  if (FSubThread && !FClosedByStory && !FSession->Stopped()) SaveTo(kAutoSave);
  KeepReaderData(false);
  FS.SetFullScreen(false);
  std::string why;
  SaveSettings(FSettings, why);  // the window's size, as the reader left it
  QMainWindow::closeEvent(e);
}

void TSorvFrmMain::KeepReaderData(bool autoSave) {
  if (!FSession) return;
  TRefusal why;
  if (autoSave && !FClosedByStory && !FSession->Stopped()) FSession->Save(kAutoSave, why);
  FSession->KeepReadMarks(why);
}

void TSorvFrmMain::FixWindowSize() { SetPictureSize(QSize(FSettings.WindowWidth, FSettings.WindowHeight)); }

void TSorvFrmMain::SetPictureSize(QSize size) {
  // A size larger than the picture's own is never larger than the screen can show, with
  // room for the frame and the menu bar.
  if (const QScreen* screen = this->screen()) {
    const QSize room = screen->availableGeometry().size() - QSize(kFrameRoom, kFrameRoom + menuBar()->sizeHint().height());
    size = size.boundedTo(room).expandedTo(size.boundedTo(QSize(kScreenWidth, kScreenHeight)));
  }
  // The window takes the size that gives the picture area this size; the reader may
  // resize it by its frame afterwards.
  // The picture area fixed at that size while the window fits itself around it, then free.
  FView->setFixedSize(size);
  layout()->activate();
  adjustSize();
  FView->setMinimumSize(kScreenWidth / 2, kScreenHeight / 2);
  FView->setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
}

void TSorvFrmMain::resizeEvent(QResizeEvent* e) {
  QMainWindow::resizeEvent(e);
  if (FS.FullScreen() || FChangingFullScreen || isMaximized() || isFullScreen()) return;
  // The size the reader gave the window is the one it comes back with.
  FSettings.WindowWidth = FView->width();
  FSettings.WindowHeight = FView->height();
}

void TSorvFrmMain::DoFullScreen(bool on) {
  // Steps run on this thread, so no frame is composed while the window changes; the sizes
  // it passes through are not the reader's.
  FChangingFullScreen = true;
  struct TDone {
    bool& Flag;
    ~TDone() { Flag = false; }
  } done{FChangingFullScreen};
  if (on != FS.FullScreen()) {
    if (on) {
      // The window may take any size while it covers the screen; the menu bar hides and
      // comes back when the mouse reaches the top edge.
      FView->setMinimumSize(0, 0);
      FView->setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
      FFullScreenActive = false;
      FS.SetFullScreen(true);
      if (FS.FullScreen()) menuBar()->hide();
      else FixWindowSize();
      FMenuRevealed = false;
    } else {
      FS.SetFullScreen(false);
      menuBar()->show();
      FixWindowSize();
    }
  }
  miFullScreen->setChecked(FS.FullScreen());
  FView->update();
}

void TSorvFrmMain::MouseMovedTo(int y) {
  if (!FS.FullScreen()) return;
  if (isActiveWindow()) FFullScreenActive = true;
  if (y <= kMenuRevealEdge && !FMenuRevealed) {
    menuBar()->show();
    FMenuRevealed = true;
  } else if (y > kMenuRevealEdge && FMenuRevealed) {
    menuBar()->hide();
    FMenuRevealed = false;
  }
}

// ---------------------------------------------------------------- IPlayerHost

TPoint TSorvFrmMain::ClientOrigin() {
  const QPoint p = FView->mapToGlobal(FView->PictureRect().topLeft());
  return TPoint{p.x(), p.y()};
}

TPoint TSorvFrmMain::CursorPos() {
  // In picture coordinates plus the origin, so that the runtime's subtraction gives the
  // point of the 800x600 picture under the pointer, scaled or not; a pointer away from the
  // view is just outside the picture's top-left corner.
  const QPoint local = FView->Pointer ? FView->ToPicture(FView->mapFromGlobal(*FView->Pointer)) : QPoint(-1, -1);
  const TPoint origin = ClientOrigin();
  return TPoint{origin.x + local.x(), origin.y + local.y()};
}

void TSorvFrmMain::Invalidate() { FView->update(); }

void TSorvFrmMain::Present(const TABitmap&, const TRect& r) {
  static bool first = true;
  if (first) {
    // For the start-up benchmark: when the first frame reached the screen (wall clock, ns).
    first = false;
    StartupMark("first-draw");
    if (std::getenv("SORVANE_REPORT_FIRST_FRAME")) {
      timespec now;
      clock_gettime(CLOCK_REALTIME, &now);
      std::fprintf(stderr, "first frame at %lld\n", (long long)now.tv_sec * 1000000000LL + now.tv_nsec);
    }
  }
  FView->Presenting = true;
  if (FView->size() != QSize(kScreenWidth, kScreenHeight)) FView->update();
  else FView->repaint(QRect(r.Left, r.Top, r.Right - r.Left, r.Bottom - r.Top));
  FView->Presenting = false;
}

void TSorvFrmMain::DrawOverlay(const std::vector<TOverlayLine>& lines) {
  FView->Overlay = lines;
  FView->Presenting = true;
  FView->repaint(QRect(0, 0, kScreenWidth, 120));  // the overlay's band at the top
  FView->Presenting = false;
  FView->Overlay.clear();
}

void TSorvFrmMain::Close() {
  FClosedByStory = true;
  // Not now: the interpreter is in the middle of its step.
  QMetaObject::invokeMethod(this, [this] { close(); }, Qt::QueuedConnection);
}

std::unique_ptr<ISCLDebugView> TSorvFrmMain::CreateScriptDebugView() { return CreateSCLDebugView(); }

std::unique_ptr<IVariableDebugView> TSorvFrmMain::CreateVariableDebugView(TIntTable& variables) {
  return ::CreateVariableDebugView(&variables);
}
