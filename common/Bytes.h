// Bytes in and out of the reader's files: little-endian numbers, sized strings and blocks.
// The reader never reads past its end nor believes a size larger than what is left: a
// short or damaged input makes it fail (Ok() false, zeros and empty values from then on),
// never crash or allocate beyond the input's own size.
// Threads: one thread per object.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

class TByteWriter {
 public:
  void U8(uint8_t v) { FBytes.push_back(v); }
  void Bool(bool v) { U8(v ? 1 : 0); }
  void U32(uint32_t v) {
    for (int i = 0; i < 4; ++i) FBytes.push_back(uint8_t(v >> (8 * i)));
  }
  void I32(int32_t v) { U32(uint32_t(v)); }
  void U64(uint64_t v) {
    for (int i = 0; i < 8; ++i) FBytes.push_back(uint8_t(v >> (8 * i)));
  }
  void Block(const void* data, size_t size) {
    U32(uint32_t(size));
    Raw(data, size);
  }
  // Out of line: inlined into its callers, GCC 12 takes the growth of an empty vector for
  // an overflow (a false alarm at -O3 and under ThreadSanitizer).
  [[gnu::noinline]] void Raw(const void* data, size_t size);
  void Str(std::string_view s) { Block(s.data(), s.size()); }
  void WStr(std::u16string_view s) {
    U32(uint32_t(s.size()));
    for (const char16_t c : s) FBytes.push_back(uint8_t(c)), FBytes.push_back(uint8_t(c >> 8));
  }
  std::vector<uint8_t>& Bytes() { return FBytes; }

 private:
  std::vector<uint8_t> FBytes;
};

class TByteReader {
 public:
  TByteReader(const uint8_t* data, size_t size) : FData(data), FSize(size) {}
  explicit TByteReader(const std::vector<uint8_t>& bytes) : TByteReader(bytes.data(), bytes.size()) {}

  bool Ok() const { return FOk; }
  bool AtEnd() const { return FAt == FSize; }
  size_t Left() const { return FOk ? FSize - FAt : 0; }
  // Marks the input as damaged: what the caller read makes no sense.
  void Fail() { FOk = false; }

  uint8_t U8() {
    if (!Have(1)) return 0;
    return FData[FAt++];
  }
  bool Bool() {
    const uint8_t v = U8();
    if (v > 1) Fail();
    return v == 1;
  }
  uint32_t U32() {
    if (!Have(4)) return 0;
    uint32_t v = 0;
    for (int i = 0; i < 4; ++i) v |= uint32_t(FData[FAt++]) << (8 * i);
    return v;
  }
  int32_t I32() { return int32_t(U32()); }
  uint64_t U64() {
    if (!Have(8)) return 0;
    uint64_t v = 0;
    for (int i = 0; i < 8; ++i) v |= uint64_t(FData[FAt++]) << (8 * i);
    return v;
  }
  // A count of items of at least `itemBytes` each: one that the input could not hold fails.
  uint32_t Count(size_t itemBytes, uint32_t limit) {
    const uint32_t n = U32();
    if (n > limit || (itemBytes && n > Left() / itemBytes)) {
      Fail();
      return 0;
    }
    return n;
  }
  // `size` bytes of the input, in place (empty, and failed, when they are not all there).
  std::string_view Take(size_t size) {
    if (!Have(size)) return {};
    const auto* p = reinterpret_cast<const char*>(FData + FAt);
    FAt += size;
    return {p, size};
  }
  // A sized block, pointing into the input.
  std::string_view Block() {
    const uint32_t n = Count(1, UINT32_MAX);
    if (!Have(n)) return {};
    const auto* p = reinterpret_cast<const char*>(FData + FAt);
    FAt += n;
    return {p, n};
  }
  bool Raw(void* out, size_t size) {
    if (!Have(size)) {
      std::memset(out, 0, size);
      return false;
    }
    std::memcpy(out, FData + FAt, size);
    FAt += size;
    return true;
  }
  std::string Str() { return std::string(Block()); }
  std::u16string WStr() {
    const uint32_t n = Count(2, UINT32_MAX);
    std::u16string s(n, u'\0');
    for (uint32_t i = 0; i < n; ++i) {
      s[i] = char16_t(FData[FAt] | (FData[FAt + 1] << 8));
      FAt += 2;
    }
    return s;
  }

 private:
  bool Have(size_t n) {
    if (!FOk || n > FSize - FAt) {
      FOk = false;
      return false;
    }
    return true;
  }
  const uint8_t* FData;
  size_t FSize;
  size_t FAt = 0;
  bool FOk = true;
};

// One walk over a record's fields serves both directions: a walk given a TWriteWalk writes
// the fields as they are (it never changes them), given a TReadWalk it fills them. Numbers
// keep their own type in memory and go as 8, 32 or 64 bits.
class TWriteWalk {
 public:
  static constexpr bool kReading = false;
  bool Ok() const { return FOk; }
  void Fail() { FOk = false; }
  void Num(uint8_t& v) { W.U8(v); }
  void Num(bool& v) { W.Bool(v); }
  void Num(uint32_t& v) { W.U32(v); }
  void Num(int32_t& v) { W.I32(v); }
  void Num(int64_t& v) { W.U64(uint64_t(v)); }
  // A number kept narrower in memory, sent as 32 bits.
  template <class T>
  void Int32(T& v) {
    W.I32(int32_t(v));
  }
  TByteWriter W;

 private:
  bool FOk = true;
};

class TReadWalk {
 public:
  static constexpr bool kReading = true;
  TReadWalk(const uint8_t* data, size_t size) : R(data, size) {}
  bool Ok() const { return R.Ok(); }
  void Fail() { R.Fail(); }
  void Num(uint8_t& v) { v = R.U8(); }
  void Num(bool& v) { v = R.Bool(); }
  void Num(uint32_t& v) { v = R.U32(); }
  void Num(int32_t& v) { v = R.I32(); }
  void Num(int64_t& v) { v = int64_t(R.U64()); }
  template <class T>
  void Int32(T& v) {
    v = T(R.I32());
  }
  TByteReader R;
};
