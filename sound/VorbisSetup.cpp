#include "sound/VorbisSetup.h"

#include <ogg/ogg.h>

#include <vector>

namespace {

// Bits from the least significant end of each byte, as the Vorbis packing lays them out.
class TBitReader {
 public:
  TBitReader(const uint8_t* data, size_t size) : FData(data), FBits(uint64_t(size) * 8) {}
  uint32_t Read(int n) {
    uint32_t v = 0;
    for (int i = 0; i < n; ++i, ++FPos) {
      if (FPos >= FBits) {
        FEnd = true;
        return 0;
      }
      v |= uint32_t((FData[FPos >> 3] >> (FPos & 7)) & 1) << i;
    }
    return v;
  }
  bool Skip(uint64_t n) {
    if (n > FBits - FPos) {
      FEnd = true;
      FPos = FBits;
      return false;
    }
    FPos += n;
    return true;
  }
  bool Ended() const { return FEnd; }

 private:
  const uint8_t* FData;
  uint64_t FBits;
  uint64_t FPos = 0;
  bool FEnd = false;
};

int ILog(uint32_t v) {
  int n = 0;
  while (v) ++n, v >>= 1;
  return n;
}

// The greatest r with r^dim <= entries (the value count of a lookup of type 1).
uint64_t Lookup1Values(uint32_t entries, uint32_t dim) {
  if (dim == 0) return 0;
  uint64_t r = 0;
  for (;;) {
    uint64_t p = 1;
    bool over = false;
    for (uint32_t i = 0; i < dim && !over; ++i) {
      p *= r + 1;
      over = p > entries;
    }
    if (over) return r;
    ++r;
  }
}

struct TBook {
  uint32_t Dim = 0;
  uint32_t LookupType = 0;
  // Usable where vectors are read: at least one value per entry and a dimension.
  bool HasVectors() const { return Dim >= 1 && LookupType != 0; }
};

bool ReadBook(TBitReader& b, TBook& book) {
  if (b.Read(24) != 0x564342) return false;
  book.Dim = b.Read(16);
  const uint32_t entries = b.Read(24);
  if (b.Ended() || ILog(book.Dim) + ILog(entries) > 24) return false;
  if (b.Read(1)) {  // ordered lengths
    uint32_t current = 0;
    b.Read(5);
    while (current < entries && !b.Ended()) {
      current += b.Read(ILog(entries - current));
      if (current > entries) return false;
    }
  } else {
    const bool sparse = b.Read(1);
    for (uint32_t i = 0; i < entries && !b.Ended(); ++i)
      if (!sparse || b.Read(1)) b.Read(5);
  }
  book.LookupType = b.Read(4);
  if (book.LookupType > 2) return false;
  if (book.LookupType != 0) {
    b.Read(32);
    b.Read(32);
    const uint32_t valueBits = b.Read(4) + 1;
    b.Read(1);
    const uint64_t values = book.LookupType == 1 ? Lookup1Values(entries, book.Dim) : uint64_t(entries) * book.Dim;
    if (!b.Skip(values * valueBits)) return false;
  }
  return !b.Ended();
}

bool ReadFloor(TBitReader& b, const std::vector<TBook>& books) {
  const uint32_t type = b.Read(16);
  if (type == 0) {
    b.Read(8);
    b.Read(16);
    b.Read(16);
    b.Read(6);
    b.Read(8);
    const uint32_t count = b.Read(4) + 1;
    for (uint32_t i = 0; i < count; ++i) {
      const uint32_t book = b.Read(8);
      // Line spectral pairs are read as vectors of the book's dimension.
      if (book >= books.size() || !books[book].HasVectors()) return false;
    }
    return !b.Ended();
  }
  if (type != 1) return false;
  const uint32_t partitions = b.Read(5);
  std::vector<uint32_t> classOf(partitions);
  uint32_t maxClass = 0;
  for (uint32_t& c : classOf) {
    c = b.Read(4);
    if (c > maxClass) maxClass = c;
  }
  std::vector<uint32_t> dims(partitions ? maxClass + 1 : 0);
  for (uint32_t& dim : dims) {
    dim = b.Read(3) + 1;
    const uint32_t subclasses = b.Read(2);
    if (subclasses && b.Read(8) >= books.size()) return false;
    for (uint32_t j = 0; j < (1u << subclasses); ++j)
      if (int32_t(b.Read(8)) - 1 >= int32_t(books.size())) return false;
  }
  b.Read(2);
  const uint32_t rangeBits = b.Read(4);
  for (uint32_t c : classOf) b.Skip(uint64_t(dims[c]) * rangeBits);
  return !b.Ended();
}

bool ReadResidue(TBitReader& b, const std::vector<TBook>& books) {
  if (b.Read(16) > 2) return false;
  b.Read(24);
  b.Read(24);
  b.Read(24);
  const uint32_t classifications = b.Read(6) + 1;
  const uint32_t classBook = b.Read(8);
  // Partitions are counted and read per word of the classification book's dimension.
  if (classBook >= books.size() || books[classBook].Dim == 0) return false;
  std::vector<uint32_t> cascade(classifications);
  for (uint32_t& c : cascade) {
    const uint32_t low = b.Read(3);
    c = b.Read(1) ? b.Read(5) * 8 + low : low;
  }
  for (uint32_t c : cascade)
    for (int j = 0; j < 8; ++j)
      if (c & (1u << j)) {
        const uint32_t book = b.Read(8);
        // Stage books are read as vectors and their length divided by the dimension.
        if (book >= books.size() || !books[book].HasVectors()) return false;
      }
  return !b.Ended();
}

bool ReadMapping(TBitReader& b, int channels, size_t floors, size_t residues) {
  if (b.Read(16) != 0) return false;
  const uint32_t submaps = b.Read(1) ? b.Read(4) + 1 : 1;
  if (b.Read(1)) {
    const uint32_t steps = b.Read(8) + 1;
    const int bits = ILog(uint32_t(channels - 1));
    for (uint32_t i = 0; i < steps; ++i) {
      const uint32_t magnitude = b.Read(bits), angle = b.Read(bits);
      if (magnitude == angle || magnitude >= uint32_t(channels) || angle >= uint32_t(channels)) return false;
    }
  }
  if (b.Read(2) != 0) return false;
  if (submaps > 1)
    for (int c = 0; c < channels; ++c)
      if (b.Read(4) >= submaps) return false;
  for (uint32_t i = 0; i < submaps; ++i) {
    b.Read(8);
    if (b.Read(8) >= floors || b.Read(8) >= residues) return false;
  }
  return !b.Ended();
}

}  // namespace

bool VorbisSetupSafe(const uint8_t* packet, size_t size, int channels) {
  if (channels < 1 || size < 7 || packet[0] != 5) return false;
  for (int i = 0; i < 6; ++i)
    if (packet[1 + i] != "vorbis"[i]) return false;
  TBitReader b(packet + 7, size - 7);
  std::vector<TBook> books(b.Read(8) + 1);
  for (TBook& book : books)
    if (!ReadBook(b, book)) return false;
  const uint32_t times = b.Read(6) + 1;
  for (uint32_t i = 0; i < times; ++i)
    if (b.Read(16) != 0) return false;
  const uint32_t floors = b.Read(6) + 1;
  for (uint32_t i = 0; i < floors; ++i)
    if (!ReadFloor(b, books)) return false;
  const uint32_t residues = b.Read(6) + 1;
  for (uint32_t i = 0; i < residues; ++i)
    if (!ReadResidue(b, books)) return false;
  const uint32_t mappings = b.Read(6) + 1;
  for (uint32_t i = 0; i < mappings; ++i)
    if (!ReadMapping(b, channels, floors, residues)) return false;
  const uint32_t modes = b.Read(6) + 1;
  for (uint32_t i = 0; i < modes; ++i) {
    b.Read(1);
    if (b.Read(16) != 0 || b.Read(16) != 0 || b.Read(8) >= mappings) return false;
  }
  return b.Read(1) == 1 && !b.Ended();
}

bool VorbisFileSetupSafe(std::FILE* file, size_t limit) {
  if (std::fseek(file, 0, SEEK_SET) != 0) return false;
  ogg_sync_state sync;
  ogg_stream_state stream;
  ogg_sync_init(&sync);
  bool streamStarted = false;
  int packets = 0;
  int channels = 0;
  bool safe = false;
  size_t read = 0;
  ogg_page page;
  ogg_packet packet;
  while (packets < 3 && read < limit) {
    while (packets < 3 && ogg_sync_pageout(&sync, &page) == 1) {
      if (!streamStarted) {
        ogg_stream_init(&stream, ogg_page_serialno(&page));
        streamStarted = true;
      }
      if (ogg_page_serialno(&page) != stream.serialno) continue;
      ogg_stream_pagein(&stream, &page);
      while (packets < 3 && ogg_stream_packetout(&stream, &packet) == 1) {
        ++packets;
        if (packets == 1 && packet.bytes >= 12 && packet.packet[0] == 1) channels = packet.packet[11];
        if (packets == 3) safe = VorbisSetupSafe(packet.packet, size_t(packet.bytes), channels);
      }
    }
    if (packets == 3) break;
    char* buffer = ogg_sync_buffer(&sync, 4096);
    const size_t n = buffer ? std::fread(buffer, 1, 4096, file) : 0;
    if (n == 0) break;
    ogg_sync_wrote(&sync, long(n));
    read += n;
  }
  if (streamStarted) ogg_stream_clear(&stream);
  ogg_sync_clear(&sync);
  return safe;
}
