// The voice's speech through Qt TextToSpeech (speech-dispatcher on Linux). The engine is
// made when first used, so a reader who never turns the voice on never starts it. What is
// said while something is being said waits its turn.
// Threads: GUI thread only.
#pragma once

#include <QObject>
#include <QStringList>

#include "player/Narration.h"

class QTextToSpeech;

class TQtSpeech : public QObject, public ISpeech {
 public:
  explicit TQtSpeech(QObject* parent) : QObject(parent) {}
  void Say(const WideString& text) override;
  void Stop() override;
  // -100 (slowest) to 100 (fastest); 0 is the voice's own.
  void SetRate(int32_t percent);
  // A voice by name; empty: the default voice of the story's language (Japanese).
  void SetVoice(const QString& name);
  QStringList Voices();

 private:
  QTextToSpeech* Engine();
  void SayNext();

  QTextToSpeech* FEngine = nullptr;
  QStringList FWaiting;
  int32_t FRate = 0;
  QString FVoice;
};
