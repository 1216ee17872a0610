#include "common/Tables.h"

#include <gtest/gtest.h>

namespace {

TEST(Tables, GrowsBySixteenSlots) {
  TIntTable t;
  EXPECT_EQ(t.SlotCount(), 16);
  for (int i = 0; i < 16; ++i) ASSERT_TRUE(t.SetInt("k" + std::to_string(i), i));
  EXPECT_EQ(t.SlotCount(), 16);
  ASSERT_TRUE(t.SetInt("k16", 16));
  EXPECT_EQ(t.SlotCount(), 32);
  int32_t v = 0;
  EXPECT_TRUE(t.TryGetInt("k16", v));
  EXPECT_EQ(v, 16);
}

TEST(Tables, FirstValueStaysUnlessOverwriteIsOn) {
  TIntTable t;
  int32_t v = 0;
  EXPECT_TRUE(t.SetInt("X", 1));
  EXPECT_FALSE(t.SetInt("X", 2));
  EXPECT_TRUE(t.TryGetInt("X", v));
  EXPECT_EQ(v, 1);
  t.Overwrite = true;
  EXPECT_TRUE(t.SetInt("X", 2));
  EXPECT_TRUE(t.TryGetInt("X", v));
  EXPECT_EQ(v, 2);
  EXPECT_EQ(t.UsedCount(), 1);
}

TEST(Tables, KeysAreCaseSensitiveAndNeverEmpty) {
  TIntTable t;
  t.SetInt("x", 1);
  t.SetInt("X", 2);
  EXPECT_EQ(t.IndexOf("x"), 0);
  EXPECT_EQ(t.IndexOf("X"), 1);
  EXPECT_EQ(t.IndexOf(""), -1);
  try {
    t.SetInt("", 3);
    FAIL();
  } catch (const ETablesError& e) {
    EXPECT_EQ(e.Message(), "Invalid Key.");
    EXPECT_STREQ(e.ClassName(), "ETablesError");
  }
  EXPECT_EQ(t.UsedCount(), 2);
}

TEST(Tables, RemovedSlotIsReusedFirst) {
  TIntTable t;
  t.SetInt("a", 1);
  t.SetInt("b", 2);
  t.SetInt("c", 3);
  EXPECT_TRUE(t.Remove("a"));
  EXPECT_FALSE(t.Remove("a"));
  t.SetInt("d", 4);
  EXPECT_EQ(t.IndexOf("d"), 0);
  // NextEntry walks slot order, not insertion order.
  int pos = 0;
  AnsiString key;
  void* cell;
  std::string order;
  while (t.NextEntry(pos, key, cell)) order += key;
  EXPECT_EQ(order, "dbc");
  EXPECT_FALSE(t.NextEntry(pos, key, cell));
  EXPECT_EQ(key, "");
  EXPECT_EQ(cell, nullptr);
}

TEST(Tables, ForEachStopsWhenTheCallbackSaysSo) {
  TIntTable t;
  for (const char* k : {"a", "b", "c"}) t.SetInt(k, 0);
  std::string seen;
  t.ForEach(
      [](const AnsiString& key, void*, void* user) {
        *static_cast<std::string*>(user) += key;
        return key != "b";
      },
      &seen);
  EXPECT_EQ(seen, "ab");
}

TEST(Tables, WideStringsAreCopiedAndLookupEmptiesTheResult) {
  TWideStrTable t;
  WideString v = u"値";
  t.SetStr("href", v);
  v = u"changed";
  WideString out = u"old";
  EXPECT_TRUE(t.TryGetStr("href", out));
  EXPECT_EQ(out, u"値");
  EXPECT_FALSE(t.TryGetStr("name", out));
  EXPECT_EQ(out, u"");
}

struct Counted : TObject {
  explicit Counted(int* alive) : Alive(alive) { ++*Alive; }
  ~Counted() override { --*Alive; }
  int* Alive;
};

TEST(Tables, ObjectTableDestroysObjectsOnlyWhenItOwnsThem) {
  int alive = 0;
  {
    TObjectTable owning;
    owning.OwnsObjects = true;
    owning.SetObject("a", new Counted(&alive));
    owning.SetObject("b", new Counted(&alive));
    EXPECT_EQ(alive, 2);
    owning.Remove("a");
    EXPECT_EQ(alive, 1);
  }
  EXPECT_EQ(alive, 0);

  Counted kept(&alive);
  {
    TObjectTable borrowing;
    borrowing.SetObject("k", &kept);
    TObject* o = nullptr;
    EXPECT_TRUE(borrowing.TryGetObject("k", o));
    EXPECT_EQ(o, &kept);
    int pos = 0;
    AnsiString key;
    EXPECT_TRUE(borrowing.NextObject(pos, key, o));
    EXPECT_EQ(key, "k");
    EXPECT_EQ(pos, 1);
    borrowing.Lock();
    borrowing.Lock();  // the lock is re-entrant, like the critical section it stands for
    borrowing.Unlock();
    borrowing.Unlock();
  }
  EXPECT_EQ(alive, 1);
}
}  // namespace

namespace {
// Large tables are looked up through a key index; slot order must not change for it.
TEST(Tables, LargeTablesKeepSlotOrderAndHoles) {
  TIntTable t;
  for (int i = 0; i < 100; ++i) t.SetInt("k" + std::to_string(i), i);
  EXPECT_EQ(t.SlotCount(), 112);
  EXPECT_EQ(t.IndexOf("k57"), 57);
  EXPECT_FALSE(t.SetInt("k57", 0));
  EXPECT_TRUE(t.Remove("k10"));
  EXPECT_TRUE(t.Remove("k3"));
  EXPECT_EQ(t.IndexOf("k10"), -1);
  t.SetInt("new1", 1);
  t.SetInt("new2", 2);
  t.SetInt("new3", 3);
  EXPECT_EQ(t.IndexOf("new1"), 3);
  EXPECT_EQ(t.IndexOf("new2"), 10);
  EXPECT_EQ(t.IndexOf("new3"), 100);
  t.Overwrite = true;
  EXPECT_TRUE(t.SetInt("new2", 22));
  int32_t v = 0;
  EXPECT_TRUE(t.TryGetInt("new2", v));
  EXPECT_EQ(v, 22);
  EXPECT_EQ(t.UsedCount(), 101);
}
}  // namespace
