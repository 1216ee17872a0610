#include "player/ReadMarks.h"

#include <zlib.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <vector>

#include "common/Bytes.h"
#include "platform/Files.h"
#include "player/SaveFile.h"

namespace {
constexpr char kMagic[8] = {'S', 'O', 'R', 'V', 'R', 'E', 'A', 'D'};
constexpr uint32_t kVersion = 1;
}  // namespace

uint64_t TReadMarks::KeyOf(const TScriptLoader& script, int32_t wait) {
  TSaveInfo place;
  LocatePlace(script, wait, place);
  uint64_t h = 14695981039346656037ull;
  auto mix = [&h](const void* p, size_t n) {
    for (size_t k = 0; k < n; ++k) h = (h ^ static_cast<const uint8_t*>(p)[k]) * 1099511628211ull;
  };
  mix(&place.Before, sizeof place.Before);
  mix(&place.After, sizeof place.After);
  return h;
}

bool TReadMarks::Load(const std::string& path, std::string& why) {
  std::string bytes;
  const TFileRead read = ReadFileBytes(path, bytes, 16 + size_t(kMaxMarks) * 8 + 4, TFileScope::Reader);
  if (read == TFileRead::OpenFailed && errno == ENOENT) return true;
  if (read != TFileRead::Ok) {
    why = "it cannot be read";
    return false;
  }
  const auto* data = reinterpret_cast<const uint8_t*>(bytes.data());
  TByteReader r(data, bytes.size());
  char magic[8];
  r.Raw(magic, sizeof magic);
  const uint32_t version = r.U32();
  const uint32_t count = r.Count(8, kMaxMarks);
  std::vector<uint64_t> keys(count);
  for (uint64_t& k : keys) k = r.U64();
  const size_t body = bytes.size() - std::min<size_t>(bytes.size(), r.Left());
  const uint32_t crc = r.U32();
  if (!r.Ok() || !r.AtEnd() || std::memcmp(magic, kMagic, sizeof magic) != 0 || version != kVersion ||
      crc != uint32_t(crc32(0, data, uInt(body)))) {
    why = "it is damaged";
    return false;
  }
  FKeys.insert(keys.begin(), keys.end());
  return true;
}

bool TReadMarks::Save(const std::string& path, std::string& why) const {
  TByteWriter w;
  w.Raw(kMagic, sizeof kMagic);
  w.U32(kVersion);
  std::vector<uint64_t> keys(FKeys.begin(), FKeys.end());
  std::sort(keys.begin(), keys.end());  // the same marks make the same file
  w.U32(uint32_t(keys.size()));
  for (const uint64_t k : keys) w.U64(k);
  w.U32(uint32_t(crc32(0, w.Bytes().data(), uInt(w.Bytes().size()))));
  return WriteFileAtomically(path, w.Bytes().data(), w.Bytes().size(), why);
}
