// Throughput of the message queue: 1 or 2 producer threads add 300-byte records while one
// consumer thread takes them the way the dispatch thread does (take until empty, reset the
// event, look again, wait). Measured against a mutex-guarded std::deque<std::vector<char>>
// driven the same way with the same event, in the same program.
#include <benchmark/benchmark.h>

#include <chrono>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "core/message_queue.h"
#include "platform/manual_reset_event.h"

namespace {

using namespace std::chrono_literals;

constexpr int kPerProducer = 20000;

bx::TDispatchMessagePtr Record300() {
  bx::TDispatchMessageFields f;
  f.MsgType = 0;
  f.DispatchID = "{0B2C4D6E-8F10-4234-9456-789ABCDEF012}";
  f.AppName = "bench";
  const std::string text(300 - bx::kDispatchMessageMinSize, 'x');
  f.MsgText = text;
  bx::TDispatchMessagePtr m = bx::BuildDispatchMessage(f);
  if (bx::DispatchMessageSize(*m) != 300) std::abort();
  return m;
}

// The baseline: one lock around a deque of byte vectors.
class TDequeQueue {
 public:
  explicit TDequeQueue(bx::TManualResetEvent& event) : FEvent(event) {}
  void AddMessage(const bx::TDispatchMessage& message) {
    const char* bytes = reinterpret_cast<const char*>(&message);
    std::vector<char> copy(bytes, bytes + bx::DispatchMessageSize(message));
    {
      std::lock_guard lock(FMutex);
      FItems.push_back(std::move(copy));
    }
    FEvent.Set();
  }
  bool TakeHead(std::vector<char>& out) {
    std::lock_guard lock(FMutex);
    if (FItems.empty()) return false;
    out = std::move(FItems.front());
    FItems.pop_front();
    return true;
  }
  bool IsEmpty() {
    std::lock_guard lock(FMutex);
    return FItems.empty();
  }

 private:
  bx::TManualResetEvent& FEvent;
  std::mutex FMutex;
  std::deque<std::vector<char>> FItems;
};

// wait = false: the consumer only polls (yielding when empty), which measures the structure
// itself; wait = true: it sleeps on the event when empty, as the dispatch thread does, which
// adds the cost of waking it.
template <typename TTake, typename TEmpty>
void Consume(bx::TManualResetEvent& event, int total, bool wait, TTake take, TEmpty empty) {
  int taken = 0;
  while (taken < total) {
    if (take()) {
      ++taken;
      continue;
    }
    if (!wait) {
      std::this_thread::yield();
      continue;
    }
    event.Reset();
    if (empty()) event.WaitFor(1000ms);
  }
}

template <typename TQueue, typename TConsume>
void RunRound(TQueue& queue, int producers, const bx::TDispatchMessage& record, TConsume consume) {
  std::thread consumer(consume);
  std::vector<std::thread> threads;
  for (int p = 0; p < producers; ++p) {
    threads.emplace_back([&] {
      for (int i = 0; i < kPerProducer; ++i) queue.AddMessage(record);
    });
  }
  for (auto& t : threads) t.join();
  consumer.join();
}

void BM_BxMessageQueue(benchmark::State& state) {
  const int producers = static_cast<int>(state.range(0));
  const int total = producers * kPerProducer;
  const bool wait = state.range(1) != 0;
  bx::TDispatchMessagePtr record = Record300();
  bx::TManualResetEvent event;
  bx::TBxMessageQueue queue(event);
  for (auto _ : state) {
    RunRound(queue, producers, *record, [&] {
      Consume(
          event, total, wait,
          [&] {
            bx::TDispatchMessagePtr m = queue.TakeHead();
            if (!m) return false;
            benchmark::DoNotOptimize(m->MsgType);
            queue.RecycleMessage(std::move(m));  // as the dispatch thread does
            return true;
          },
          [&] { return queue.IsEmpty(); });
    });
  }
  state.SetItemsProcessed(state.iterations() * total);
}

void BM_MutexDeque(benchmark::State& state) {
  const int producers = static_cast<int>(state.range(0));
  const int total = producers * kPerProducer;
  const bool wait = state.range(1) != 0;
  bx::TDispatchMessagePtr record = Record300();
  bx::TManualResetEvent event;
  TDequeQueue queue(event);
  for (auto _ : state) {
    RunRound(queue, producers, *record, [&] {
      std::vector<char> item;
      Consume(
          event, total, wait,
          [&] {
            if (!queue.TakeHead(item)) return false;
            benchmark::DoNotOptimize(item.data());
            item = std::vector<char>();  // freed per message, as the queue frees its copy
            return true;
          },
          [&] { return queue.IsEmpty(); });
    });
  }
  state.SetItemsProcessed(state.iterations() * total);
}

// Arguments: producers, consumer waits on the event (0/1).
BENCHMARK(BM_BxMessageQueue)
    ->ArgsProduct({{1, 2}, {0, 1}})
    ->ArgNames({"producers", "wait"})
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MutexDeque)
    ->ArgsProduct({{1, 2}, {0, 1}})
    ->ArgNames({"producers", "wait"})
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);

}  // namespace

namespace {
void BM_BxSingle(benchmark::State& state) {
  bx::TDispatchMessagePtr record = Record300();
  bx::TManualResetEvent event;
  bx::TBxMessageQueue queue(event);
  for (auto _ : state) {
    for (int i = 0; i < 32; ++i) queue.AddMessage(*record);
    for (int i = 0; i < 32; ++i) benchmark::DoNotOptimize(queue.TakeHead());
  }
  state.SetItemsProcessed(state.iterations() * 32);
}
void BM_DequeSingle(benchmark::State& state) {
  bx::TDispatchMessagePtr record = Record300();
  bx::TManualResetEvent event;
  TDequeQueue queue(event);
  std::vector<char> item;
  for (auto _ : state) {
    for (int i = 0; i < 32; ++i) queue.AddMessage(*record);
    for (int i = 0; i < 32; ++i) {
      queue.TakeHead(item);
      item = std::vector<char>();
    }
  }
  state.SetItemsProcessed(state.iterations() * 32);
}
BENCHMARK(BM_BxSingle);
BENCHMARK(BM_DequeSingle);
}  // namespace
BENCHMARK_MAIN();
