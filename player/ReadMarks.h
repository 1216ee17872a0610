// The pages a reader has gone past, per story, keyed by PageKey (the commands around each
// page's wait), so that they survive updates of the story that add or move other pages.
// Stored as "SORVREAD", u32 version (2), u32 count, the 64-bit keys oldest first, u32
// CRC-32 of what comes before it; written atomically, merged with what the file holds so
// that two players on one story keep each other's marks. Version 1 (keys in any order) is
// still read. At most kMaxMarks are kept: the newest.
// Threads: one thread per object.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "player/Refusal.h"

class TReadMarks {
 public:
  static constexpr uint32_t kMaxMarks = 1u << 20;

  TReadMarks();
  bool Read(uint64_t key) const;
  // Marks a page read; past kMaxMarks the oldest mark goes. Allocates only as the marks
  // grow past what they had room for (a page shown is no time to allocate).
  void Mark(uint64_t key);
  size_t Count() const { return FOrder.size(); }
  // How many marks were added since the object was made: a change to write.
  uint64_t Changes() const { return FChanges; }

  // The file's marks joined to these, as older ones. A missing file is no marks; a damaged
  // one is refused (false, with the reason) and changes nothing.
  bool Load(const std::string& path, TRefusal& why);
  // What the file holds now is joined in first, then all is written.
  bool Save(const std::string& path, TRefusal& why);

 private:
  // An open-addressing set of the keys (0 stands for an empty slot; key 0 is kept apart).
  bool Insert(uint64_t key);
  size_t Slot(uint64_t key) const;
  void Rebuild(size_t slots);
  void Trim();
  std::vector<uint64_t> FOrder;  // oldest first
  std::vector<uint64_t> FSlots;
  size_t FSlotted = 0;  // the keys in FSlots
  bool FHasZero = false;
  uint64_t FChanges = 0;
};
