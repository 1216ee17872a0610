#include "player/ReadMarks.h"

#include <zlib.h>

#include <cerrno>
#include <algorithm>
#include <cstring>
#include <vector>

#include "common/Bytes.h"
#include "platform/Files.h"
#include "platform/SysUtils.h"

namespace {
constexpr char kMagic[8] = {'S', 'O', 'R', 'V', 'R', 'E', 'A', 'D'};
constexpr uint32_t kVersion = 2;
constexpr size_t kHeaderBytes = sizeof kMagic + 4 + 4;
// A file may hold more than we keep (a newer player's, or one written by hand): up to
// twice as many are read, and the newest kept.
constexpr uint32_t kMaxFileMarks = 2 * TReadMarks::kMaxMarks;
constexpr size_t kMaxFileBytes = kHeaderBytes + size_t(kMaxFileMarks) * 8 + 4;

// The keys of a marks file, oldest first: false, with the reason, for one that is damaged.
bool Decode(const std::string& bytes, std::vector<uint64_t>& keys, TRefusal& why) {
  const auto* data = reinterpret_cast<const uint8_t*>(bytes.data());
  TByteReader r(data, bytes.size());
  char magic[sizeof kMagic];
  r.Raw(magic, sizeof magic);
  const uint32_t version = r.U32();
  const uint32_t count = r.Count(8, kMaxFileMarks);
  keys.resize(count);
  for (uint64_t& k : keys) k = r.U64();
  const size_t body = bytes.size() - std::min<size_t>(bytes.size(), r.Left());
  const uint32_t crc = r.U32();
  if (std::memcmp(magic, kMagic, sizeof magic) != 0) return why = Refuse(TRefusalCode::NotASave), false;
  if (r.Ok() && (version < 1 || version > kVersion)) return why = Refuse(TRefusalCode::OtherVersion, std::to_string(version)), false;
  if (!r.Ok() || !r.AtEnd() || crc != uint32_t(crc32(0, data, uInt(body))))
    return why = Refuse(TRefusalCode::ChecksumWrong), false;
  return true;
}

bool ReadFile(const std::string& path, std::vector<uint64_t>& keys, TRefusal& why) {
  std::string bytes;
  const TFileRead read = ReadFileBytes(path, bytes, kMaxFileBytes, TFileScope::Reader);
  if (read == TFileRead::OpenFailed && errno == ENOENT) return keys.clear(), true;
  if (read == TFileRead::TooLarge) return why = Refuse(TRefusalCode::FileTooLarge), false;
  if (read != TFileRead::Ok) return why = Refuse(TRefusalCode::CannotRead, SysErrorMessage(errno)), false;
  return Decode(bytes, keys, why);
}
}  // namespace

namespace {
constexpr size_t kFirstSlots = 4096;  // room for 2048 marks before the set grows
}  // namespace

TReadMarks::TReadMarks() {
  FSlots.assign(kFirstSlots, 0);
  FOrder.reserve(kFirstSlots / 2);
}

size_t TReadMarks::Slot(uint64_t key) const {
  // The keys are hashes already: their bits, mixed once more, pick the slot.
  size_t at = size_t((key * 0x9E3779B97F4A7C15ull) >> 17) & (FSlots.size() - 1);
  while (FSlots[at] != 0 && FSlots[at] != key) at = (at + 1) & (FSlots.size() - 1);
  return at;
}

bool TReadMarks::Read(uint64_t key) const { return key == 0 ? FHasZero : FSlots[Slot(key)] == key; }

bool TReadMarks::Insert(uint64_t key) {
  if (key == 0) return !FHasZero && (FHasZero = true);
  if (2 * (FSlotted + 1) > FSlots.size()) Rebuild(FSlots.size() * 2);
  const size_t at = Slot(key);
  if (FSlots[at] == key) return false;
  FSlots[at] = key;
  ++FSlotted;
  return true;
}

void TReadMarks::Rebuild(size_t slots) {
  // Keys being loaded are in the slots but not yet in the order: those are kept too.
  std::vector<uint64_t> old;
  old.swap(FSlots);
  FSlots.assign(slots, 0);
  for (const uint64_t k : old)
    if (k != 0) FSlots[Slot(k)] = k;
}

void TReadMarks::Mark(uint64_t key) {
  if (!Insert(key)) return;
  FOrder.push_back(key);
  ++FChanges;
  Trim();
}

void TReadMarks::Trim() {
  if (FOrder.size() <= kMaxMarks) return;
  FOrder.erase(FOrder.begin(), FOrder.begin() + std::ptrdiff_t(FOrder.size() - kMaxMarks));
  FHasZero = false;
  FSlotted = 0;
  std::fill(FSlots.begin(), FSlots.end(), 0);
  for (const uint64_t k : FOrder) {
    if (k == 0) FHasZero = true;
    else FSlots[Slot(k)] = k, ++FSlotted;
  }
}

bool TReadMarks::Load(const std::string& path, TRefusal& why) {
  std::vector<uint64_t> keys;
  if (!ReadFile(path, keys, why)) return false;
  // Older than ours: the file's keys go in front, in their own order.
  std::vector<uint64_t> older;
  for (const uint64_t k : keys)
    if (Insert(k)) older.push_back(k);
  FOrder.insert(FOrder.begin(), older.begin(), older.end());
  Trim();
  return true;
}

bool TReadMarks::Save(const std::string& path, TRefusal& why) {
  // Another player may have written marks since we read the file: keep them too. A
  // damaged file is replaced by what we hold.
  TRefusal unread;
  Load(path, unread);
  TByteWriter w;
  w.Raw(kMagic, sizeof kMagic);
  w.U32(kVersion);
  w.U32(uint32_t(FOrder.size()));
  for (const uint64_t k : FOrder) w.U64(k);
  w.U32(uint32_t(crc32(0, w.Bytes().data(), uInt(w.Bytes().size()))));
  std::string system;
  if (!WriteFileAtomically(path, w.Bytes().data(), w.Bytes().size(), system))
    return why = Refuse(TRefusalCode::CannotWrite, system), false;
  return true;
}
