// The receivers under load, each beside its floor in the same run:
// - one unpipelined TCP request (a 300-byte record) through TBxTcpReceiver against a bare
//   ping-pong server thread with the same request and answer sizes (the C program
//   tcp_pingpong_baseline gives the 4-byte floor without C++); median and p99 per round trip;
// - pipelined records per second on one connection and on four;
// - UDP message datagrams sent at a paced 100,000 per second: the rate achieved and the loss;
// - 1,000 idle TCP connections, then normal traffic: resident memory and the round trip.
// A drain thread stands in for the dispatch thread: it waits on the message-available event
// and empties the queue.
#include <benchmark/benchmark.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "core/dispatch_core.h"
#include "messages/base64.h"
#include "messages/dispatch_message.h"
#include "messages/message_format.h"
#include "platform/loop_call.h"
#include "platform/message_loop.h"
#include "platform/socket.h"
#include "receivers/tcp_receiver.h"
#include "receivers/udp_receiver.h"

namespace {

using Clock = std::chrono::steady_clock;

struct TBenchHome {
  TBenchHome() {
    std::string pattern = (std::filesystem::temp_directory_path() / "bxbench-XXXXXX").string();
    if (mkdtemp(pattern.data()) != nullptr) Path = pattern;
    setenv("BREVIX_HOME", Path.c_str(), 1);
  }
  ~TBenchHome() {
    std::error_code ignored;
    std::filesystem::remove_all(Path, ignored);
  }
  std::string Path;
};

// The dispatch core with a thread that takes what the receivers queue and counts it.
struct TCore {
  // `waitOnEvent`: sleep on the message-available event as the dispatch thread does (every
  // message then wakes it); otherwise poll every 50 us and take what piled up (a batching
  // consumer that keeps the wake-up off the request's path).
  explicit TCore(bool waitOnEvent = true) {
    bx::StartDispatchCore();
    Drain = std::thread([this, waitOnEvent] {
      while (!Stop.load(std::memory_order_relaxed)) {
        size_t n = 0;
        // Taken and given back as the dispatch thread does.
        while (bx::TDispatchMessagePtr m = bx::MessageQueue()->TakeHead()) {
          bx::MessageQueue()->RecycleMessage(std::move(m));
          ++n;
        }
        // Relaxed: a statistic read after the senders have finished.
        if (n > 0) Taken.fetch_add(n, std::memory_order_relaxed);
        if (n == 0 && !waitOnEvent) std::this_thread::sleep_for(std::chrono::microseconds(50));
        if (n == 0 && waitOnEvent) {
          // As the dispatch thread does: reset the event once the queue is empty, then wait.
          bx::MessageAvailableEvent()->Reset();
          if (bx::MessageQueue()->IsEmpty()) {
            bx::MessageAvailableEvent()->WaitFor(std::chrono::milliseconds(20));
          }
        }
      }
    });
  }
  ~TCore() {
    Stop.store(true, std::memory_order_relaxed);
    Drain.join();
    bx::ShutdownDispatchCore();
  }
  std::atomic<bool> Stop{false};
  std::atomic<size_t> Taken{0};
  std::thread Drain;
};

std::string BigEndian(int32_t v) {
  const auto u = static_cast<uint32_t>(v);
  return {static_cast<char>(u >> 24), static_cast<char>(u >> 16), static_cast<char>(u >> 8),
          static_cast<char>(u)};
}

// A 300-byte record: 246 bytes of fixed part and terminators, 54 bytes of text.
std::string Record300() {
  bx::TDispatchMessageFields f;
  f.MsgType = 4;
  f.DispatchID = "{BENCH}";
  const std::string text(40, 't');
  const std::string details(14, 'd');
  f.MsgText = text;
  f.Details = details;
  const bx::TDispatchMessagePtr m = bx::BuildDispatchMessage(f);
  return std::string(reinterpret_cast<const char*>(m.get()),
                     static_cast<size_t>(bx::DispatchMessageSize(*m)));
}

std::string RecordRequest() {
  const std::string record = Record300();
  return BigEndian(bx::bxmUTF8MessageFormat) + BigEndian(4) +
         BigEndian(static_cast<int32_t>(record.size())) + record;
}

void ReadFull(bx::TStreamSocket& s, char* p, size_t n) {
  while (n > 0) {
    const size_t got = s.Read(p, n);
    if (got == 0) throw std::runtime_error("closed");
    p += got;
    n -= got;
  }
}

// Runs round trips of `request` (answered by 4 bytes) and reports median and p99.
void RoundTrips(benchmark::State& state, bx::TStreamSocket& client, const std::string& request) {
  std::vector<double> us;
  us.reserve(200000);
  char answer[4];
  for (auto _ : state) {
    const auto t0 = Clock::now();
    client.Write(request.data(), request.size());
    ReadFull(client, answer, 4);
    us.push_back(std::chrono::duration<double, std::micro>(Clock::now() - t0).count());
  }
  std::sort(us.begin(), us.end());
  if (!us.empty()) {
    state.counters["median_us"] = us[us.size() / 2];
    state.counters["p99_us"] = us[std::min(us.size() - 1, us.size() * 99 / 100)];
  }
}

bx::TStreamSocket ConnectTo(uint16_t port) {
  bx::TStreamSocket s = bx::TStreamSocket::ConnectTcp("127.0.0.1", port);
  s.SetNoDelay(true);
  return s;
}

void BM_TcpReceiverRecordRoundTrip(benchmark::State& state) {
  TBenchHome home;
  TCore core(state.range(0) == 1);
  bx::TBxTcpReceiver receiver(uint16_t{0});
  receiver.SetActive(true);
  bx::TStreamSocket client = ConnectTo(receiver.BoundBindings().at(0).Port);
  RoundTrips(state, client, RecordRequest());
  client.Close();
}
// Arg 1: the consumer waits on the event; arg 0: the batching consumer.
BENCHMARK(BM_TcpReceiverRecordRoundTrip)->Arg(1)->Arg(0)->UseRealTime()->Iterations(20000);

// The floor: a bare server thread that reads the same 312 bytes and answers 4.
void BM_BareTcpPingPong312(benchmark::State& state) {
  bx::TListenSocket listener = bx::TListenSocket::BindTcp("127.0.0.1", 0, bx::TIPVersion::V4);
  listener.Listen(1);
  const std::string request = RecordRequest();
  std::thread server([&] {
    auto peer = listener.Accept();
    peer->SetNoDelay(true);
    std::vector<char> buffer(request.size());
    try {
      for (;;) {
        ReadFull(*peer, buffer.data(), buffer.size());
        peer->Write("\0\0\0\1", 4);
      }
    } catch (const std::exception&) {
    }
  });
  bx::TStreamSocket client = ConnectTo(listener.Local().Port);
  RoundTrips(state, client, request);
  client.Close();
  server.join();
}
BENCHMARK(BM_BareTcpPingPong312)->UseRealTime()->Iterations(20000);

// Pipelined: each connection keeps a batch of 64 requests in flight.
void BM_TcpReceiverPipelined(benchmark::State& state) {
  TBenchHome home;
  TCore core;
  bx::TBxTcpReceiver receiver(uint16_t{0});
  receiver.SetActive(true);
  const uint16_t port = receiver.BoundBindings().at(0).Port;
  const int connections = static_cast<int>(state.range(0));
  constexpr int kBatch = 64;
  std::string batch;
  for (int i = 0; i < kBatch; ++i) batch += RecordRequest();
  std::vector<bx::TStreamSocket> clients;
  for (int i = 0; i < connections; ++i) clients.push_back(ConnectTo(port));
  int64_t records = 0;
  for (auto _ : state) {
    std::vector<std::thread> senders;
    for (auto& c : clients) {
      senders.emplace_back([&c, &batch] {
        for (int round = 0; round < 16; ++round) {
          c.Write(batch.data(), batch.size());
          char answers[kBatch * 4];
          ReadFull(c, answers, sizeof answers);
        }
      });
    }
    for (auto& t : senders) t.join();
    records += int64_t{connections} * kBatch * 16;
  }
  state.counters["records_per_s"] =
      benchmark::Counter(static_cast<double>(records), benchmark::Counter::kIsRate);
  for (auto& c : clients) c.Close();
}
BENCHMARK(BM_TcpReceiverPipelined)->Arg(1)->Arg(4)->UseRealTime()->Unit(benchmark::kMillisecond);

// UDP: datagrams paced at 100,000 per second; the main loop runs on its own thread.
void BM_UdpReceiverPaced(benchmark::State& state) {
  TBenchHome home;
  TCore core;
  std::atomic<bx::TMessageLoop*> loopPtr{nullptr};
  std::thread mainThread([&] {
    bx::TMessageLoop loop;
    loop.SetHandler([](bx::TLoopMessage& m) -> int64_t {
      return m.Msg == bx::kWmLoopCall ? bx::RunLoopCall(m) : 0;
    });
    bx::SetMainLoop(&loop);
    loopPtr.store(&loop, std::memory_order_release);
    loop.Run();
    bx::SetMainLoop(nullptr);
  });
  while (loopPtr.load(std::memory_order_acquire) == nullptr) std::this_thread::yield();
  const int64_t count = state.range(0);
  const std::string record = Record300();
  const std::string datagram =
      "2130706433\r\n" + std::to_string(record.size()) + "\r\n" + bx::EncodeBase64(record) + "\r\n";
  double achieved = 0;
  double handled = 0;
  {
    bx::TBxUdpReceiver receiver(uint16_t{0});
    receiver.SetActive(true);
    const bx::TSocketAddress to{"127.0.0.1", receiver.BoundBindings().at(0).Port,
                                bx::TIPVersion::V4};
    bx::TUdpSocket sender = bx::TUdpSocket::Open(bx::TIPVersion::V4);
    for (auto _ : state) {
      const size_t before = core.Taken.load(std::memory_order_relaxed);
      const auto start = Clock::now();
      for (int64_t i = 0; i < count; ++i) {
        const auto due = start + std::chrono::nanoseconds(i * 10000);  // 100,000 per second
        while (Clock::now() < due) {
        }
        sender.SendTo(to, datagram.data(), datagram.size());
      }
      const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
      achieved = static_cast<double>(count) / seconds;
      // Wait until nothing more arrives for 300 ms.
      size_t last = core.Taken.load(std::memory_order_relaxed);
      auto quietSince = Clock::now();
      while (Clock::now() - quietSince < std::chrono::milliseconds(300)) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        const size_t now = core.Taken.load(std::memory_order_relaxed);
        if (now != last) {
          last = now;
          quietSince = Clock::now();
        }
      }
      handled = static_cast<double>(last - before);
    }
    receiver.SetActive(false);
  }
  loopPtr.load()->Quit();
  mainThread.join();
  state.counters["sent_per_s"] = achieved;
  state.counters["handled"] = handled;
  state.counters["loss_pct"] = 100.0 * (1.0 - handled / static_cast<double>(count));
}
BENCHMARK(BM_UdpReceiverPaced)
    ->Arg(100000)
    ->Iterations(1)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);

double RssMiB() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("VmRSS:", 0) == 0) return std::stod(line.substr(6)) / 1024.0;
  }
  return 0;
}

// 1,000 idle connections, then round trips on another one.
void BM_TcpReceiverWith1000IdleConnections(benchmark::State& state) {
  TBenchHome home;
  TCore core;
  bx::TBxTcpReceiver receiver(uint16_t{0});
  receiver.SetActive(true);
  const uint16_t port = receiver.BoundBindings().at(0).Port;
  const double before = RssMiB();
  std::vector<bx::TStreamSocket> idle;
  for (int i = 0; i < 1000; ++i) idle.push_back(ConnectTo(port));
  // Let the server start every connection thread.
  for (int i = 0; i < 2000; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  const double withIdle = RssMiB();
  bx::TStreamSocket client = ConnectTo(port);
  RoundTrips(state, client, RecordRequest());
  state.counters["rss_before_MiB"] = before;
  state.counters["rss_1000_idle_MiB"] = withIdle;
  state.counters["rss_after_traffic_MiB"] = RssMiB();
  state.counters["KiB_per_idle_conn"] = (withIdle - before) * 1024.0 / 1000.0;
  client.Close();
  for (auto& s : idle) s.Close();
}
BENCHMARK(BM_TcpReceiverWith1000IdleConnections)->UseRealTime()->Iterations(20000);

}  // namespace

BENCHMARK_MAIN();
