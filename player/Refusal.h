// Why a reader's file (a save, read marks) was not used or not written: a code, with what
// the code alone does not say, told in English for logs and tools and in Japanese for the
// reader's window. Every text is in one table.
// Threads: any.
#pragma once

#include <cstdint>
#include <string>

enum class TRefusalCode : uint8_t {
  None,
  NotASave,        // no SORVSAVE at its start
  CutShort,
  TrailingBytes,
  OtherVersion,    // detail: the version
  SaysTooLarge,
  FileTooLarge,
  ChecksumWrong,
  DoesNotUnpack,
  NotASaveInside,  // its contents do not make a save
  TooMuchMemory,   // it would unpack to more than a save may take in memory
  CannotRead,      // detail: the system's reason
  PlaceLost,
  PlaceAmbiguous,
  PlacePastEnd,
  SceneChanged,
  ScenesDamaged,
  MessageDamaged,
  PictureSize,
  OtherStory,      // detail: the other story's title
  NoDataFolder,    // detail: why
  CannotWrite,     // detail: the system's reason
  StateTooLarge,
  Declined,        // the reader chose not to load it
  StoryStopped,    // the story stopped on an error: its state is not kept
};

struct TRefusal {
  TRefusalCode Code = TRefusalCode::None;
  std::string Detail;

  explicit operator bool() const { return Code != TRefusalCode::None; }
  bool operator==(TRefusalCode code) const { return Code == code; }
  // "it is a save of another version (2)"; the Japanese for the reader's window.
  std::string English() const;
  std::string Japanese() const;
};

inline TRefusal Refuse(TRefusalCode code, std::string detail = std::string()) { return TRefusal{code, std::move(detail)}; }
