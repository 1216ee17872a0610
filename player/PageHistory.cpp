#include "player/PageHistory.h"

void TPageHistory::NotePage(TBacklogEntry page) {
  if (FBacklog && !FBacklog->Entry.Choice && FBacklog->Entry.Text == page.Text && FBacklog->Entry.Speaker == page.Speaker)
    return;
  FBacklog = BacklogAdd(FBacklog, std::move(page));
}

void TPageHistory::NoteChoice(const WideString& line) { FBacklog = BacklogAdd(FBacklog, TBacklogEntry{true, WideString(), line}); }

void TPageHistory::Keep(TSnapshot checkpoint) {
  FCheckpoints.push_back(std::move(checkpoint));
  if (FCheckpoints.size() > kKeep) FCheckpoints.pop_front();
}

void TPageHistory::StartFrom(const TSnapshot* first) {
  FCheckpoints.clear();
  if (first) FCheckpoints.push_back(*first);
}

const TSnapshot* TPageHistory::BeforeLatest() const {
  return FCheckpoints.size() < 2 ? nullptr : &FCheckpoints[FCheckpoints.size() - 2];
}

TSnapshot TPageHistory::DropLatest() {
  TSnapshot latest = std::move(FCheckpoints.back());
  FCheckpoints.pop_back();
  return latest;
}

ptrdiff_t TPageHistory::Find(const TBacklogNode* page) const {
  for (size_t i = FCheckpoints.size(); i-- > 0;)
    if (FCheckpoints[i].Backlog.get() == page) return ptrdiff_t(i);
  return -1;
}

void TPageHistory::DropAfter(size_t index) {
  FCheckpoints.erase(FCheckpoints.begin() + std::ptrdiff_t(index) + 1, FCheckpoints.end());
}
