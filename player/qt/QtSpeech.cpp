#include "player/qt/QtSpeech.h"

#include <QTextToSpeech>
#include <QThread>
#include <QVoice>

#include "platform/Application.h"
#include "platform/CodePage.h"

// The engine and what waits to be said: the speech thread's own.
class TSpeechWorker : public QObject {
 public:
  std::atomic<bool> Speaking{false};

  QTextToSpeech* Engine(TQtSpeech* owner) {
    if (FEngine) return FEngine;
    FEngine = new QTextToSpeech(this);
    // Stories are Japanese: the engine's Japanese voice unless the reader chose one.
    for (const QLocale& locale : FEngine->availableLocales())
      if (locale.language() == QLocale::Japanese) {
        FEngine->setLocale(locale);
        break;
      }
    connect(FEngine, &QTextToSpeech::stateChanged, this, [this](QTextToSpeech::State state) {
      Speaking = state == QTextToSpeech::Speaking;
      if (state == QTextToSpeech::Ready) SayNext();
    });
    QStringList names;
    for (const QVoice& voice : FEngine->availableVoices()) names.append(voice.name());
    QMetaObject::invokeMethod(owner, [owner, names] { owner->FVoices = names; }, Qt::QueuedConnection);
    return FEngine;
  }
  void Say(TQtSpeech* owner, const QString& text) {
    FWaiting.append(text);
    if (Engine(owner)->state() == QTextToSpeech::Ready) SayNext();
  }
  void Stop() {
    FWaiting.clear();
    if (FEngine) FEngine->stop();
  }
  void SetRate(int32_t percent) {
    if (FEngine) FEngine->setRate(percent / 100.0);
  }
  void SetVoice(const QString& name) {
    if (!FEngine || name.isEmpty()) return;
    for (const QVoice& voice : FEngine->availableVoices())
      if (voice.name() == name) FEngine->setVoice(voice);
  }

 private:
  void SayNext() {
    if (!FWaiting.isEmpty() && FEngine) FEngine->say(FWaiting.takeFirst());
  }
  QTextToSpeech* FEngine = nullptr;
  QStringList FWaiting;
};

TQtSpeech::TQtSpeech(QObject* parent) : QObject(parent) {
  // The speech service is reached over a socket, and it may quit while the story plays.
  IgnoreBrokenPipes();
}

TQtSpeech::~TQtSpeech() {
  if (!FThread) return;
  FWorker->deleteLater();  // on its thread, as the thread ends
  FThread->quit();
  // A speech service that never answered keeps the thread: it is left to the process's end
  // rather than waited for.
  if (!FThread->wait(2000)) return;
  delete FThread;
}

void TQtSpeech::Start() {
  if (FThread) return;
  FThread = new QThread;
  FThread->setObjectName("speech");
  FWorker = new TSpeechWorker;
  FWorker->moveToThread(FThread);
  FThread->start();
  const int32_t rate = FRate;
  const QString voice = FVoice;
  Post([this, rate, voice](TSpeechWorker& w) {
    w.Engine(this);
    w.SetRate(rate);
    w.SetVoice(voice);
  });
}

template <typename F>
void TQtSpeech::Post(F f) {
  QMetaObject::invokeMethod(FWorker, [worker = FWorker, f] { f(*worker); }, Qt::QueuedConnection);
}

void TQtSpeech::Say(const WideString& text) {
  Start();
  Post([this, line = QString::fromStdString(WideToUtf8(text))](TSpeechWorker& w) { w.Say(this, line); });
}

void TQtSpeech::Stop() {
  if (FThread) Post([](TSpeechWorker& w) { w.Stop(); });
}

void TQtSpeech::SetRate(int32_t percent) {
  FRate = percent;
  if (FThread) Post([percent](TSpeechWorker& w) { w.SetRate(percent); });
}

void TQtSpeech::SetVoice(const QString& name) {
  FVoice = name;
  if (FThread) Post([name](TSpeechWorker& w) { w.SetVoice(name); });
}

bool TQtSpeech::Speaking() const { return FWorker && FWorker->Speaking; }
