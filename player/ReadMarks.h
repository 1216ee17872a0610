// The pages a reader has gone past, per story, kept by the commands around each page's
// wait (the page's own text and what follows it), not by their index, so that they
// survive updates of the story that add or move other pages. Stored as "SORVREAD", u32 version (1), u32 count,
// the 64-bit keys, u32 CRC-32 of what comes before it; written atomically.
// Threads: one thread per object.
#pragma once

#include <cstdint>
#include <string>
#include <unordered_set>

#include "player/ScriptLoader.h"

class TReadMarks {
 public:
  static constexpr uint32_t kMaxMarks = 1u << 20;

  // The key of the page whose wait is command `wait`.
  static uint64_t KeyOf(const TScriptLoader& script, int32_t wait);
  bool Read(uint64_t key) const { return FKeys.count(key) != 0; }
  void Mark(uint64_t key) {
    if (FKeys.size() < kMaxMarks) FKeys.insert(key);
  }
  size_t Count() const { return FKeys.size(); }

  // A missing file is no marks; a damaged one is refused (false, with the reason).
  bool Load(const std::string& path, std::string& why);
  bool Save(const std::string& path, std::string& why) const;

 private:
  std::unordered_set<uint64_t> FKeys;
};
