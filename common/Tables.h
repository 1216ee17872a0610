// Small dictionaries from an 8-bit, case-sensitive key to a value, stored in a flat slot
// array and searched linearly: variables, labels, markup attributes, scene names, images.
// Threads: a table does not lock by itself. A table shared with a worker is bracketed
// with Lock/Unlock by every user.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <unordered_map>
#include <vector>

#include "platform/SysUtils.h"

SORVANE_DECLARE_EXCEPTION(, ETablesError, Exception);

class TArrayTable {
 public:
  // Called for every slot in use, in slot order; return false to stop.
  using TForEachProc = bool (*)(const AnsiString& key, void* cell, void* userData);

  TArrayTable();
  virtual ~TArrayTable();
  TArrayTable(const TArrayTable&) = delete;
  TArrayTable& operator=(const TArrayTable&) = delete;

  // What Set does with an existing key: false keeps the first value, true replaces it.
  bool Overwrite = false;

  // Enters a value cell under a key. The table owns the cell whatever the outcome.
  // An empty key raises ETablesError "Invalid Key.".
  bool Set(const AnsiString& key, void* cell);
  int IndexOf(const AnsiString& key) const;
  bool TryGetCell(const AnsiString& key, void*& cell) const;
  bool Remove(const AnsiString& key);
  // From slot `position` on, the next slot in use; `position` moves past it.
  bool NextEntry(int& position, AnsiString& key, void*& cell) const;
  void ForEach(TForEachProc callback, void* userData) const;
  void Lock() { FLock.lock(); }
  void Unlock() { FLock.unlock(); }
  // The same, so that std::lock_guard and std::unique_lock hold a table by scope.
  void lock() { Lock(); }
  void unlock() { Unlock(); }

  int SlotCount() const;
  int UsedCount() const;

 protected:
  virtual void DisposeValue(void* cell) = 0;
  // Disposes every cell; each final class calls it from its destructor, where its own
  // DisposeValue is still reachable.
  void DisposeAll();

 private:
  struct TSlot {
    AnsiString Key;
    void* Cell = nullptr;
  };
  int FindFreeSlot() const;

  std::vector<TSlot> FSlots;
  // Key -> slot, kept once a table holds more than a few entries, so that large tables
  // (a long script's labels) are not searched slot by slot. Slot order is unaffected.
  std::unique_ptr<std::unordered_map<AnsiString, int>> FIndex;
  int FHoles = 0;  // free slots below FSlots.size(), left by Remove
  std::recursive_mutex FLock;
};

class TIntTable final : public TArrayTable {
 public:
  ~TIntTable() override;
  // False when the key exists and Overwrite is off, or when no memory was left.
  bool SetInt(const AnsiString& key, int32_t value);
  bool TryGetInt(const AnsiString& key, int32_t& value) const;

 protected:
  void DisposeValue(void* cell) override;
};

class TWideStrTable final : public TArrayTable {
 public:
  ~TWideStrTable() override;
  bool SetStr(const AnsiString& key, const WideString& value);
  bool SetStr(const AnsiString& key, WideString&& value);
  // `value` is emptied first, then receives the stored string when found.
  bool TryGetStr(const AnsiString& key, WideString& value) const;

 protected:
  void DisposeValue(void* cell) override;
};

class TObjectTable final : public TArrayTable {
 public:
  ~TObjectTable() override;
  // When set, the table destroys the objects of removed entries and, at its end, all.
  bool OwnsObjects = false;

  bool SetObject(const AnsiString& key, TObject* object);
  bool TryGetObject(const AnsiString& key, TObject*& object) const;
  bool NextObject(int& position, AnsiString& key, TObject*& object) const;

 protected:
  void DisposeValue(void* cell) override;
};
