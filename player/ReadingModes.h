// The reader's modes of reading. Auto: a page fully shown goes on by itself after a delay
// that grows with its length. Skip: pages read before (any page, with skip-unread) go on at
// once, shown whole, and scene changes end at once. Both stop at a choice, skip also at a
// page not read; a click ends either and does nothing else. Normal is the story as it
// always played. The pages read are kept here too.
// Threads: one thread per object.
#pragma once

#include <cstdint>

#include "player/ReadMarks.h"

class TReadingModes {
 public:
  enum class TMode : uint8_t { Normal, Auto, Skip };
  // Auto mode's delay when the reader set none: frames a page stays, and more per character.
  static constexpr uint32_t kDefaultAutoBase = 90, kDefaultAutoPerChar = 4;

  // What the modes ask of the story they follow, and do to it.
  class IStory {
   public:
    virtual bool AtChoice() const = 0;
    virtual bool WaitingForReader() const = 0;
    virtual bool PageRead() const = 0;  // the page the script rests on
    virtual bool TextBusy() const = 0;
    virtual bool ScenesBusy() const = 0;
    virtual bool InTransition() const = 0;
    virtual bool CheckpointDue() const = 0;
    virtual uint32_t PageCharacters() const = 0;
    virtual void FinishTransitions() = 0;
    virtual void ShowPageWhole() = 0;
    virtual void PassWait() = 0;
    // A page shown a screen at a time: its typing rests at the end of a screen before
    // the last, and the next screen is shown.
    virtual bool MoreScreens() const { return false; }
    virtual void NextScreen() {}

   protected:
    ~IStory() = default;
  };

  void Set(TMode mode) { FMode = mode, FAutoFrames = 0; }
  // The reader's click, or a choice reached: back to normal reading.
  void End() { FMode = TMode::Normal; }
  TMode Mode() const { return FMode; }
  void SetSkipUnread(bool all) { FSkipUnread = all; }
  void SetAutoPace(uint32_t base, uint32_t perChar) { FAutoBase = base, FAutoPerChar = perChar; }
  TReadMarks& Marks() { return FMarks; }
  const TReadMarks& Marks() const { return FMarks; }

  // The mode's part of an update, after the commands ran.
  void Follow(IStory& story);

 private:
  TMode FMode = TMode::Normal;
  bool FSkipUnread = false;
  uint32_t FAutoBase = kDefaultAutoBase, FAutoPerChar = kDefaultAutoPerChar, FAutoFrames = 0;
  TReadMarks FMarks;
};
