// Save files: a snapshot of the runtime with what the save screen shows of it (the story's
// title and identity, the date, the place in the script, the scenes, a thumbnail, the
// page's first line). A pure codec: values to bytes and back. Format 2:
//   "SORVSAVE", u32 version (2);
//   u32 size of the information, u32 its CRC-32, the information as it stands;
//   u32 size of the snapshot as stored, u32 unpacked, u32 CRC-32 of the stored bytes, the
//   snapshot zlib-compressed.
// Format 1 (still read): "SORVSAVE", u32 1, u32 stored, u32 unpacked, u32 CRC-32, then the
// information and the snapshot compressed together. Every number little-endian. Each
// record is written once as a walk that serves both directions; a field added later names
// the version it came with and its default. A file is untrusted input: whatever its bytes,
// reading it ends in a save or a refusal, within kMaxSaveBytes of file and of memory.
// Threads: any.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "player/Commands.h"
#include "player/Place.h"
#include "player/Refusal.h"
#include "player/Snapshot.h"

constexpr size_t kMaxSaveBytes = size_t(64) * 1024 * 1024;  // stored, unpacked, and in memory
constexpr uint32_t kSaveVersion = 2;
// The information's most bytes (the thumbnail is most of it).
constexpr size_t kMaxSaveInfoBytes = size_t(1) << 20;
// The thumbnail: the picture at a fifth of its size.
constexpr int32_t kThumbnailScale = 5;
constexpr int32_t kThumbnailWidth = 800 / kThumbnailScale, kThumbnailHeight = 600 / kThumbnailScale;
// The longest text a save keeps in one field (a line of a page, a name): far more than the
// window shows.
constexpr uint32_t kMaxSavedChars = 4096;

struct TSaveInfo {
  uint32_t Version = kSaveVersion;  // the format it was read from
  std::string Title;
  std::string Identity;
  int64_t Date = 0;  // seconds since 1970
  TPlace Place;
  std::string Scenes[kSceneLayerCount];  // the scene each layer shows, by name
  std::string Thumbnail;                 // PNG of ThumbnailWidth x ThumbnailHeight
  int32_t ThumbnailWidth = 0, ThumbnailHeight = 0;
  std::string Caption;  // the page's first line (UTF-8)
};

struct TSave {
  TSaveInfo Info;
  TSnapshot Snapshot;
};

std::vector<uint8_t> EncodeSave(const TSave& save);  // empty when the state is too large
// False, with the reason, for bytes that are not a whole save of a known version.
bool DecodeSave(const uint8_t* data, size_t size, TSave& save, TRefusal& why);
// Only the information: a save of format 2 is read no further than its end.
bool DecodeSaveInfo(const uint8_t* data, size_t size, TSaveInfo& info, TRefusal& why);
// The snapshot's record alone, as format 2 stores it unpacked, and back (for the fuzzer).
std::vector<uint8_t> SnapshotRecord(const TSnapshot& snapshot);
bool DecodeSnapshotRecord(const uint8_t* data, size_t size, TSnapshot& snapshot, TRefusal& why);
// Written atomically: the old file or the new one survives whatever happens.
bool WriteSave(const std::string& path, const TSave& save, TRefusal& why);
bool ReadSave(const std::string& path, TSave& save, TRefusal& why);
bool ReadSaveInfo(const std::string& path, TSaveInfo& info, TRefusal& why);

// The picture at a fifth of its size, as PNG.
std::string ThumbnailPng(const TABitmap& picture, int32_t& width, int32_t& height);
