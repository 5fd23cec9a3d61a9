// Forwarding throughput of the remote destinations, each beside a plain client sending the same
// records straight, in the same run:
// - TCP: TBxTcpDestination (relabel, collect, one write, wait for the reply) into the real
//   TCP receiver of an in-process dispatch core, against TBxTCPClient writing the same 12-byte
//   header and record and reading the reply;
// - UDP: TBxUdpDestination (relabel, Base64, datagram) against TBxUDPClient sending an already
//   encoded datagram, both to a loopback socket that a thread drains.
// - Syslog over TCP: TBxSyslogDestination (RFC 5424 text, octet-counted frame, one write; no
//   reply, as syslog has none) into a loopback socket that a thread drains, beside the TCP
//   destination above in the same run; BM_SyslogFormat is the text alone.
// The record is 346 bytes (a 100-byte text). Items per second = records forwarded per second.
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <atomic>
#include <filesystem>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "core/dispatch_core.h"
#include "core/message_queue.h"
#include "destinations/remote_record_text.h"
#include "destinations/syslog_destination.h"
#include "destinations/syslog_message.h"
#include "destinations/tcp_destination.h"
#include "destinations/udp_destination.h"
#include "net/tcp_client.h"
#include "net/udp_client.h"
#include "receivers/tcp_receiver.h"

namespace {

// A private BREVIX_HOME: the far dispatcher's registry file goes there.
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

bx::TDispatchMessagePtr Record() {
  bx::TDispatchMessageFields f;
  f.MsgType = 0;
  f.DispatchID = "{ORIGINAL}";
  f.AppName = "Bench";
  f.MsgText = std::string(100, 't');
  return bx::BuildDispatchMessage(f);
}

// The far side: a dispatch core with its TCP receiver on a loopback port.
struct TFarDispatcher {
  TFarDispatcher() {
    bx::StartDispatchCore();
    Receiver = std::make_unique<bx::TBxTcpReceiver>(uint16_t{0});
    Receiver->SetActive(true);
    for (const auto& b : Receiver->BoundBindings()) {
      if (b.IPVersion == bx::TIPVersion::V4) Port = b.Port;
    }
  }
  ~TFarDispatcher() {
    Receiver.reset();
    bx::ShutdownDispatchCore();
  }
  void Drain() {
    while (bx::MessageQueue()->TakeHead()) {
    }
  }
  TBenchHome Home;
  std::unique_ptr<bx::TBxTcpReceiver> Receiver;
  uint16_t Port = 0;
};

void BM_TcpDestinationForward(benchmark::State& state) {
  TFarDispatcher far;
  bx::TBxTcpDestination d;
  d.SetName("Tcp");
  d.SetOptions("Host=127.0.0.1;Port=" + std::to_string(far.Port));
  bx::TDispatchMessagePtr m = Record();
  int64_t n = 0;
  for (auto _ : state) {
    d.Dispatch(*m);
    if (++n % 1024 == 0) far.Drain();
  }
  state.SetItemsProcessed(n);
  far.Drain();
}
BENCHMARK(BM_TcpDestinationForward)->UseRealTime();

void BM_TcpPlainClient(benchmark::State& state) {
  TFarDispatcher far;
  bx::TBxTCPClient client("127.0.0.1", far.Port);
  client.Connect();
  bx::TDispatchMessagePtr m = Record();
  const int32_t size = bx::DispatchMessageSize(*m);
  int64_t n = 0;
  for (auto _ : state) {
    client.WriteBufferOpen();
    client.WriteInt32(bx::kUTF8RecordFormat);
    client.WriteInt32(m->MsgType);
    client.WriteInt32(size);
    client.WriteBytes(m.get(), static_cast<size_t>(size));
    client.WriteBufferClose();
    benchmark::DoNotOptimize(client.ReadInt32());
    if (++n % 1024 == 0) far.Drain();
  }
  state.SetItemsProcessed(n);
  far.Drain();
}
BENCHMARK(BM_TcpPlainClient)->UseRealTime();

// A loopback datagram socket drained by a thread, counting what arrives.
struct TUdpSink {
  TUdpSink() : Socket(bx::TUdpSocket::Bind("127.0.0.1", 0, bx::TIPVersion::V4)) {
    Socket.SetReceiveBufferSize(4 << 20);
    Port = Socket.Local().Port;
    Thread = std::thread([this] {
      std::vector<uint8_t> buffer(70000);
      bx::TSocketAddress from;
      while (!Stop.load(std::memory_order_acquire)) {
        if (!Socket.WaitReadable(std::chrono::milliseconds(50))) continue;
        Socket.ReceiveFrom(buffer, from);
        // Relaxed: a statistic read after the thread was joined.
        Received.fetch_add(1, std::memory_order_relaxed);
      }
    });
  }
  ~TUdpSink() {
    Stop.store(true, std::memory_order_release);
    Thread.join();
  }
  bx::TUdpSocket Socket;
  uint16_t Port = 0;
  std::atomic<bool> Stop{false};
  std::atomic<int64_t> Received{0};
  std::thread Thread;
};

void BM_UdpDestinationForward(benchmark::State& state) {
  TUdpSink sink;
  int64_t n = 0;
  {
    bx::TBxUdpDestination d;
    d.SetName("Udp");
    d.SetOptions("Host=127.0.0.1;Port=" + std::to_string(sink.Port));
    bx::TDispatchMessagePtr m = Record();
    for (auto _ : state) {
      d.Dispatch(*m);
      ++n;
    }
  }
  state.SetItemsProcessed(n);
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  state.counters["received"] = static_cast<double>(sink.Received.load(std::memory_order_relaxed));
}
BENCHMARK(BM_UdpDestinationForward)->UseRealTime();

void BM_UdpPlainClient(benchmark::State& state) {
  TUdpSink sink;
  bx::TBxUDPClient client("127.0.0.1", sink.Port);
  bx::TDispatchMessagePtr m = Record();
  const auto lines = bx::RecordTextLines(*m);
  const std::string datagram = (*lines)[0] + "\r\n" + (*lines)[1] + "\r\n" + (*lines)[2] + "\r\n";
  int64_t n = 0;
  for (auto _ : state) {
    client.Send(datagram);
    ++n;
  }
  state.SetItemsProcessed(n);
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  state.counters["received"] = static_cast<double>(sink.Received.load(std::memory_order_relaxed));
}
BENCHMARK(BM_UdpPlainClient)->UseRealTime();

// A loopback stream socket whose one connection a thread reads and discards.
struct TTcpSink {
  TTcpSink() : Listener(bx::TListenSocket::BindTcp("127.0.0.1", 0, bx::TIPVersion::V4)) {
    Listener.Listen(4);
    Port = Listener.Local().Port;
    Thread = std::thread([this] {
      std::optional<bx::TStreamSocket> s = Listener.Accept();
      if (!s) return;
      std::vector<char> buffer(1 << 16);
      while (size_t n = s->Read(buffer.data(), buffer.size())) {
        // Relaxed: a statistic read after the thread was joined.
        Bytes.fetch_add(static_cast<int64_t>(n), std::memory_order_relaxed);
      }
    });
  }
  ~TTcpSink() { Thread.join(); }
  bx::TListenSocket Listener;
  uint16_t Port = 0;
  std::atomic<int64_t> Bytes{0};
  std::thread Thread;
};

void BM_SyslogTcpForward(benchmark::State& state) {
  TTcpSink sink;
  int64_t n = 0;
  {
    bx::TBxSyslogDestination d;
    d.SetName("Syslog");
    d.SetOptions("Host=127.0.0.1;Protocol=tcp;Port=" + std::to_string(sink.Port));
    bx::TDispatchMessagePtr m = Record();
    for (auto _ : state) {
      d.Dispatch(*m);
      ++n;
    }
  }  // closes the connection: the sink's thread ends
  state.SetItemsProcessed(n);
}
BENCHMARK(BM_SyslogTcpForward)->UseRealTime();

void BM_SyslogFormat(benchmark::State& state) {
  bx::TDispatchMessagePtr m = Record();
  for (auto _ : state) benchmark::DoNotOptimize(bx::BuildSyslogMessage(*m, 1));
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_SyslogFormat);

}  // namespace

BENCHMARK_MAIN();
