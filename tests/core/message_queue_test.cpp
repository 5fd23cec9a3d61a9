#include "core/message_queue.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <stdexcept>
#include <string>
#include <vector>

#include "support/log_capture.h"

namespace bx {
namespace {

TDispatchMessagePtr Msg(int32_t type, std::string_view text) {
  TDispatchMessageFields f;
  f.MsgType = type;
  f.MsgText = text;
  f.DispatchID = "{ID}";
  return BuildDispatchMessage(f);
}

// Takes everything, as "type:text".
std::vector<std::string> Drain(TBxMessageQueue& queue) {
  std::vector<std::string> out;
  while (TDispatchMessagePtr m = queue.TakeHead()) {
    out.push_back(std::to_string(m->MsgType) + ":" + std::string(MsgText(*m)));
  }
  return out;
}

void AddAll(TBxMessageQueue& queue, const std::vector<std::pair<int32_t, std::string>>& msgs) {
  for (const auto& [type, text] : msgs) queue.AddMessage(*Msg(type, text));
}

TEST(MessageQueueTest, NewQueueIsEmptyAndTakesOldestFirst) {
  TManualResetEvent event;
  TBxMessageQueue queue(event);
  EXPECT_TRUE(queue.IsEmpty());
  EXPECT_EQ(queue.MessageCount(), 0);
  EXPECT_EQ(queue.TakeHead(), nullptr);
  EXPECT_FALSE(event.IsSet());

  AddAll(queue, {{0, "a"}, {1, "b"}, {2, "c"}});
  EXPECT_FALSE(queue.IsEmpty());
  EXPECT_EQ(queue.MessageCount(), 3);
  EXPECT_TRUE(event.IsSet());
  EXPECT_EQ(Drain(queue), (std::vector<std::string>{"0:a", "1:b", "2:c"}));
  EXPECT_TRUE(queue.IsEmpty());
  // Taking is not adding: the work-load figure stays until reset.
  EXPECT_EQ(queue.MessageCount(), 3);
  queue.ResetMessageCount();
  EXPECT_EQ(queue.MessageCount(), 0);
  // Messages left in the queue are freed by the destructor (checked by the ASan build).
  AddAll(queue, {{5, "left behind"}});
}

TEST(MessageQueueTest, LongRunsThroughRecycledNodesKeepTheirOrder) {
  // Enough messages that released nodes are handed back, reused and, beyond the spare limit,
  // freed; every message still comes out once and in order.
  TManualResetEvent event;
  TBxMessageQueue queue(event);
  for (int round = 0; round < 3; ++round) {
    const int n = round == 1 ? 9000 : 300;
    for (int i = 0; i < n; ++i) queue.AddMessage(*Msg(round, std::to_string(i)));
    for (int i = 0; i < n; ++i) {
      TDispatchMessagePtr m = queue.TakeHead();
      ASSERT_NE(m, nullptr);
      ASSERT_EQ(m->MsgType, round);
      ASSERT_EQ(MsgText(*m), std::to_string(i));
    }
    EXPECT_TRUE(queue.IsEmpty());
    EXPECT_EQ(queue.TakeHead(), nullptr);
  }
}

TEST(MessageQueueTest, RecycledBlocksCarryEveryMessageByteForByte) {
  // Messages of changing sizes (empty, within one block step, across steps, above the size
  // that is recycled) pass through blocks given back by earlier ones: each comes out with
  // exactly its own bytes, never a rest of a longer predecessor.
  TManualResetEvent event;
  TBxMessageQueue queue(event);
  const size_t lengths[] = {0, 1, 40, 300, 255, 700, 5000, 10, 4000, 299};
  std::vector<TDispatchMessagePtr> sent;
  for (int i = 0; i < 2000; ++i) {
    const size_t length = lengths[i % std::size(lengths)];
    std::string text(length, static_cast<char>('a' + i % 26));
    TDispatchMessagePtr m = Msg(i, text);
    queue.AddMessage(*m);
    sent.push_back(std::move(m));
    // Taken a few behind, so that spare nodes with and without blocks mix.
    if (i % 3 != 0) {
      TDispatchMessagePtr taken = queue.TakeHead();
      ASSERT_NE(taken, nullptr);
      const TDispatchMessage& expected = *sent[static_cast<size_t>(taken->MsgType)];
      const auto size = static_cast<size_t>(DispatchMessageSize(expected));
      ASSERT_EQ(DispatchMessageSize(*taken), DispatchMessageSize(expected));
      ASSERT_EQ(std::memcmp(taken.get(), &expected, size), 0) << "message " << taken->MsgType;
      // The consumer may change the message it was given; the next one does not see it.
      std::memset(taken.get(), 0x5A, kDispatchMessageFixedSize);
      queue.RecycleMessage(std::move(taken));
    }
  }
  // A block that is not the latest taken one, and a second give-back, are simply freed
  // (the ASan build checks that nothing leaks or is freed twice).
  TDispatchMessagePtr first = queue.TakeHead();
  TDispatchMessagePtr second = queue.TakeHead();
  ASSERT_NE(first, nullptr);
  ASSERT_NE(second, nullptr);
  queue.RecycleMessage(std::move(first));
  queue.RecycleMessage(std::move(second));
  queue.RecycleMessage(nullptr);
  int left = 0;
  while (TDispatchMessagePtr m = queue.TakeHead()) {
    ASSERT_EQ(MsgText(*m), MsgText(*sent[static_cast<size_t>(m->MsgType)]));
    ++left;
  }
  EXPECT_EQ(left, 2000 - 1333 - 2);
  queue.ReleaseSpareNodes();
  queue.AddMessage(*Msg(1, "after the release"));
  EXPECT_EQ(Drain(queue), (std::vector<std::string>{"1:after the release"}));
}

TEST(MessageQueueTest, DisabledLeavesQueueCounterAndEventUntouched) {
  test::TLogCapture log;
  TManualResetEvent event;
  TBxMessageQueue queue(event);
  queue.Disabled = true;
  AddAll(queue, {{0, "dropped"}, {92, "dropped too"}});
  EXPECT_TRUE(queue.IsEmpty());
  EXPECT_EQ(queue.MessageCount(), 0);
  EXPECT_FALSE(event.IsSet());
  EXPECT_TRUE(log.Entries().empty());

  queue.Disabled = false;
  AddAll(queue, {{0, "kept"}});
  EXPECT_EQ(Drain(queue), (std::vector<std::string>{"0:kept"}));
}

TEST(MessageQueueTest, CopyIsIndependentOfTheCallersBlock) {
  TManualResetEvent event;
  TBxMessageQueue queue(event);
  TDispatchMessagePtr original = Msg(3, "original text");
  queue.AddMessage(*original);
  char* text = reinterpret_cast<char*>(original.get()) + kDispatchMessageFixedSize;
  std::memcpy(text, "CHANGED", 7);
  original->MsgType = 4;
  original.reset();
  EXPECT_EQ(Drain(queue), (std::vector<std::string>{"3:original text"}));
}

TEST(MessageQueueTest, EmptyQueueKeepsUnregistrationsInOrder) {
  test::TLogCapture log;
  TManualResetEvent event;
  TBxMessageQueue queue(event);

  // Empty queue: nothing happens, nothing is logged.
  queue.EmptyQueue(true);
  EXPECT_TRUE(queue.IsEmpty());
  EXPECT_FALSE(event.IsSet());

  AddAll(queue, {{1, "w1"}, {92, "u1"}, {1, "w2"}, {92, "u2"}});
  queue.ResetMessageCount();
  event.Reset();
  queue.EmptyQueue(true);
  EXPECT_EQ(queue.MessageCount(), 2);
  EXPECT_TRUE(event.IsSet());
  EXPECT_EQ(Drain(queue), (std::vector<std::string>{"92:u1", "92:u2"}));

  // Without keeping, everything goes.
  AddAll(queue, {{1, "w1"}, {92, "u1"}});
  queue.EmptyQueue(false);
  EXPECT_TRUE(queue.IsEmpty());
  EXPECT_TRUE(log.Entries().empty());
}

TEST(MessageQueueTest, EmptyQueueWhileDisabledDropsTheUnregistrations) {
  TManualResetEvent event;
  TBxMessageQueue queue(event);
  AddAll(queue, {{1, "w1"}, {92, "u1"}, {92, "u2"}});
  queue.ResetMessageCount();
  event.Reset();
  queue.Disabled = true;
  queue.EmptyQueue(true);
  EXPECT_TRUE(queue.IsEmpty());
  EXPECT_EQ(queue.MessageCount(), 0);
  EXPECT_FALSE(event.IsSet());
}

TEST(MessageQueueTest, MessagesAddedWhileEmptyingSurviveBetweenTheUnregistrations) {
  TManualResetEvent event;
  TBxMessageQueue queue(event);
  AddAll(queue, {{1, "w1"}, {92, "u1"}, {1, "w2"}, {92, "u2"}});
  // A producer that gets in while the queue is being emptied: right after u1 is added again.
  bool added = false;
  queue.SetReAddHookForTest([&] {
    if (added) return;
    added = true;
    queue.AddMessage(*Msg(7, "added meanwhile"));
  });
  queue.EmptyQueue(true);
  EXPECT_EQ(Drain(queue), (std::vector<std::string>{"92:u1", "7:added meanwhile", "92:u2"}));
}

TEST(MessageQueueTest, FailureWhileEmptyingIsLoggedOnceAndTheQueueStaysUsable) {
  test::TLogCapture log;
  TManualResetEvent event;
  TBxMessageQueue queue(event);
  AddAll(queue, {{92, "u1"}, {1, "w1"}, {92, "u2"}});
  queue.SetReAddHookForTest([] { throw std::runtime_error("event lost"); });
  EXPECT_NO_THROW(queue.EmptyQueue(true));
  queue.SetReAddHookForTest(nullptr);
  ASSERT_EQ(log.Lines(),
            (std::vector<std::string>{"Error: Message queue could not be emptied (event lost)"}));
  // Both unregistrations were linked before their re-add failed; the walk went on after the
  // first failure and freed every node it had detached.
  AddAll(queue, {{2, "after"}});
  EXPECT_EQ(Drain(queue), (std::vector<std::string>{"92:u1", "92:u2", "2:after"}));
}

TEST(MessageQueueTest, MemoryLimitRefusesAndCountsOnlyForProducersThatMustNotWait) {
  TManualResetEvent event;
  TBxMessageQueue queue(event);
  const TDispatchMessagePtr m = Msg(1, "0123456789");
  const int64_t each = DispatchMessageSize(*m) + TBxMessageQueue::kMessageOverhead;
  // No limit: nothing is ever full.
  for (int i = 0; i < 3; ++i) EXPECT_TRUE(queue.AddMessageIfRoom(*m));
  EXPECT_EQ(queue.QueuedBytes(), 3 * each);
  EXPECT_FALSE(queue.IsFull());

  queue.SetMemoryLimit(4 * each);
  EXPECT_TRUE(queue.AddMessageIfRoom(*m));  // the fourth reaches the limit
  EXPECT_TRUE(queue.IsFull());
  EXPECT_FALSE(queue.AddMessageIfRoom(*m));
  EXPECT_FALSE(queue.AddMessageIfRoom(*m));
  queue.AddMessage(*m);  // a producer that waits before its next request still links
  EXPECT_EQ(queue.QueuedBytes(), 5 * each);
  EXPECT_EQ(queue.TakeDropCount(), 2);
  EXPECT_EQ(queue.TakeDropCount(), 0);
  EXPECT_FALSE(queue.WaitForRoom(std::chrono::milliseconds(1)));

  // Draining hands the bytes back (at the latest when the queue runs empty).
  EXPECT_EQ(Drain(queue).size(), 5u);
  EXPECT_EQ(queue.QueuedBytes(), 0);
  EXPECT_FALSE(queue.IsFull());
  EXPECT_TRUE(queue.WaitForRoom(std::chrono::milliseconds(0)));
  EXPECT_GE(queue.TakePeakQueuedBytes(), 4 * each);
  EXPECT_EQ(queue.TakePeakQueuedBytes(), 0);

  // Disabled still wins: nothing linked, nothing counted as dropped.
  queue.Disabled = true;
  EXPECT_TRUE(queue.AddMessageIfRoom(*m));
  EXPECT_TRUE(queue.IsEmpty());
  EXPECT_EQ(queue.TakeDropCount(), 0);
}

TEST(MessageQueueTest, EmptyQueueCountsWhatItDiscardsAndSpareNodesCanBeFreed) {
  TManualResetEvent event;
  TBxMessageQueue queue(event);
  AddAll(queue, {{1, "a"}, {92, "u"}, {1, "b"}});
  EXPECT_EQ(queue.EmptyQueue(true), 2);  // the unregistration is kept, not counted
  EXPECT_EQ(Drain(queue), (std::vector<std::string>{"92:u"}));
  EXPECT_EQ(queue.QueuedBytes(), 0);
  // Enough traffic to fill the spare stock, then free it: the queue goes on working.
  for (int i = 0; i < 1000; ++i) queue.AddMessage(*Msg(1, "x"));
  EXPECT_EQ(Drain(queue).size(), 1000u);
  queue.ReleaseSpareNodes();
  AddAll(queue, {{2, "after"}, {92, "u2"}});
  EXPECT_EQ(queue.EmptyQueue(false), 2);
  EXPECT_TRUE(queue.IsEmpty());
  EXPECT_EQ(queue.QueuedBytes(), 0);
  AddAll(queue, {{3, "last"}});
  EXPECT_EQ(Drain(queue), (std::vector<std::string>{"3:last"}));
}

}  // namespace
}  // namespace bx
