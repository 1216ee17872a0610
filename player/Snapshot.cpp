#include "player/Snapshot.h"

#include <algorithm>
#include <cstring>

namespace {
int32_t TilesAcross(int32_t width) { return (width + TPicture::kTile - 1) / TPicture::kTile; }
}  // namespace

size_t TPicture::TileBytes(int32_t width, int32_t height, size_t index) {
  const int32_t across = TilesAcross(width);
  if (across <= 0) return 0;
  const int32_t column = int32_t(index % size_t(across)), row = int32_t(index / size_t(across));
  const int32_t w = std::min(kTile, width - column * kTile), h = std::min(kTile, height - row * kTile);
  return w > 0 && h > 0 ? size_t(w) * size_t(h) * 4 : 0;
}

void TPicture::Capture(const TABitmap& from, const TPicture* previous) {
  FWidth = from.Width();
  FHeight = from.Height();
  const int32_t across = TilesAcross(FWidth), down = (FHeight + kTile - 1) / kTile;
  const bool share = previous && previous->FWidth == FWidth && previous->FHeight == FHeight;
  std::vector<TTile> tiles(size_t(across) * size_t(std::max(down, 0)));
  bool same = share;
  std::vector<uint8_t> bytes;
  for (int32_t row = 0; row < down; ++row)
    for (int32_t column = 0; column < across; ++column) {
      const size_t index = size_t(row) * size_t(across) + size_t(column);
      const int32_t x = column * kTile, y = row * kTile;
      const int32_t w = std::min(kTile, FWidth - x), h = std::min(kTile, FHeight - y);
      bytes.resize(size_t(w) * size_t(h) * 4);
      for (int32_t k = 0; k < h; ++k)
        std::memcpy(bytes.data() + size_t(k) * size_t(w) * 4, from.ScanLine(y + k) + size_t(x) * 4, size_t(w) * 4);
      const TTile& before = share ? (*previous->FTiles)[index] : nullptr;
      if (before && *before == bytes) {
        tiles[index] = before;
      } else {
        tiles[index] = std::make_shared<const std::vector<uint8_t>>(bytes);
        same = false;
      }
    }
  FTiles = same ? previous->FTiles : std::make_shared<const std::vector<TTile>>(std::move(tiles));
}

void TPicture::Paint(TABitmap& to) const {
  const int32_t across = TilesAcross(FWidth);
  for (size_t index = 0; index < FTiles->size(); ++index) {
    const int32_t x = int32_t(index % size_t(across)) * kTile, y = int32_t(index / size_t(across)) * kTile;
    const int32_t w = std::min(kTile, FWidth - x), h = std::min(kTile, FHeight - y);
    const std::vector<uint8_t>& bytes = *(*FTiles)[index];
    for (int32_t k = 0; k < h; ++k)
      std::memcpy(to.ScanLine(y + k) + size_t(x) * 4, bytes.data() + size_t(k) * size_t(w) * 4, size_t(w) * 4);
  }
}

bool TPicture::Assign(int32_t width, int32_t height, std::vector<TTile> tiles) {
  if (width <= 0 || height <= 0) return false;
  const size_t count = size_t(TilesAcross(width)) * size_t((height + kTile - 1) / kTile);
  if (tiles.size() != count) return false;
  for (size_t i = 0; i < count; ++i)
    if (!tiles[i] || tiles[i]->size() != TileBytes(width, height, i)) return false;
  FWidth = width;
  FHeight = height;
  FTiles = std::make_shared<const std::vector<TTile>>(std::move(tiles));
  return true;
}

size_t TSnapshot::OwnBytes(const TSnapshot* previous) const {
  size_t bytes = sizeof *this + Engine.size();
  const auto& tiles = Picture.Tiles();
  if (previous && &previous->Picture.Tiles() == &tiles) return bytes;  // the same picture
  bytes += tiles.size() * sizeof(TPicture::TTile);
  for (size_t i = 0; i < tiles.size(); ++i) {
    const bool shared = previous && i < previous->Picture.Tiles().size() && previous->Picture.Tiles()[i] == tiles[i];
    if (!shared) bytes += tiles[i]->size();
  }
  for (const auto& line : Message.Page.Lines) bytes += line.Text.size() * 2;
  if (Variables && !(previous && previous->Variables == Variables))
    for (const auto& [name, value] : *Variables) bytes += sizeof(name) + name.size() + sizeof(value);
  return bytes;
}

TBacklog BacklogAdd(const TBacklog& backlog, TBacklogEntry entry) {
  if (entry.Text.size() > kMaxBacklogChars) entry.Text.resize(kMaxBacklogChars);
  if (entry.Speaker.size() > kMaxBacklogChars) entry.Speaker.resize(kMaxBacklogChars);
  const uint32_t count = backlog ? backlog->Count + 1 : 1;
  if (count <= 2 * kBacklogKeep)
    return std::make_shared<const TBacklogNode>(TBacklogNode{std::move(entry), backlog, count});
  // The oldest go: the newest kBacklogKeep are linked again.
  std::vector<TBacklogEntry> entries = BacklogEntries(backlog);
  entries.push_back(std::move(entry));
  TBacklog kept;
  for (size_t i = entries.size() - kBacklogKeep; i < entries.size(); ++i) kept = BacklogAdd(kept, std::move(entries[i]));
  return kept;
}

std::vector<TBacklogEntry> BacklogEntries(const TBacklog& backlog) {
  std::vector<TBacklogEntry> entries;
  for (const TBacklogNode* n = backlog.get(); n; n = n->Before.get()) entries.push_back(n->Entry);
  std::reverse(entries.begin(), entries.end());
  return entries;
}
