// The voice's speech through Qt TextToSpeech (speech-dispatcher on Linux). The engine lives
// on a thread of its own, made when the voice is first used: a reader who never turns the
// voice on never starts it, and a speech service that is slow to answer, or never does,
// never holds the window. What is said while something is being said waits its turn.
// Threads: GUI thread only (the speech thread is this unit's own).
#pragma once

#include <QObject>
#include <QStringList>
#include <atomic>
#include <memory>

#include "player/Narration.h"

class QThread;
class TSpeechWorker;

class TQtSpeech : public QObject, public ISpeech {
 public:
  explicit TQtSpeech(QObject* parent);
  ~TQtSpeech() override;
  void Say(const WideString& text) override;
  void Stop() override;
  // -100 (slowest) to 100 (fastest); 0 is the voice's own.
  void SetRate(int32_t percent);
  // A voice by name; empty: the default voice of the story's language (Japanese).
  void SetVoice(const QString& name);
  // The engine's voices, once it has started (empty before).
  QStringList Voices() const { return FVoices; }
  // The engine is saying something now.
  bool Speaking() const;

 private:
  friend class TSpeechWorker;
  void Start();
  // On the speech thread.
  template <typename F>
  void Post(F f);

  QThread* FThread = nullptr;
  TSpeechWorker* FWorker = nullptr;
  QStringList FVoices;
  int32_t FRate = 0;
  QString FVoice;
};
