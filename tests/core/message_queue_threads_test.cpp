#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "core/message_queue.h"

namespace bx {
namespace {

constexpr int kProducers = 4;
constexpr int kPerProducer = 5000;

// MsgType = producer number; MsgText = its sequence number.
TDispatchMessagePtr Numbered(int32_t producer, int seq) {
  TDispatchMessageFields f;
  f.MsgType = producer;
  const std::string text = std::to_string(seq);
  f.MsgText = text;
  return BuildDispatchMessage(f);
}

// The dispatch thread's way of taking: take while there is something, else reset the event,
// look once more and wait.
template <typename TOnMessage>
void Consume(TBxMessageQueue& queue, TManualResetEvent& event, const std::atomic<bool>& done,
             TOnMessage onMessage) {
  for (;;) {
    if (TDispatchMessagePtr m = queue.TakeHead()) {
      onMessage(*m);
      // Given back as the dispatch thread does, so the blocks travel back to the producers
      // and a race on their bytes shows under ThreadSanitizer.
      queue.RecycleMessage(std::move(m));
      continue;
    }
    if (done.load(std::memory_order_acquire) && queue.IsEmpty()) return;
    event.Reset();
    if (queue.IsEmpty()) event.WaitFor(std::chrono::milliseconds(1000));
  }
}

TEST(MessageQueueThreadsTest, ManyProducersOneConsumerLoseNothingAndKeepEachProducersOrder) {
  TManualResetEvent event;
  TBxMessageQueue queue(event);
  std::atomic<bool> producersDone{false};
  std::vector<int> next(kProducers, 0);
  int taken = 0;
  bool inOrder = true;

  std::thread consumer([&] {
    Consume(queue, event, producersDone, [&](const TDispatchMessage& m) {
      const int seq = std::stoi(std::string(MsgText(m)));
      if (m.MsgType < 0 || m.MsgType >= kProducers || seq != next[m.MsgType]) inOrder = false;
      if (m.MsgType >= 0 && m.MsgType < kProducers) next[m.MsgType] = seq + 1;
      ++taken;
    });
  });
  std::vector<std::thread> producers;
  for (int p = 0; p < kProducers; ++p) {
    producers.emplace_back([&queue, p] {
      for (int i = 0; i < kPerProducer; ++i) queue.AddMessage(*Numbered(p, i));
    });
  }
  for (auto& t : producers) t.join();
  producersDone.store(true, std::memory_order_release);
  event.Set();
  consumer.join();

  EXPECT_TRUE(inOrder);  // no message lost, duplicated or overtaken within its producer
  EXPECT_EQ(taken, kProducers * kPerProducer);
  for (int p = 0; p < kProducers; ++p) EXPECT_EQ(next[p], kPerProducer) << p;
  EXPECT_EQ(queue.MessageCount(), kProducers * kPerProducer);
  EXPECT_TRUE(queue.IsEmpty());
}

TEST(MessageQueueThreadsTest, EmptyingWhileProducersAddKeepsUnregistrationsAndLaterMessages) {
  TManualResetEvent event;
  TBxMessageQueue queue(event);
  // Queued before the emptying: log messages and two unregistrations.
  for (int i = 0; i < 100; ++i) queue.AddMessage(*Numbered(1, i));
  queue.AddMessage(*Numbered(92, 0));
  queue.AddMessage(*Numbered(1, 100));
  queue.AddMessage(*Numbered(92, 1));

  std::atomic<bool> go{false};
  std::atomic<bool> stop{false};
  std::thread producer([&] {
    while (!go.load(std::memory_order_acquire)) std::this_thread::yield();
    for (int i = 0; !stop.load(std::memory_order_acquire) || i < 200; ++i) {
      queue.AddMessage(*Numbered(7, i));
    }
  });
  go.store(true, std::memory_order_release);
  queue.EmptyQueue(true);  // on this thread, the only consumer
  stop.store(true, std::memory_order_release);
  producer.join();

  std::vector<int> unregs;
  int last7 = -1;
  bool sevensInOrder = true;
  while (TDispatchMessagePtr m = queue.TakeHead()) {
    const int seq = std::stoi(std::string(MsgText(*m)));
    ASSERT_NE(m->MsgType, 1) << "a log message queued before the emptying survived";
    if (m->MsgType == 92) unregs.push_back(seq);
    if (m->MsgType == 7) {
      if (seq <= last7) sevensInOrder = false;
      last7 = seq;
    }
  }
  EXPECT_EQ(unregs, (std::vector<int>{0, 1}));
  EXPECT_TRUE(sevensInOrder);
  EXPECT_GE(last7, 199);  // the producer's last messages all arrived
}

}  // namespace
}  // namespace bx
