// Throughput of the dispatch path: one producer adds 300-byte records with AddMessage; the
// dispatch thread takes them one per wake-up, reads the settings snapshot, finds the dispatch
// ID among 1,000 registrations and delivers to a destination that only counts. Beside it, the
// raw queue: the same producer and a consumer thread that only takes records off the queue
// (take until empty, reset the event, look again, wait), so the cost of the dispatch step can
// be read as the ratio of the two figures.
#include <benchmark/benchmark.h>

#include <stdlib.h>

#include <atomic>
#include <filesystem>
#include <string>
#include <thread>

#include "config/paths.h"
#include "core/dispatch_id_list.h"
#include "core/dispatch_thread.h"
#include "core/known_destinations.h"
#include "core/message_queue.h"
#include "platform/message_loop.h"

namespace {

using namespace std::chrono_literals;

constexpr int kBatch = 20000;
constexpr int kRegistrations = 1000;

std::atomic<int64_t> GDelivered{0};

class TCountingDestination : public bx::TBxDestination {
 public:
  static std::string_view ClassKindName() { return "Count"; }
  std::string_view KindName() const override { return ClassKindName(); }
  // Relaxed: a counter read by the producer that waits for it; it publishes nothing else.
  void Dispatch(bx::TDispatchMessage&) override {
    GDelivered.fetch_add(1, std::memory_order_relaxed);
  }
};

std::string IDOf(int i) {
  char id[64];
  snprintf(id, sizeof id, "{%08X-8F10-4234-9456-789ABCDEF012}", i * 7919);
  return id;
}

bx::TDispatchMessagePtr Record300(const std::string& id) {
  bx::TDispatchMessageFields f;
  f.MsgType = 2;
  f.DispatchID = id;
  f.AppName = "bench";
  f.Category = "General";
  const std::string text(300 - bx::kDispatchMessageMinSize, 'x');
  f.MsgText = text;
  return bx::BuildDispatchMessage(f);
}

// A temporary BREVIX_HOME holding a registry file with kRegistrations sections.
class TBenchHome {
 public:
  TBenchHome() {
    char pattern[] = "/tmp/bx-dispatch-bench-XXXXXX";
    FPath = mkdtemp(pattern);
    setenv("BREVIX_HOME", FPath.c_str(), 1);
  }
  ~TBenchHome() {
    unsetenv("BREVIX_HOME");
    std::filesystem::remove_all(FPath);
  }

 private:
  std::string FPath;
};

void BM_DispatchThroughRegistry(benchmark::State& state) {
  TBenchHome home;
  bx::TMessageLoop loop;  // the dispatch thread runs only while a main loop exists
  bx::SetMainLoop(&loop);
  bx::TBxKnownDestinationsList kinds;
  kinds.Add(bx::DestinationClassOf<TCountingDestination>());
  bx::PublishKnownDestinations(&kinds);
  {
    bx::TManualResetEvent event;
    bx::TBxMessageQueue queue(event);
    bx::TBxDispatchIDList registry;
    {
      std::string file;
      for (int i = 0; i < kRegistrations; ++i) {
        file += "[" + IDOf(i) + "]\r\nDestinationString=Count\r\nConnectionMethod=0\r\n";
      }
      std::filesystem::create_directories(bx::GetUserDataFolder());
      FILE* f = fopen(bx::TBxDispatchIDList::FileName().c_str(), "wb");
      fwrite(file.data(), 1, file.size(), f);
      fclose(f);
      registry.LoadDispatchIDs();
    }
    bx::TBxDispatchThread thread(queue, event, registry);
    bx::SetThreadPriority(thread.PriorityHandle(), bx::TThreadPriority::Normal);
    std::vector<bx::TDispatchMessagePtr> records;
    for (int i = 0; i < 64; ++i) records.push_back(Record300(IDOf(i * 13 % kRegistrations)));

    for (auto _ : state) {
      const int64_t target = GDelivered.load(std::memory_order_relaxed) + kBatch;
      for (int i = 0; i < kBatch; ++i) queue.AddMessage(*records[static_cast<size_t>(i) % 64]);
      while (GDelivered.load(std::memory_order_relaxed) < target) std::this_thread::yield();
    }
    state.SetItemsProcessed(state.iterations() * kBatch);
    loop.ProcessPending();  // nothing should have been logged; drop it either way
  }
  bx::PublishKnownDestinations(nullptr);
  bx::SetMainLoop(nullptr);
}
BENCHMARK(BM_DispatchThroughRegistry)->UseRealTime()->Unit(benchmark::kMillisecond);

void BM_RawQueue(benchmark::State& state) {
  bx::TManualResetEvent event;
  bx::TBxMessageQueue queue(event);
  std::atomic<int64_t> taken{0};
  std::atomic<bool> stop{false};
  std::thread consumer([&] {
    while (!stop.load(std::memory_order_acquire)) {
      if (bx::TDispatchMessagePtr m = queue.TakeHead()) {
        taken.fetch_add(1, std::memory_order_relaxed);
        queue.RecycleMessage(std::move(m));  // as the dispatch thread does
        continue;
      }
      event.Reset();
      if (!queue.IsEmpty()) continue;
      event.WaitFor(1000ms);
    }
  });
  const bx::TDispatchMessagePtr record = Record300(IDOf(1));
  for (auto _ : state) {
    const int64_t target = taken.load(std::memory_order_relaxed) + kBatch;
    for (int i = 0; i < kBatch; ++i) queue.AddMessage(*record);
    while (taken.load(std::memory_order_relaxed) < target) std::this_thread::yield();
  }
  state.SetItemsProcessed(state.iterations() * kBatch);
  stop.store(true, std::memory_order_release);
  event.Set();
  consumer.join();
}
BENCHMARK(BM_RawQueue)->UseRealTime()->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
