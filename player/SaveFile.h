// Save files: a snapshot of the runtime with a thumbnail, the date, the story's title and
// identity, and its place in the script told in a way that survives edits of the script
// (the label before it, how many commands after that label, and a fingerprint of the
// commands around it). The format:
//   "SORVSAVE", u32 version (1), u32 size of the payload as stored, u32 size unpacked,
//   u32 CRC-32 of the stored payload; the payload, zlib-compressed.
// Every number little-endian. A file is untrusted input: whatever its bytes, reading it
// ends in a save or in a reason, within kMaxSaveBytes of memory.
// Threads: any.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "player/ScriptLoader.h"
#include "player/Snapshot.h"

constexpr size_t kMaxSaveBytes = size_t(64) * 1024 * 1024;  // stored, and unpacked
constexpr uint32_t kSaveVersion = 1;

struct TSaveInfo {
  std::string Title;
  std::string Identity;
  int64_t Date = 0;  // seconds since 1970
  // The place: the label at or before it (empty: the script's start), the commands after
  // that label, fingerprints of the commands up to it and from it, and the command index.
  AnsiString Label;
  int32_t Offset = 0;
  uint32_t Before = 0, After = 0;
  int32_t Position = -1;
  std::string Scenes[2];  // the scene each layer shows, by name
  std::string Thumbnail;         // PNG
  int32_t ThumbnailWidth = 0, ThumbnailHeight = 0;
};

struct TSave {
  TSaveInfo Info;
  TSnapshot Snapshot;
};

class TSubThread;
struct TStoryIdentity;
// A save of the runtime as it stands (main thread): its state, place, scenes, thumbnail,
// the date, and the story it belongs to.
TSave SaveOf(const TSubThread& runtime, const TStoryIdentity& story);

std::vector<uint8_t> EncodeSave(const TSave& save);
// The payload of a save unpacked, and read back (false, with the reason, for damage).
std::vector<uint8_t> SavePayload(const TSave& save);
bool DecodeSavePayload(const uint8_t* data, size_t size, TSave& save, std::string& why);
// A payload packed into a file (header, checksum).
std::vector<uint8_t> PackSavePayload(const std::vector<uint8_t>& payload);
// False, with the reason, for bytes that are not a whole save of this version.
bool DecodeSave(const uint8_t* data, size_t size, TSave& save, std::string& why);
// Written atomically: the old file or the new one survives whatever happens.
bool WriteSave(const std::string& path, const TSave& save, std::string& why);
bool ReadSave(const std::string& path, TSave& save, std::string& why);

// The place of command `position` as a save keeps it.
void LocatePlace(const TScriptLoader& script, int32_t position, TSaveInfo& info);
// The command the saved place is in `script` (which may have been edited since; -1 is the
// script's end): false, with the reason, when it cannot be found for certain.
bool FindPlace(const TScriptLoader& script, const TSaveInfo& info, int32_t& position, std::string& why);

// FindPlace, and when the place is lost, the reader asked (a box) whether to go on from the
// start of the label it lay after, when that label is still there. False, with the
// reason, when the save is not to be loaded.
bool ResolvePlace(const TScriptLoader& script, const TSaveInfo& info, int32_t& position, std::string& why);

// A reason given above, as the reader's window says it (in Japanese).
std::string ReaderReason(const std::string& why);

// The picture at a fifth of its size, as PNG.
std::string ThumbnailPng(const TABitmap& picture, int32_t& width, int32_t& height);
