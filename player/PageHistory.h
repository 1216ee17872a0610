// The pages a run can go back to: a checkpoint (the runtime's snapshot) of each page or
// choice the script came to rest on, the last kKeep of them, and the backlog of the pages
// seen and the choices taken, which the checkpoints share.
// Threads: one thread per object.
#pragma once

#include <cstddef>
#include <deque>

#include "player/Snapshot.h"

class TPageHistory {
 public:
  static constexpr size_t kKeep = 128;

  const std::deque<TSnapshot>& Checkpoints() const { return FCheckpoints; }
  const TBacklog& Backlog() const { return FBacklog; }
  // The backlog a restored state had.
  void SetBacklog(TBacklog backlog) { FBacklog = std::move(backlog); }

  // A page seen: noted unless it is the page noted last (the script waits again on it).
  void NotePage(TBacklogEntry page);
  // A choice taken, by its line's text.
  void NoteChoice(const WideString& line);
  // A checkpoint taken: past kKeep the oldest goes.
  void Keep(TSnapshot checkpoint);
  // The state loaded is where going back stops: it is the first checkpoint, when given.
  void StartFrom(const TSnapshot* first);

  // The checkpoint before the latest, which Rollback goes back to (null: none).
  const TSnapshot* BeforeLatest() const;
  // Drops the latest checkpoint (gone back from) and gives it back.
  TSnapshot DropLatest();
  // The newest checkpoint of the backlog's page `page`, or -1.
  ptrdiff_t Find(const TBacklogNode* page) const;
  // Drops the checkpoints after checkpoint `index` (gone back to).
  void DropAfter(size_t index);

 private:
  std::deque<TSnapshot> FCheckpoints;
  TBacklog FBacklog;
};
