#include "platform/manual_reset_event.h"

#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

namespace bx {
namespace {

using namespace std::chrono_literals;

TEST(ManualResetEventThreadsTest, StartsUnsetTimesOutAndStaysSetUntilReset) {
  TManualResetEvent event;
  EXPECT_FALSE(event.IsSet());
  EXPECT_FALSE(event.WaitFor(20ms));
  EXPECT_FALSE(event.WaitFor(0ms));
  event.Set();
  event.Set();
  EXPECT_TRUE(event.IsSet());
  // Manual reset: every wait passes until somebody resets it.
  EXPECT_TRUE(event.WaitFor(0ms));
  EXPECT_TRUE(event.WaitFor(10s));
  event.Reset();
  EXPECT_FALSE(event.IsSet());
  EXPECT_FALSE(event.WaitFor(5ms));
}

TEST(ManualResetEventThreadsTest, SetFromAnotherThreadWakesEveryWaiter) {
  TManualResetEvent event;
  std::atomic<int> woken{0};
  std::vector<std::thread> waiters;
  for (int i = 0; i < 3; ++i) {
    waiters.emplace_back([&] {
      if (event.WaitFor(30s)) woken.fetch_add(1);
    });
  }
  std::thread setter([&] { event.Set(); });
  setter.join();
  for (auto& t : waiters) t.join();
  EXPECT_EQ(woken.load(), 3);
}

// A producer publishes data and sets the event; the consumer resets, looks and waits, as the
// dispatch thread does. The consumer must never sleep out its full wait while data is there.
TEST(ManualResetEventThreadsTest, ResetThenLookNeverMissesASet) {
  TManualResetEvent event;
  constexpr int kRounds = 2000;
  std::atomic<int> published{0};
  std::atomic<int> lateWakeups{0};
  std::thread producer([&] {
    for (int i = 1; i <= kRounds; ++i) {
      published.store(i, std::memory_order_relaxed);
      event.Set();
      while (published.load(std::memory_order_relaxed) != -i) std::this_thread::yield();
    }
  });
  for (int i = 1; i <= kRounds; ++i) {
    for (;;) {
      event.Reset();
      if (published.load(std::memory_order_relaxed) == i) break;
      if (!event.WaitFor(5s)) lateWakeups.fetch_add(1);
    }
    published.store(-i, std::memory_order_relaxed);
  }
  producer.join();
  EXPECT_EQ(lateWakeups.load(), 0);
}

// Producers that never wait for the consumer, so most of their Sets find the event still set
// and change nothing; the consumer takes what is there, resets, looks again and only then
// waits, as the dispatch thread does. No item may be left waiting for a time-out.
TEST(ManualResetEventThreadsTest, SetsThatFindTheEventSetLoseNoWakeUp) {
  TManualResetEvent event;
  constexpr int kProducers = 2;
  constexpr int kPerProducer = 50000;
  std::atomic<int> published{0};
  std::vector<std::thread> producers;
  for (int p = 0; p < kProducers; ++p) {
    producers.emplace_back([&] {
      for (int i = 0; i < kPerProducer; ++i) {
        published.fetch_add(1, std::memory_order_relaxed);
        event.Set();
        if (i % 64 == 0) std::this_thread::yield();  // leave the consumer idle now and then
      }
    });
  }
  int taken = 0;
  int lateWakeups = 0;
  while (taken < kProducers * kPerProducer) {
    if (event.IsSet() || event.WaitFor(5s)) {
      taken = published.load(std::memory_order_relaxed);
      event.Reset();
      if (published.load(std::memory_order_relaxed) != taken) event.Set();
    } else if (published.load(std::memory_order_relaxed) != taken) {
      ++lateWakeups;  // data was there while the consumer slept out its wait
    }
  }
  for (auto& t : producers) t.join();
  EXPECT_EQ(lateWakeups, 0);
}

// Many producers publish and Set while one consumer resets, looks at what they published and
// waits with a short limit, over and over, as the dispatch thread does. The producers store
// their data relaxed, so only the event's own ordering keeps the consumer from sleeping on it.
// A producer marks each value once its Set has returned. When the consumer's look missed a
// value whose Set had returned before the wait began, that Set must have left the event set
// (see the header), so the wait must return at once; a time-out then is a lost wake-up. Only
// Sets known to have returned count, so no timing, however slow the machine, can make a
// correct event fail this. Runs in the normal build, on the path that ships.
TEST(ManualResetEventThreadsTest, ManyProducersAndShortWaitsLoseNoWakeUp) {
  TManualResetEvent event;
  constexpr int kProducers = 4;
  constexpr uint64_t kPerProducer = 20000;
  struct alignas(64) TSlot {
    std::atomic<uint64_t> Published{0};  // relaxed: the data the event announces
    // Release/acquire: a consumer that reads a value here sees that value's Set as returned.
    std::atomic<uint64_t> Returned{0};
  };
  std::array<TSlot, kProducers> slots;
  std::vector<std::thread> producers;
  for (int p = 0; p < kProducers; ++p) {
    producers.emplace_back([&, p] {
      for (uint64_t v = 1; v <= kPerProducer; ++v) {
        slots[p].Published.store(v, std::memory_order_relaxed);
        event.Set();
        slots[p].Returned.store(v, std::memory_order_release);
        if (v % 16 == 0) std::this_thread::yield();  // let the consumer reset and wait
      }
    });
  }
  int lateWakeups = 0;
  int checkedWaits = 0;  // waits after a returned Set of a value the look missed
  for (;;) {
    event.Reset();
    bool allSeen = true;
    std::array<uint64_t, kProducers> seen{};
    for (int p = 0; p < kProducers; ++p) {
      seen[p] = slots[p].Published.load(std::memory_order_relaxed);
      if (seen[p] < kPerProducer) allSeen = false;
    }
    if (allSeen) break;
    bool mustBeSet = false;
    for (int p = 0; p < kProducers; ++p) {
      if (slots[p].Returned.load(std::memory_order_acquire) > seen[p]) mustBeSet = true;
    }
    if (mustBeSet) ++checkedWaits;
    if (!event.WaitFor(1ms) && mustBeSet) ++lateWakeups;
  }
  for (auto& t : producers) t.join();
  EXPECT_EQ(lateWakeups, 0) << "of " << checkedWaits << " waits after a returned Set";
}

}  // namespace
}  // namespace bx
