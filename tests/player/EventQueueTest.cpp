#include "player/EventQueue.h"

#include <gtest/gtest.h>

namespace {

TEST(EventQueue, EventsComeOutInOrderOnePerPop) {
  TEventQueue q;
  for (int i = 1; i <= 3; ++i) q.Push(TInputEvent{evAdvance, i});
  TInputEvent e;
  for (int i = 1; i <= 3; ++i) {
    q.Pop(e);
    EXPECT_EQ(e.EventType, evAdvance);
    EXPECT_EQ(e.EventData, i);
  }
  e.EventData = 42;
  q.Pop(e);  // empty: only the type is set
  EXPECT_EQ(e.EventType, 0);
  EXPECT_EQ(e.EventData, 42);
  q.Push(TInputEvent{evShowScript, 1});  // the tail was emptied with the last node
  q.Pop(e);
  EXPECT_EQ(e.EventType, evShowScript);
}

TEST(EventQueue, DumpListsAndDrainsTheQueue) {
  TEventQueue q;
  EXPECT_EQ(DumpEventQueue(q), "\r\n4");
  q.Push(TInputEvent{evAdvance, 1});
  q.Push(TInputEvent{evDebugMessage, 0});
  EXPECT_EQ(DumpEventQueue(q), "Type 1, Data 1\r\nType 5, Data 0\r\n\r\n4");
  EXPECT_TRUE(q.Empty());
  for (int i = 0; i < 100; ++i) q.Push(TInputEvent{evAdvance, i});  // freed by the destructor
}
}  // namespace
