#include "player/SaveFile.h"

#include <zlib.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "common/Bytes.h"
#include "common/Screen.h"
#include "platform/CodePage.h"
#include "platform/Files.h"
#include "platform/SysUtils.h"
#include "player/PngEncode.h"

namespace {

constexpr char kMagic[8] = {'S', 'O', 'R', 'V', 'S', 'A', 'V', 'E'};
constexpr size_t kMagicBytes = sizeof kMagic + 4;      // the magic and the version
constexpr size_t kPackedHeaderBytes = 3 * 4;           // stored size, unpacked size, CRC-32
constexpr size_t kInfoHeaderBytes = 2 * 4;             // size, CRC-32
constexpr uint32_t kMaxVariables = 1u << 20;
constexpr uint32_t kMaxInput = 1024;
constexpr uint32_t kMaxEngineBytes = 16u << 20;
// What one item costs in memory beyond its bytes (a string's or a node's own size).
constexpr size_t kItemOverhead = 64;

static_assert(kThumbnailWidth * kThumbnailScale == kScreenWidth && kThumbnailHeight * kThumbnailScale == kScreenHeight);

// ---------------------------------------------------------------- the two directions

// Each record is one walk over its fields. The writer takes them as they are (a walk never
// changes what it writes); the reader fills them, fails on any value out of its bounds,
// and counts what it keeps in memory. Both count alike, so a state the writer accepts is
// one the reader accepts.
class TSaveWriter : public TWriteWalk {
 public:
  explicit TSaveWriter(uint32_t version) : FVersion(version) {}
  bool Has(uint32_t since) const { return FVersion >= since; }
  void Spend(size_t bytes) {
    FSpent += bytes;
    if (FSpent > kMaxSaveBytes) Fail();
  }

  void Text(std::string& s, size_t max) {
    if (s.size() > max) Fail();
    Spend(s.size() + kItemOverhead);
    W.Str(s);
  }
  void Text(WideString& s, size_t max) {
    if (s.size() > max) Fail();
    Spend(s.size() * 2 + kItemOverhead);
    W.WStr(s);
  }
  uint32_t Count(size_t n, size_t, uint32_t limit) {
    if (n > limit) Fail();
    W.U32(uint32_t(n));
    return uint32_t(n);
  }
  void Raw(const uint8_t* data, size_t size) {
    Spend(size);
    W.Raw(data, size);
  }

 private:
  uint32_t FVersion;
  size_t FSpent = 0;
};

class TSaveReader : public TReadWalk {
 public:
  TSaveReader(const uint8_t* data, size_t size, uint32_t version) : TReadWalk(data, size), FVersion(version) {}
  bool Has(uint32_t since) const { return FVersion >= since; }
  void Spend(size_t bytes) {
    FSpent += bytes;
    if (FSpent > kMaxSaveBytes) FTooLarge = true, R.Fail();
  }
  bool TooLarge() const { return FTooLarge; }

  void Text(std::string& s, size_t max) {
    const std::string_view bytes = Sized(1, max);
    Spend(bytes.size() + kItemOverhead);
    if (R.Ok()) s.assign(bytes);
  }
  void Text(WideString& s, size_t max) {
    const std::string_view bytes = Sized(2, max);
    Spend(bytes.size() + kItemOverhead);
    if (!R.Ok()) return;
    s.resize(bytes.size() / 2);
    for (size_t i = 0; i < s.size(); ++i)
      s[i] = char16_t(uint8_t(bytes[2 * i]) | (uint8_t(bytes[2 * i + 1]) << 8));
  }
  // Items of at least `itemBytes` each: a count the input could not hold fails.
  uint32_t Count(size_t, size_t itemBytes, uint32_t limit) { return R.Count(itemBytes, limit); }
  std::string_view Take(size_t size) {
    Spend(size);
    return R.Take(size);
  }

 private:
  std::string_view Sized(size_t unit, size_t max) {
    const uint32_t n = R.Count(unit, uint32_t(std::min<size_t>(max, UINT32_MAX / unit)));
    return R.Take(size_t(n) * unit);
  }
  uint32_t FVersion;
  size_t FSpent = 0;
  bool FTooLarge = false;
};

// A field that came with format `since`: older files hold none and give `fallback`.
template <class S>
void AddedText(S& s, uint32_t since, std::string& value, size_t max, const char* fallback = "") {
  if (s.Has(since)) s.Text(value, max);
  else if constexpr (S::kReading) value = fallback;
}

template <class S>
void Rect(S& s, TRect& r) {
  s.Num(r.Left), s.Num(r.Top), s.Num(r.Right), s.Num(r.Bottom);
}

template <class S, class V>
void Resize(V& v, size_t n) {
  if constexpr (S::kReading) v.resize(n);
}

// ---------------------------------------------------------------- the records

template <class S>
void SyncPage(S& s, TTextSnapshot& t) {
  TTextLayer::TPageState& p = t.Page;
  const uint32_t lines = s.Count(p.Lines.size(), 16, uint32_t(TTextLayer::kMaxLines));
  Resize<S>(p.Lines, lines), Resize<S>(p.LinePositions, lines), Resize<S>(p.LineTops, lines);
  for (uint32_t i = 0; i < lines && s.Ok(); ++i) {
    s.Text(p.Lines[i].Text, kMaxSavedChars);
    s.Text(p.Lines[i].Info, kMaxSavedChars);
    TDrawSStrPosArray& positions = p.LinePositions[i];
    const uint32_t n = s.Count(positions.size(), 8, uint32_t(p.Lines[i].Text.size() + 1));
    Resize<S>(positions, n);
    s.Spend(size_t(n) * sizeof(TPoint));
    for (uint32_t k = 0; k < n && s.Ok(); ++k) s.Num(positions[k].x), s.Num(positions[k].y);
    s.Num(p.LineTops[i]);
  }
  const uint32_t shown = s.Count(p.ShownRects.size(), 16, lines);
  Resize<S>(p.ShownRects, shown);
  for (uint32_t i = 0; i < shown && s.Ok(); ++i) Rect(s, p.ShownRects[i]);
  for (int32_t* v : {&p.ShowLine, &p.ShowChar, &p.PrevShowLine, &p.PrevShowChar, &p.WriteLine, &p.HoverLine}) s.Num(*v);
  Rect(s, p.HoverRect);
  for (bool* b : {&p.ClearPending, &p.HoverDirty, &p.PageDirty, &p.Busy}) s.Num(*b);
  s.Num(p.TypeTicks);
  s.Num(t.Visible);
  s.Num(t.SelectMode);
  s.Num(t.PageFull);
  if constexpr (S::kReading)
    if (t.SelectMode > kSelectChoice || (s.Ok() && !TTextLayer::Consistent(p))) s.Fail();
}

template <class S>
void SyncVariables(S& s, TSnapshot& snap) {
  const TVariables empty;
  const TVariables& held = snap.Variables ? *snap.Variables : empty;
  const uint32_t n = s.Count(held.size(), 8, kMaxVariables);
  if constexpr (S::kReading) {
    auto variables = std::make_shared<TVariables>();
    for (uint32_t i = 0; i < n && s.Ok(); ++i) {
      std::pair<AnsiString, int32_t> v;
      s.Text(v.first, kMaxSavedChars);
      s.Num(v.second);
      if (v.first.empty()) s.Fail();
      variables->push_back(std::move(v));
    }
    snap.Variables = std::move(variables);
  } else {
    for (auto& [name, value] : const_cast<TVariables&>(held)) {
      if (!s.Ok()) break;
      s.Text(name, kMaxSavedChars), s.Num(value);
    }
  }
}

template <class S>
void SyncPicture(S& s, TSnapshot& snap) {
  int32_t width = snap.Picture.Width(), height = snap.Picture.Height();
  s.Num(width), s.Num(height);
  if constexpr (S::kReading) {
    if (!s.Ok() || width != kScreenWidth || height != kScreenHeight) return s.Fail();
    std::vector<TPicture::TTile> tiles;
    for (size_t i = 0; s.Ok(); ++i) {
      const size_t bytes = TPicture::TileBytes(width, height, i);
      if (!bytes) break;
      const std::string_view raw = s.Take(bytes);
      tiles.push_back(std::make_shared<const std::vector<uint8_t>>(raw.begin(), raw.end()));
    }
    if (!s.Ok() || !snap.Picture.Assign(width, height, std::move(tiles))) s.Fail();
  } else {
    for (const TPicture::TTile& tile : snap.Picture.Tiles()) s.Raw(tile->data(), tile->size());
  }
}

template <class S>
void SyncBacklog(S& s, TSnapshot& snap) {
  std::vector<TBacklogEntry> entries;
  if constexpr (!S::kReading) entries = BacklogEntries(snap.Backlog);
  const uint32_t n = s.Count(entries.size(), 9, 2 * kBacklogKeep);
  Resize<S>(entries, n);
  for (uint32_t i = 0; i < n && s.Ok(); ++i) {
    TBacklogEntry& e = entries[i];
    s.Num(e.Choice);
    s.Text(e.Speaker, kMaxBacklogChars);
    s.Text(e.Text, kMaxBacklogChars);
    if constexpr (S::kReading) snap.Backlog = BacklogAdd(snap.Backlog, std::move(e));
  }
}

template <class S>
void SyncSnapshot(S& s, TSnapshot& snap) {
  s.Num(snap.Frame);
  s.Num(snap.Position);
  s.Num(snap.NextCheckpoint);
  s.Num(snap.RestingAt);
  s.Num(snap.CheckpointDue);
  SyncVariables(s, snap);
  SyncPage(s, snap.Message);
  SyncPage(s, snap.Speaker);
  if constexpr (S::kReading) {
    const uint32_t n = s.Count(0, 1, kMaxEngineBytes);
    const std::string_view engine = s.Take(n);
    snap.Engine.assign(engine.begin(), engine.end());
  } else {
    s.Count(snap.Engine.size(), 1, kMaxEngineBytes);
    s.Raw(snap.Engine.data(), snap.Engine.size());
  }
  for (TSoundSnapshot& sound : snap.Sound) {
    s.Text(sound.File, kMaxSavedChars);
    s.Num(sound.Loop);
    s.Num(sound.Playing);
    s.Num(sound.Position);
  }
  const uint32_t input = s.Count(snap.Input.size(), 5, kMaxInput);
  Resize<S>(snap.Input, input);
  for (uint32_t i = 0; i < input && s.Ok(); ++i) s.Num(snap.Input[i].EventType), s.Num(snap.Input[i].EventData);
  s.Num(snap.ShowClipRects);
  s.Num(snap.RunawayReported);
  SyncPicture(s, snap);
  SyncBacklog(s, snap);
}

// The PNG's own width and height (its IHDR), or false when it does not start as a PNG does.
bool PngSize(const std::string& png, uint32_t& width, uint32_t& height) {
  static constexpr uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  if (png.size() < 24 || std::memcmp(png.data(), kSignature, 8) != 0 || png.compare(12, 4, "IHDR") != 0) return false;
  auto be32 = [&png](size_t at) {
    return uint32_t(uint8_t(png[at])) << 24 | uint32_t(uint8_t(png[at + 1])) << 16 | uint32_t(uint8_t(png[at + 2])) << 8 |
           uint32_t(uint8_t(png[at + 3]));
  };
  width = be32(16);
  height = be32(20);
  return true;
}

template <class S>
void SyncInfo(S& s, TSaveInfo& i) {
  s.Text(i.Title, kMaxSavedChars);
  s.Text(i.Identity, kMaxSavedChars);
  s.Num(i.Date);
  s.Text(i.Place.Label, kMaxSavedChars);
  s.Num(i.Place.Offset);
  s.Num(i.Place.Before);
  s.Num(i.Place.After);
  s.Num(i.Place.Position);
  for (std::string& scene : i.Scenes) s.Text(scene, kMaxSavedChars);
  s.Text(i.Thumbnail, kMaxSaveInfoBytes);
  s.Num(i.ThumbnailWidth);
  s.Num(i.ThumbnailHeight);
  AddedText(s, 2, i.Caption, kMaxSavedChars);  // the page's first line, for the save screen
  if constexpr (S::kReading) {
    // The thumbnail is a fifth of the screen, and its PNG says so: the save screen never
    // decodes a picture larger than a slot shows.
    uint32_t w = 0, h = 0;
    const bool sized = i.ThumbnailWidth == kThumbnailWidth && i.ThumbnailHeight == kThumbnailHeight &&
                       PngSize(i.Thumbnail, w, h) && w == uint32_t(kThumbnailWidth) && h == uint32_t(kThumbnailHeight);
    const bool none = i.Thumbnail.empty() && i.ThumbnailWidth == 0 && i.ThumbnailHeight == 0;
    if (i.Place.Position < -1 || !(sized || none)) s.Fail();
  }
}

// ---------------------------------------------------------------- the file's parts

void PutU32(std::vector<uint8_t>& to, uint32_t v) {
  for (int k = 0; k < 4; ++k) to.push_back(uint8_t(v >> (8 * k)));
}

uint32_t Crc(const uint8_t* data, size_t size) { return uint32_t(crc32(0, data, uInt(size))); }

bool Compress(const std::vector<uint8_t>& raw, std::vector<uint8_t>& file) {
  uLongf packed = compressBound(uLong(raw.size()));
  const size_t header = file.size();
  file.resize(header + kPackedHeaderBytes + packed);
  uint8_t* body = file.data() + header + kPackedHeaderBytes;
  if (compress2(body, &packed, raw.data(), uLong(raw.size()), 1) != Z_OK) return false;
  const uint32_t fields[3] = {uint32_t(packed), uint32_t(raw.size()), Crc(body, packed)};
  for (int f = 0; f < 3; ++f)
    for (int k = 0; k < 4; ++k) file[header + size_t(f) * 4 + size_t(k)] = uint8_t(fields[f] >> (8 * k));
  file.resize(header + kPackedHeaderBytes + packed);
  return true;
}

// The compressed block at the reader's place, which must end the file.
bool Uncompress(TByteReader& r, std::vector<uint8_t>& raw, TRefusal& why) {
  const uint32_t packed = r.U32(), unpacked = r.U32(), crc = r.U32();
  if (!r.Ok()) return why = Refuse(TRefusalCode::CutShort), false;
  if (packed != r.Left()) return why = Refuse(packed > r.Left() ? TRefusalCode::CutShort : TRefusalCode::TrailingBytes), false;
  if (unpacked > kMaxSaveBytes) return why = Refuse(TRefusalCode::SaysTooLarge), false;
  const std::string_view stored = r.Take(packed);
  const auto* bytes = reinterpret_cast<const uint8_t*>(stored.data());
  if (Crc(bytes, packed) != crc) return why = Refuse(TRefusalCode::ChecksumWrong), false;
  raw.resize(unpacked);
  uLongf rawSize = unpacked;
  if (uncompress(raw.data(), &rawSize, bytes, packed) != Z_OK || rawSize != unpacked)
    return why = Refuse(TRefusalCode::DoesNotUnpack), false;
  return true;
}

bool ReadHeader(TByteReader& r, uint32_t& version, TRefusal& why) {
  char magic[sizeof kMagic];
  if (!r.Raw(magic, sizeof magic) || std::memcmp(magic, kMagic, sizeof magic) != 0)
    return why = Refuse(TRefusalCode::NotASave), false;
  version = r.U32();
  if (!r.Ok()) return why = Refuse(TRefusalCode::CutShort), false;
  if (version < 1 || version > kSaveVersion)
    return why = Refuse(TRefusalCode::OtherVersion, std::to_string(version)), false;
  return true;
}

// Format 2's information block at the reader's place.
bool ReadInfoBlock(TByteReader& r, TSaveInfo& info, TRefusal& why) {
  const uint32_t size = r.U32(), crc = r.U32();
  if (!r.Ok()) return why = Refuse(TRefusalCode::CutShort), false;
  if (size > kMaxSaveInfoBytes) return why = Refuse(TRefusalCode::SaysTooLarge), false;
  const std::string_view block = r.Take(size);
  if (!r.Ok()) return why = Refuse(TRefusalCode::CutShort), false;
  const auto* bytes = reinterpret_cast<const uint8_t*>(block.data());
  if (Crc(bytes, size) != crc) return why = Refuse(TRefusalCode::ChecksumWrong), false;
  TSaveReader s(bytes, size, 2);
  TSaveInfo read;
  SyncInfo(s, read);
  if (!s.Ok() || !s.R.AtEnd()) return why = Refuse(TRefusalCode::NotASaveInside), false;
  read.Version = 2;
  info = std::move(read);
  return true;
}

// The caption of a save read from format 1, which did not keep one.
std::string CaptionOf(const TSnapshot& snapshot) {
  const auto& lines = snapshot.Message.Page.Lines;
  return lines.empty() ? std::string() : WideToUtf8(lines[0].Text);
}

}  // namespace

// ---------------------------------------------------------------- files

std::vector<uint8_t> SnapshotRecord(const TSnapshot& snapshot) {
  TSaveWriter w(kSaveVersion);
  SyncSnapshot(w, const_cast<TSnapshot&>(snapshot));  // the writer only reads it
  if (!w.Ok()) return {};
  return std::move(w.W.Bytes());
}

bool DecodeSnapshotRecord(const uint8_t* data, size_t size, TSnapshot& snapshot, TRefusal& why) {
  TSaveReader s(data, size, kSaveVersion);
  TSnapshot read;
  SyncSnapshot(s, read);
  if (!s.Ok() || !s.R.AtEnd())
    return why = Refuse(s.TooLarge() ? TRefusalCode::TooMuchMemory : TRefusalCode::NotASaveInside), false;
  snapshot = std::move(read);
  return true;
}

std::vector<uint8_t> EncodeSave(const TSave& save) {
  TSaveWriter info(kSaveVersion);
  SyncInfo(info, const_cast<TSaveInfo&>(save.Info));  // the writer only reads it
  const std::vector<uint8_t> snapshot = SnapshotRecord(save.Snapshot);
  if (!info.Ok() || info.W.Bytes().size() > kMaxSaveInfoBytes || snapshot.empty()) return {};
  std::vector<uint8_t> file(kMagic, kMagic + sizeof kMagic);
  PutU32(file, kSaveVersion);
  const std::vector<uint8_t>& block = info.W.Bytes();
  PutU32(file, uint32_t(block.size()));
  PutU32(file, Crc(block.data(), block.size()));
  file.insert(file.end(), block.begin(), block.end());
  if (!Compress(snapshot, file) || file.size() > kMaxSaveBytes) return {};
  return file;
}

bool DecodeSaveInfo(const uint8_t* data, size_t size, TSaveInfo& info, TRefusal& why) {
  TByteReader r(data, size);
  uint32_t version;
  if (!ReadHeader(r, version, why)) return false;
  if (version >= 2) return ReadInfoBlock(r, info, why);
  TSave save;
  if (!DecodeSave(data, size, save, why)) return false;
  info = std::move(save.Info);
  return true;
}

bool DecodeSave(const uint8_t* data, size_t size, TSave& save, TRefusal& why) {
  TByteReader r(data, size);
  uint32_t version;
  if (!ReadHeader(r, version, why)) return false;
  TSave read;
  if (version >= 2 && !ReadInfoBlock(r, read.Info, why)) return false;
  std::vector<uint8_t> raw;
  if (!Uncompress(r, raw, why)) return false;
  TSaveReader s(raw.data(), raw.size(), version);
  if (version == 1) SyncInfo(s, read.Info);
  SyncSnapshot(s, read.Snapshot);
  if (!s.Ok() || !s.R.AtEnd())
    return why = Refuse(s.TooLarge() ? TRefusalCode::TooMuchMemory : TRefusalCode::NotASaveInside), false;
  read.Info.Version = version;
  if (version == 1) read.Info.Caption = CaptionOf(read.Snapshot);
  save = std::move(read);
  return true;
}

bool WriteSave(const std::string& path, const TSave& save, TRefusal& why) {
  const std::vector<uint8_t> bytes = EncodeSave(save);
  if (bytes.empty()) return why = Refuse(TRefusalCode::StateTooLarge), false;
  std::string system;
  if (!WriteFileAtomically(path, bytes.data(), bytes.size(), system))
    return why = Refuse(TRefusalCode::CannotWrite, system), false;
  return true;
}

namespace {
bool ReadRefused(TFileRead read, TRefusal& why) {
  if (read == TFileRead::Ok) return false;
  why = read == TFileRead::TooLarge ? Refuse(TRefusalCode::FileTooLarge) : Refuse(TRefusalCode::CannotRead, SysErrorMessage(errno));
  return true;
}
}  // namespace

bool ReadSave(const std::string& path, TSave& save, TRefusal& why) {
  std::string bytes;
  if (ReadRefused(ReadFileBytes(path, bytes, kMaxSaveBytes, TFileScope::Reader), why)) return false;
  return DecodeSave(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), save, why);
}

bool ReadSaveInfo(const std::string& path, TSaveInfo& info, TRefusal& why) {
  // Format 2 is read only as far as its information ends; format 1 has to be read whole.
  std::string head;
  constexpr size_t kHead = kMagicBytes + kInfoHeaderBytes + kMaxSaveInfoBytes;
  if (ReadRefused(ReadFileStart(path, head, kHead, TFileScope::Reader), why)) return false;
  TByteReader r(reinterpret_cast<const uint8_t*>(head.data()), head.size());
  uint32_t version;
  if (!ReadHeader(r, version, why)) return false;
  if (version >= 2) return ReadInfoBlock(r, info, why);
  TSave save;
  if (!ReadSave(path, save, why)) return false;
  info = std::move(save.Info);
  return true;
}

std::string ThumbnailPng(const TABitmap& picture, int32_t& width, int32_t& height) {
  width = picture.Width() / kThumbnailScale;
  height = picture.Height() / kThumbnailScale;
  // Each pixel the mean of its square of the picture.
  std::vector<uint8_t> small(size_t(width) * size_t(height) * 4);
  for (int32_t y = 0; y < height; ++y)
    for (int32_t x = 0; x < width; ++x) {
      uint32_t sum[3] = {0, 0, 0};
      for (int32_t dy = 0; dy < kThumbnailScale; ++dy) {
        const uint8_t* p = picture.ScanLine(y * kThumbnailScale + dy) + size_t(x) * kThumbnailScale * 4;
        for (int32_t dx = 0; dx < kThumbnailScale; ++dx, p += 4)
          for (int c = 0; c < 3; ++c) sum[c] += p[c];
      }
      uint8_t* to = small.data() + (size_t(y) * size_t(width) + size_t(x)) * 4;
      for (int c = 0; c < 3; ++c) to[c] = uint8_t(sum[c] / (kThumbnailScale * kThumbnailScale));
    }
  return EncodePng([&](int32_t y) { return small.data() + size_t(y) * size_t(width) * 4; }, width, height, true);
}
