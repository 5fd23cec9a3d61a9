// Cost of AddLogEntry on a worker thread while the main loop runs on its own thread and takes
// every entry (the handler keeps only a count, so the loop keeps up). "backlog" is the number
// of entries the loop had not taken when a repetition's timed part ended.
#include <benchmark/benchmark.h>

#include <atomic>
#include <future>
#include <string>
#include <thread>

#include "platform/log_entry.h"
#include "platform/message_loop.h"

namespace {

class TLoopThread {
 public:
  TLoopThread() {
    std::promise<void> ready;
    FThread = std::thread([this, &ready] {
      bx::TMessageLoop loop;
      loop.SetHandler([this](bx::TLoopMessage& m) -> int64_t {
        if (m.Msg == bx::kWmLogEntry) {
          benchmark::DoNotOptimize(m.Data.data());
          FHandled.fetch_add(1, std::memory_order_relaxed);
        }
        return 0;
      });
      bx::SetMainLoop(&loop);
      ready.set_value();
      loop.Run();
      bx::SetMainLoop(nullptr);
    });
    ready.get_future().wait();
  }
  ~TLoopThread() {
    bx::MainLoop()->Quit(0);
    FThread.join();
  }
  int64_t Handled() const { return FHandled.load(std::memory_order_relaxed); }

 private:
  std::thread FThread;
  // Relaxed: a count read for the report only.
  std::atomic<int64_t> FHandled{0};
};

void BM_AddLogEntryFromWorker(benchmark::State& state) {
  TLoopThread loop;
  const std::string text = "Registered dispatch ID {0B2C4D6E-8F10-4234-9456-789ABCDEF012}";
  int64_t posted = 0;
  for (auto _ : state) {
    bx::AddLogEntry(bx::TLogLevel::Info, text);
    ++posted;
  }
  state.counters["backlog"] = static_cast<double>(posted - loop.Handled());
  state.SetItemsProcessed(posted);
}

BENCHMARK(BM_AddLogEntryFromWorker)
    ->Repetitions(9)
    ->ReportAggregatesOnly(true)
    ->Unit(benchmark::kNanosecond);

}  // namespace

BENCHMARK_MAIN();
