// The runtime's state as one value: everything that decides what the reader sees and hears
// next. Restoring a snapshot and running on gives exactly the frames the run it was taken
// from would have given. The picture is kept in tiles that snapshots taken one after
// another share where it did not change.
// Threads: any (a snapshot is a plain value once taken).
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "common/ABitmap.h"
#include "player/Commands.h"
#include "player/EventQueue.h"
#include "player/TextLayer.h"

// The back buffer, in square tiles of shared, unchangeable bytes.
class TPicture {
 public:
  static constexpr int32_t kTile = 64;
  using TTile = std::shared_ptr<const std::vector<uint8_t>>;

  // Copies `from`, sharing each tile that `previous` holds with the same bytes.
  void Capture(const TABitmap& from, const TPicture* previous);
  // Paints the whole picture into `to`, which has its size.
  void Paint(TABitmap& to) const;
  int32_t Width() const { return FWidth; }
  int32_t Height() const { return FHeight; }
  const std::vector<TTile>& Tiles() const { return *FTiles; }
  // Takes tiles read back from a file: false when they do not make a picture of this size.
  bool Assign(int32_t width, int32_t height, std::vector<TTile> tiles);
  // The bytes of tile (column, row) as a tile of the picture holds them.
  static size_t TileBytes(int32_t width, int32_t height, size_t index);

 private:
  int32_t FWidth = 0, FHeight = 0;
  // Row by row; a picture that did not change at all shares the whole list.
  std::shared_ptr<const std::vector<TTile>> FTiles = std::make_shared<const std::vector<TTile>>();
};

// A text layer as the reader last saw it.
struct TTextSnapshot {
  TTextLayer::TPageState Page;
  bool Visible = false;
  uint8_t SelectMode = 0;
  bool PageFull = false;
};

// A sound channel: the file loaded into it (empty: none), and how it plays.
struct TSoundSnapshot {
  WideString File;
  bool Loop = false;
  bool Playing = false;
  int32_t Position = 0;  // in the decoder's samples
};

// One page the reader has seen, or a choice taken.
struct TBacklogEntry {
  bool Choice = false;
  WideString Speaker;
  WideString Text;  // lines joined with '\n'
};

// The backlog as a list that snapshots share: each entry points at the one before it.
struct TBacklogNode {
  TBacklogEntry Entry;
  std::shared_ptr<const TBacklogNode> Before;
  uint32_t Count = 1;  // entries up to and with this one
};
using TBacklog = std::shared_ptr<const TBacklogNode>;
// How many entries the backlog keeps at least; past twice as many the oldest go.
constexpr uint32_t kBacklogKeep = 1000;
// The most characters an entry keeps of its text and of its speaker: more than a page shows.
constexpr uint32_t kMaxBacklogChars = 4096;
TBacklog BacklogAdd(const TBacklog& backlog, TBacklogEntry entry);
std::vector<TBacklogEntry> BacklogEntries(const TBacklog& backlog);  // oldest first

using TVariables = std::vector<std::pair<AnsiString, int32_t>>;

struct TSnapshot {
  uint32_t Frame = 0;            // the frames drawn so far
  int32_t Position = -1;         // the command that runs next; -1 past the end
  uint32_t NextCheckpoint = 0;   // the number the next checkpoint takes
  int32_t RestingAt = -1;        // the wait whose checkpoint was taken or is due
  bool CheckpointDue = false;    // after a draw, once no scene is changing
  // The variables by name; snapshots taken one after another share them while unchanged.
  std::shared_ptr<const TVariables> Variables;
  TTextSnapshot Message, Speaker;
  std::vector<uint8_t> Engine;  // the graphics engine's own state
  TSoundSnapshot Sound[kChannelCount];
  std::vector<TInputEvent> Input;  // events not yet taken
  bool ShowClipRects = false;
  bool RunawayReported = false;
  TPicture Picture;
  TBacklog Backlog;
  // Bytes this snapshot holds that `previous` (null: none) does not share.
  size_t OwnBytes(const TSnapshot* previous) const;
};
