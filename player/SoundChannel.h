// One of the runtime's sound channels: its player, the sound loaded into it, and what a
// snapshot keeps of them. The commands' work on a channel is here; their errors are raised
// as ESVXScriptError with the messages the script's reports give.
// Threads: main thread (the player's own thread is the sound library's).
#pragma once

#include <cstdint>

#include "common/WideStrLib.h"
#include "player/Snapshot.h"
#include "sound/Sonara2.h"

class TSoundChannel {
 public:
  TSoundChannel() = default;
  ~TSoundChannel();
  TSoundChannel(const TSoundChannel&) = delete;
  TSoundChannel& operator=(const TSoundChannel&) = delete;

  // Makes the channel's player (none, when the sound library cannot).
  void Open();
  // Let go of the player, then of the sound: the runtime lets go of every player first.
  void ClosePlayer();
  void CloseSound();

  bool Loaded() const { return FData != nullptr; }
  // LOADSOUND: the sound file (as the story names it) replaces the one loaded.
  void Load(const WideString& file);
  // PLAYSOUND, with the sound loaded: plays it from where it stands.
  void Play(bool loop);
  // STOPSOUND: stops, keeping the position or not.
  void Stop(bool keepPosition);
  // SEEKSOUND asks first that a sound is loaded (`channel` names it in the error), then
  // moves to the position in milliseconds.
  void RequireLoaded(int32_t channel) const;
  void Seek(int32_t ms);
  // A volume of 0 to 100 (the sound as it is).
  void SetVolume(int32_t percent);

  TSoundSnapshot Snapshot() const;
  // The channel as the snapshot has it; false when its sound could not be loaded again
  // (the channel then stays silent).
  bool Restore(const TSoundSnapshot& sound);

 private:
  ISonara2* FPlayer = nullptr;
  ISonaraData2* FData = nullptr;
  WideString FFile;    // the sound as the story named it
  bool FLoop = false;  // whether it was last played looping
};
