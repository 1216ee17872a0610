#include "player/qt/QtSpeech.h"

#include <QTextToSpeech>
#include <QVoice>

#include "platform/CodePage.h"

QTextToSpeech* TQtSpeech::Engine() {
  if (FEngine) return FEngine;
  FEngine = new QTextToSpeech(this);
  // Stories are Japanese: the engine's Japanese voice unless the reader chose one.
  for (const QLocale& locale : FEngine->availableLocales())
    if (locale.language() == QLocale::Japanese) {
      FEngine->setLocale(locale);
      break;
    }
  connect(FEngine, &QTextToSpeech::stateChanged, this, [this](QTextToSpeech::State state) {
    if (state == QTextToSpeech::Ready) SayNext();
  });
  SetRate(FRate);
  SetVoice(FVoice);
  return FEngine;
}

void TQtSpeech::Say(const WideString& text) {
  FWaiting.append(QString::fromStdString(WideToUtf8(text)));
  if (Engine()->state() == QTextToSpeech::Ready) SayNext();
}

void TQtSpeech::SayNext() {
  if (FWaiting.isEmpty() || !FEngine) return;
  FEngine->say(FWaiting.takeFirst());
}

void TQtSpeech::Stop() {
  FWaiting.clear();
  if (FEngine) FEngine->stop();
}

void TQtSpeech::SetRate(int32_t percent) {
  FRate = percent;
  if (FEngine) FEngine->setRate(percent / 100.0);
}

void TQtSpeech::SetVoice(const QString& name) {
  FVoice = name;
  if (!FEngine || name.isEmpty()) return;
  for (const QVoice& voice : FEngine->availableVoices())
    if (voice.name() == name) FEngine->setVoice(voice);
}

QStringList TQtSpeech::Voices() {
  QStringList names;
  for (const QVoice& voice : Engine()->availableVoices()) names.append(voice.name());
  return names;
}
