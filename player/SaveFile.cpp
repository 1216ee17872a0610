#include "player/SaveFile.h"

#include <png.h>
#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <ctime>

#include "common/Bytes.h"
#include "common/Screen.h"
#include "platform/CodePage.h"
#include "platform/Dialogs.h"
#include "platform/Files.h"
#include "player/Commands.h"
#include "player/ResStr.h"
#include "player/StoryFolder.h"
#include "player/SubThread.h"

namespace {

constexpr char kMagic[8] = {'S', 'O', 'R', 'V', 'S', 'A', 'V', 'E'};
constexpr size_t kHeaderBytes = 8 + 4 * 4;
constexpr uint32_t kMaxVariables = 1u << 20;
constexpr uint32_t kMaxInput = 1024;
constexpr int32_t kFingerprintReach = 2;  // commands on each side of the place

// ---------------------------------------------------------------- the snapshot's parts

void WritePage(TByteWriter& w, const TTextSnapshot& t) {
  const TTextLayer::TPageState& p = t.Page;
  w.U32(uint32_t(p.Lines.size()));
  for (size_t i = 0; i < p.Lines.size(); ++i) {
    w.WStr(p.Lines[i].Text);
    w.WStr(p.Lines[i].Info);
    w.U32(uint32_t(p.LinePositions[i].size()));
    for (const TPoint& pt : p.LinePositions[i]) w.I32(pt.x), w.I32(pt.y);
    w.I32(p.LineTops[i]);
  }
  w.U32(uint32_t(p.ShownRects.size()));
  for (const TRect& r : p.ShownRects) w.I32(r.Left), w.I32(r.Top), w.I32(r.Right), w.I32(r.Bottom);
  for (const int32_t v : {p.ShowLine, p.ShowChar, p.PrevShowLine, p.PrevShowChar, p.WriteLine, p.HoverLine})
    w.I32(v);
  w.I32(p.HoverRect.Left), w.I32(p.HoverRect.Top), w.I32(p.HoverRect.Right), w.I32(p.HoverRect.Bottom);
  for (const bool b : {p.ClearPending, p.HoverDirty, p.PageDirty, p.Busy}) w.Bool(b);
  w.U32(p.TypeTicks);
  w.Bool(t.Visible);
  w.U8(t.SelectMode);
  w.Bool(t.PageFull);
}

void ReadPage(TByteReader& r, TTextSnapshot& t) {
  TTextLayer::TPageState& p = t.Page;
  const uint32_t lines = r.Count(16, uint32_t(TTextLayer::kMaxLines));
  p.Lines.resize(lines);
  p.LinePositions.resize(lines);
  p.LineTops.resize(lines);
  for (uint32_t i = 0; i < lines && r.Ok(); ++i) {
    p.Lines[i].Text = r.WStr();
    p.Lines[i].Info = r.WStr();
    const uint32_t positions = r.Count(8, uint32_t(p.Lines[i].Text.size() + 1));
    p.LinePositions[i].resize(positions);
    for (TPoint& pt : p.LinePositions[i]) pt.x = r.I32(), pt.y = r.I32();
    p.LineTops[i] = r.I32();
  }
  p.ShownRects.resize(r.Count(16, lines));
  for (TRect& rect : p.ShownRects) rect = TRect{r.I32(), r.I32(), r.I32(), r.I32()};
  for (int32_t* v : {&p.ShowLine, &p.ShowChar, &p.PrevShowLine, &p.PrevShowChar, &p.WriteLine, &p.HoverLine})
    *v = r.I32();
  p.HoverRect = TRect{r.I32(), r.I32(), r.I32(), r.I32()};
  for (bool* b : {&p.ClearPending, &p.HoverDirty, &p.PageDirty, &p.Busy}) *b = r.Bool();
  p.TypeTicks = r.U32();
  t.Visible = r.Bool();
  t.SelectMode = r.U8();
  t.PageFull = r.Bool();
  if (t.SelectMode > kSelectChoice || (r.Ok() && !TTextLayer::Consistent(p))) r.Fail();
}

void WriteSnapshot(TByteWriter& w, const TSnapshot& s) {
  w.U32(s.Frame);
  w.I32(s.Position);
  w.U32(s.NextCheckpoint);
  w.I32(s.RestingAt);
  w.Bool(s.CheckpointDue);
  w.U32(uint32_t(s.Variables.size()));
  for (const auto& [name, value] : s.Variables) w.Str(name), w.I32(value);
  WritePage(w, s.Message);
  WritePage(w, s.Speaker);
  w.Block(s.Engine.data(), s.Engine.size());
  for (const TSoundSnapshot& sound : s.Sound) {
    w.WStr(sound.File);
    w.Bool(sound.Loop);
    w.Bool(sound.Playing);
    w.I32(sound.Position);
  }
  w.U32(uint32_t(s.Input.size()));
  for (const TInputEvent& e : s.Input) w.U8(e.EventType), w.I32(e.EventData);
  w.Bool(s.ShowClipRects);
  w.Bool(s.RunawayReported);
  w.I32(s.Picture.Width());
  w.I32(s.Picture.Height());
  for (const TPicture::TTile& tile : s.Picture.Tiles()) w.Raw(tile->data(), tile->size());
  const std::vector<TBacklogEntry> backlog = BacklogEntries(s.Backlog);
  w.U32(uint32_t(backlog.size()));
  for (const TBacklogEntry& e : backlog) w.Bool(e.Choice), w.WStr(e.Speaker), w.WStr(e.Text);
}

void ReadSnapshot(TByteReader& r, TSnapshot& s) {
  s.Frame = r.U32();
  s.Position = r.I32();
  s.NextCheckpoint = r.U32();
  s.RestingAt = r.I32();
  s.CheckpointDue = r.Bool();
  const uint32_t variables = r.Count(8, kMaxVariables);
  for (uint32_t i = 0; i < variables && r.Ok(); ++i) {
    AnsiString name = r.Str();
    const int32_t value = r.I32();
    if (name.empty()) r.Fail();
    s.Variables.emplace_back(std::move(name), value);
  }
  ReadPage(r, s.Message);
  ReadPage(r, s.Speaker);
  const std::string_view engine = r.Block();
  s.Engine.assign(engine.begin(), engine.end());
  for (TSoundSnapshot& sound : s.Sound) {
    sound.File = r.WStr();
    sound.Loop = r.Bool();
    sound.Playing = r.Bool();
    sound.Position = r.I32();
  }
  const uint32_t input = r.Count(5, kMaxInput);
  for (uint32_t i = 0; i < input && r.Ok(); ++i) s.Input.push_back(TInputEvent{r.U8(), r.I32()});
  s.ShowClipRects = r.Bool();
  s.RunawayReported = r.Bool();
  const int32_t width = r.I32(), height = r.I32();
  if (!r.Ok() || width != kScreenWidth || height != kScreenHeight) return r.Fail();
  std::vector<TPicture::TTile> tiles;
  for (size_t i = 0;; ++i) {
    const size_t bytes = TPicture::TileBytes(width, height, i);
    if (!bytes || !r.Ok()) break;
    const std::string_view raw = r.Take(bytes);
    tiles.push_back(std::make_shared<const std::vector<uint8_t>>(raw.begin(), raw.end()));
  }
  if (!r.Ok() || !s.Picture.Assign(width, height, std::move(tiles))) return r.Fail();
  const uint32_t backlog = r.Count(9, 2 * kBacklogKeep);
  for (uint32_t i = 0; i < backlog && r.Ok(); ++i) {
    TBacklogEntry e;
    e.Choice = r.Bool();
    e.Speaker = r.WStr();
    e.Text = r.WStr();
    s.Backlog = BacklogAdd(s.Backlog, std::move(e));
  }
}

void WriteInfo(TByteWriter& w, const TSaveInfo& i) {
  w.Str(i.Title);
  w.Str(i.Identity);
  w.U64(uint64_t(i.Date));
  w.Str(i.Label);
  w.I32(i.Offset);
  w.U32(i.Before);
  w.U32(i.After);
  w.I32(i.Position);
  w.Str(i.Scenes[0]);
  w.Str(i.Scenes[1]);
  w.Str(i.Thumbnail);
  w.I32(i.ThumbnailWidth);
  w.I32(i.ThumbnailHeight);
}

void ReadInfo(TByteReader& r, TSaveInfo& i) {
  i.Title = r.Str();
  i.Identity = r.Str();
  i.Date = int64_t(r.U64());
  i.Label = r.Str();
  i.Offset = r.I32();
  i.Before = r.U32();
  i.After = r.U32();
  i.Position = r.I32();
  i.Scenes[0] = r.Str();
  i.Scenes[1] = r.Str();
  i.Thumbnail = r.Str();
  i.ThumbnailWidth = r.I32();
  i.ThumbnailHeight = r.I32();
  if (i.Position < -1 || i.ThumbnailWidth < 0 || i.ThumbnailHeight < 0 || i.ThumbnailWidth > kScreenWidth ||
      i.ThumbnailHeight > kScreenHeight)
    r.Fail();
}

void PutU32(uint8_t* at, uint32_t v) {
  for (int k = 0; k < 4; ++k) at[k] = uint8_t(v >> (8 * k));
}

// ---------------------------------------------------------------- places in the script

uint32_t Fingerprint(const TScriptLoader& script, int32_t from, int32_t to) {
  uint32_t h = 2166136261u;
  auto mix = [&h](const void* p, size_t n) {
    for (size_t k = 0; k < n; ++k) h = (h ^ static_cast<const uint8_t*>(p)[k]) * 16777619u;
  };
  for (int32_t i = from; i <= to; ++i) {
    if (i < 0 || i > script.LastIndex()) {
      mix("|", 1);
      continue;
    }
    mix(script.CommandName(i).data(), script.CommandName(i).size());
    mix(script.CommandParam(i).data(), script.CommandParam(i).size() * 2);
    mix("\n", 1);
  }
  return h;
}
uint32_t BeforeOf(const TScriptLoader& s, int32_t p) { return Fingerprint(s, p - kFingerprintReach, p); }
uint32_t AfterOf(const TScriptLoader& s, int32_t p) { return Fingerprint(s, p, p + kFingerprintReach); }

}  // namespace

// ---------------------------------------------------------------- files

TSave SaveOf(const TSubThread& runtime, const TStoryIdentity& story) {
  TSave save;
  save.Info.Title = story.Title;
  save.Info.Identity = story.Identity;
  save.Info.Date = int64_t(std::time(nullptr));
  save.Snapshot = runtime.Snapshot(runtime.Checkpoints().empty() ? nullptr : &runtime.Checkpoints().back());
  LocatePlace(runtime.Script(), save.Snapshot.Position, save.Info);
  for (int32_t layer = 0; layer < kSceneLayerCount; ++layer) save.Info.Scenes[layer] = runtime.Scenes().ShownSceneName(layer);
  save.Info.Thumbnail = ThumbnailPng(runtime.Picture(), save.Info.ThumbnailWidth, save.Info.ThumbnailHeight);
  return save;
}

std::vector<uint8_t> SavePayload(const TSave& save) {
  TByteWriter payload;
  WriteInfo(payload, save.Info);
  WriteSnapshot(payload, save.Snapshot);
  return std::move(payload.Bytes());
}

std::vector<uint8_t> EncodeSave(const TSave& save) { return PackSavePayload(SavePayload(save)); }

std::vector<uint8_t> PackSavePayload(const std::vector<uint8_t>& raw) {
  uLongf packedSize = compressBound(uLong(raw.size()));
  std::vector<uint8_t> file(kHeaderBytes + packedSize);
  if (compress2(file.data() + kHeaderBytes, &packedSize, raw.data(), uLong(raw.size()), 1) != Z_OK) return {};
  file.resize(kHeaderBytes + packedSize);
  std::memcpy(file.data(), kMagic, sizeof kMagic);
  PutU32(file.data() + 8, kSaveVersion);
  PutU32(file.data() + 12, uint32_t(packedSize));
  PutU32(file.data() + 16, uint32_t(raw.size()));
  PutU32(file.data() + 20, uint32_t(crc32(0, file.data() + kHeaderBytes, uInt(packedSize))));
  return file;
}

bool DecodeSave(const uint8_t* data, size_t size, TSave& save, std::string& why) {
  TByteReader header(data, size);
  char magic[8];
  if (!header.Raw(magic, sizeof magic) || std::memcmp(magic, kMagic, sizeof magic) != 0) {
    why = "it is not a save (no SORVSAVE at its start)";
    return false;
  }
  const uint32_t version = header.U32(), packed = header.U32(), unpacked = header.U32(), crc = header.U32();
  if (!header.Ok()) {
    why = "it is cut short";
    return false;
  }
  if (version != kSaveVersion) {
    why = "it is a save of another version (" + std::to_string(version) + ")";
    return false;
  }
  if (packed != size - kHeaderBytes) {
    why = packed > size - kHeaderBytes ? "it is cut short" : "it has bytes after its end";
    return false;
  }
  if (unpacked > kMaxSaveBytes) {
    why = "it says it is larger than a save may be";
    return false;
  }
  if (uint32_t(crc32(0, data + kHeaderBytes, uInt(packed))) != crc) {
    why = "it is damaged (its checksum does not match)";
    return false;
  }
  std::vector<uint8_t> raw(unpacked);
  uLongf rawSize = unpacked;
  if (uncompress(raw.data(), &rawSize, data + kHeaderBytes, packed) != Z_OK || rawSize != unpacked) {
    why = "it is damaged (its contents do not unpack)";
    return false;
  }
  return DecodeSavePayload(raw.data(), raw.size(), save, why);
}

bool DecodeSavePayload(const uint8_t* data, size_t size, TSave& save, std::string& why) {
  TByteReader r(data, size);
  TSave decoded;
  ReadInfo(r, decoded.Info);
  ReadSnapshot(r, decoded.Snapshot);
  if (!r.Ok() || !r.AtEnd()) {
    why = "it is damaged (its contents do not make a save)";
    return false;
  }
  save = std::move(decoded);
  return true;
}

bool WriteSave(const std::string& path, const TSave& save, std::string& why) {
  const std::vector<uint8_t> bytes = EncodeSave(save);
  if (bytes.empty() || bytes.size() > kMaxSaveBytes) {
    why = "the state is too large to save";
    return false;
  }
  return WriteFileAtomically(path, bytes.data(), bytes.size(), why);
}

bool ReadSave(const std::string& path, TSave& save, std::string& why) {
  std::string bytes;
  switch (ReadFileBytes(path, bytes, kMaxSaveBytes, TFileScope::Reader)) {
    case TFileRead::Ok: break;
    case TFileRead::TooLarge: why = "it is larger than a save may be"; return false;
    default: why = "it cannot be read: " + SysErrorMessage(errno); return false;
  }
  return DecodeSave(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), save, why);
}

// ---------------------------------------------------------------- places

void LocatePlace(const TScriptLoader& script, int32_t position, TSaveInfo& info) {
  info.Position = position;
  info.Label.clear();
  info.Offset = position;
  if (position < 0) return;
  const TCommand* label = nullptr;
  for (int32_t i = position; i >= 0; --i) {
    label = FindCommand(script.CommandName(i));
    if (label && label->Flow == TFlow::Label) {
      info.Label = WideToUtf8(script.CommandParam(i));
      info.Offset = position - i;
      break;
    }
  }
  info.Before = BeforeOf(script, position);
  info.After = AfterOf(script, position);
}

bool FindPlace(const TScriptLoader& script, const TSaveInfo& info, int32_t& position, std::string& why) {
  position = -1;
  if (info.Position < 0) return true;  // past the end stays there
  int32_t base = 0;
  if (!info.Label.empty() && !script.Labels().TryGetInt(info.Label, base)) base = -1;
  // Where it was: the label still there and the commands on either side of the place.
  const int32_t at = base >= 0 ? base + info.Offset : -1;
  if (at >= 0 && at <= script.LastIndex() && (BeforeOf(script, at) == info.Before || AfterOf(script, at) == info.After)) {
    position = at;
    return true;
  }
  // Elsewhere: the one place whose commands on both sides are those of the save.
  int32_t found = -1, count = 0;
  for (int32_t i = 0; i <= script.LastIndex() && count < 2; ++i)
    if (BeforeOf(script, i) == info.Before && AfterOf(script, i) == info.After) found = i, ++count;
  if (count == 1) {
    position = found;
    return true;
  }
  why = count > 1 ? "the saved place is found more than once in the story"
                  : "the saved place is no longer in the story";
  return false;
}

namespace {

// RGB rows as PNG, made quickly: the thumbnail is small, and a save should not wait for it.
std::string EncodePng(const uint8_t* rgb, int32_t width, int32_t height) {
  std::string png;
  png_structp write = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = write ? png_create_info_struct(write) : nullptr;
  if (!info) {
    png_destroy_write_struct(&write, nullptr);
    return png;
  }
  if (setjmp(png_jmpbuf(write))) {
    png_destroy_write_struct(&write, &info);
    return std::string();
  }
  png_set_write_fn(
      write, &png,
      [](png_structp p, png_bytep data, png_size_t n) {
        static_cast<std::string*>(png_get_io_ptr(p))->append(reinterpret_cast<const char*>(data), n);
      },
      nullptr);
  png_set_compression_level(write, 1);
  png_set_filter(write, 0, PNG_FILTER_SUB);
  png_set_IHDR(write, info, png_uint_32(width), png_uint_32(height), 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_write_info(write, info);
  for (int32_t y = 0; y < height; ++y) png_write_row(write, rgb + size_t(y) * size_t(width) * 3);
  png_write_end(write, info);
  png_destroy_write_struct(&write, &info);
  return png;
}

}  // namespace

bool ResolvePlace(const TScriptLoader& script, const TSaveInfo& info, int32_t& position, std::string& why) {
  if (FindPlace(script, info, position, why)) return true;
  int32_t label;
  if (info.Label.empty() || !script.Labels().TryGetInt(info.Label, label)) return false;
  if (MessageDlg(Format(ResStr::SavedPlaceLost, {info.Label}), mtConfirmation, mbYesNo) != mrYes) {
    why += "; the reader chose not to load it";
    return false;
  }
  position = label;
  return true;
}

std::string ReaderReason(const std::string& why) {
  static const std::pair<const char*, const char*> kReasons[] = {
      {"it is not a save", "セーブファイルではありません。"},
      {"it is cut short", "ファイルが途中で切れています。"},
      {"it has bytes after its end", "ファイルの後ろに余分なデータがあります。"},
      {"it is a save of another version", "別の版のセーブです。"},
      {"it says it is larger than a save may be", "セーブとして大きすぎます。"},
      {"it is larger than a save may be", "セーブとして大きすぎます。"},
      {"it is damaged", "ファイルが壊れています。"},
      {"it cannot be read", "ファイルを読めません。"},
      {"it is not a regular file", "通常のファイルではありません。"},
      {"the saved place is no longer in the story", "セーブした場所が物語の中に見つかりません。"},
      {"the saved place is found more than once", "セーブした場所が物語の中で一つに決まりません。"},
      {"a scene it shows is no longer", "セーブした場面がシーンファイルにないか、変わっています。"},
      {"its scenes' state is damaged", "場面の状態が壊れています。"},
      {"its place in the script is past", "セーブした場所がスクリプトの外です。"},
      {"its message window is damaged", "メッセージウィンドウの状態が壊れています。"},
      {"its picture is not of the screen's size", "画像の大きさが画面と違います。"},
  };
  for (const auto& [english, japanese] : kReasons)
    if (why.rfind(english, 0) == 0) return japanese;
  return why;
}

std::string ThumbnailPng(const TABitmap& picture, int32_t& width, int32_t& height) {
  constexpr int32_t kScale = 5;
  width = picture.Width() / kScale;
  height = picture.Height() / kScale;
  std::vector<uint8_t> rgb(size_t(width) * size_t(height) * 3);
  for (int32_t y = 0; y < height; ++y)
    for (int32_t x = 0; x < width; ++x) {
      uint32_t sum[3] = {0, 0, 0};
      for (int32_t dy = 0; dy < kScale; ++dy) {
        const uint8_t* p = picture.ScanLine(y * kScale + dy) + size_t(x) * kScale * 4;
        for (int32_t dx = 0; dx < kScale; ++dx, p += 4)
          for (int c = 0; c < 3; ++c) sum[c] += p[2 - c];  // BGRA to RGB
      }
      for (int c = 0; c < 3; ++c) rgb[(size_t(y) * size_t(width) + size_t(x)) * 3 + size_t(c)] = uint8_t(sum[c] / (kScale * kScale));
    }
  return EncodePng(rgb.data(), width, height);
}
