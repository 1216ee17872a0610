#include "common/Tables.h"

#include <new>

namespace {
constexpr size_t kGrowth = 16;
}

// The table has 16 slots at first and grows by 16. Slots past the last one ever used
// are all free, so they are only materialised when a key lands in them: an element's
// attribute table without attributes costs no allocation.
TArrayTable::TArrayTable() = default;

TArrayTable::~TArrayTable() = default;

void TArrayTable::DisposeAll() {
  for (TSlot& s : FSlots) {
    if (s.Cell) DisposeValue(s.Cell);
    s.Cell = nullptr;
    s.Key.clear();
  }
}

namespace {
constexpr int kIndexFrom = 16;  // entries before the key index is built
}

int TArrayTable::FindFreeSlot() const {
  if (FHoles > 0)
    for (size_t i = 0; i < FSlots.size(); ++i)
      if (!FSlots[i].Cell) return int(i);
  return int(FSlots.size());
}

bool TArrayTable::Set(const AnsiString& key, void* cell) {
  if (key.empty()) {
    DisposeValue(cell);
    throw ETablesError("Invalid Key.");
  }
  const int existing = IndexOf(key);
  if (existing >= 0) {
    TSlot& s = FSlots[size_t(existing)];
    if (!Overwrite) {
      DisposeValue(cell);
      return false;
    }
    DisposeValue(s.Cell);
    s.Cell = cell;
    return true;
  }
  // The first free slot: a hole left by Remove, else the next one never used.
  const size_t slot = size_t(FindFreeSlot());
  const bool hole = slot < FSlots.size();
  try {
    if (slot == FSlots.size()) FSlots.emplace_back();
    FSlots[slot].Key = key;
    if (FIndex) FIndex->emplace(key, int(slot));
  } catch (...) {
    if (slot < FSlots.size()) FSlots[slot].Key.clear();
    DisposeValue(cell);
    throw;
  }
  if (hole) --FHoles;
  FSlots[slot].Cell = cell;
  if (!FIndex && UsedCount() > kIndexFrom) {
    FIndex = std::make_unique<std::unordered_map<AnsiString, int>>();
    for (size_t i = 0; i < FSlots.size(); ++i)
      if (FSlots[i].Cell) FIndex->emplace(FSlots[i].Key, int(i));
  }
  return true;
}

int TArrayTable::IndexOf(const AnsiString& key) const {
  if (key.empty()) return -1;
  if (FIndex) {
    const auto it = FIndex->find(key);
    return it == FIndex->end() ? -1 : it->second;
  }
  for (size_t i = 0; i < FSlots.size(); ++i)
    if (FSlots[i].Cell && FSlots[i].Key == key) return int(i);
  return -1;
}

bool TArrayTable::TryGetCell(const AnsiString& key, void*& cell) const {
  const int i = IndexOf(key);
  cell = i >= 0 ? FSlots[size_t(i)].Cell : nullptr;
  return i >= 0;
}

bool TArrayTable::Remove(const AnsiString& key) {
  const int i = IndexOf(key);
  if (i < 0) return false;
  if (FIndex) FIndex->erase(key);
  TSlot& s = FSlots[size_t(i)];
  void* cell = s.Cell;
  s.Cell = nullptr;
  s.Key.clear();
  ++FHoles;
  DisposeValue(cell);
  return true;
}

bool TArrayTable::NextEntry(int& position, AnsiString& key, void*& cell) const {
  for (size_t i = position < 0 ? 0 : size_t(position); i < FSlots.size(); ++i) {
    if (FSlots[i].Cell) {
      key = FSlots[i].Key;
      cell = FSlots[i].Cell;
      position = int(i) + 1;
      return true;
    }
  }
  key.clear();
  cell = nullptr;
  return false;
}

void TArrayTable::ForEach(TForEachProc callback, void* userData) const {
  for (const TSlot& s : FSlots)
    if (s.Cell && !callback(s.Key, s.Cell, userData)) return;
}

int TArrayTable::SlotCount() const {
  const size_t n = FSlots.empty() ? kGrowth : (FSlots.size() + kGrowth - 1) / kGrowth * kGrowth;
  return int(n);
}

int TArrayTable::UsedCount() const {
  int n = 0;
  for (const TSlot& s : FSlots) n += s.Cell != nullptr;
  return n;
}

// --- TIntTable

TIntTable::~TIntTable() { DisposeAll(); }

void TIntTable::DisposeValue(void* cell) { delete static_cast<int32_t*>(cell); }

bool TIntTable::SetInt(const AnsiString& key, int32_t value) {
  auto* cell = new (std::nothrow) int32_t(value);
  if (!cell) return false;
  return Set(key, cell);
}

bool TIntTable::TryGetInt(const AnsiString& key, int32_t& value) const {
  void* cell;
  if (!TryGetCell(key, cell)) return false;
  value = *static_cast<int32_t*>(cell);
  return true;
}

// --- TWideStrTable

TWideStrTable::~TWideStrTable() { DisposeAll(); }

void TWideStrTable::DisposeValue(void* cell) { delete static_cast<WideString*>(cell); }

bool TWideStrTable::SetStr(const AnsiString& key, const WideString& value) {
  return Set(key, new WideString(value));
}

bool TWideStrTable::SetStr(const AnsiString& key, WideString&& value) {
  return Set(key, new WideString(std::move(value)));
}

bool TWideStrTable::TryGetStr(const AnsiString& key, WideString& value) const {
  value.clear();
  void* cell;
  if (!TryGetCell(key, cell)) return false;
  value = *static_cast<WideString*>(cell);
  return true;
}

// --- TObjectTable
// Each cell holds one object reference.

TObjectTable::~TObjectTable() { DisposeAll(); }

void TObjectTable::DisposeValue(void* cell) {
  auto* ref = static_cast<TObject**>(cell);
  if (OwnsObjects) delete *ref;
  delete ref;
}

bool TObjectTable::SetObject(const AnsiString& key, TObject* object) {
  return Set(key, new TObject*(object));
}

bool TObjectTable::TryGetObject(const AnsiString& key, TObject*& object) const {
  void* cell;
  object = nullptr;
  if (!TryGetCell(key, cell)) return false;
  object = *static_cast<TObject**>(cell);
  return true;
}

bool TObjectTable::NextObject(int& position, AnsiString& key, TObject*& object) const {
  void* cell;
  object = nullptr;
  if (!NextEntry(position, key, cell)) return false;
  object = *static_cast<TObject**>(cell);
  return true;
}
