#include "net/udp_server.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "platform/loop_call.h"
#include "platform/message_loop.h"

namespace bx {
namespace {

// Plays the main thread: a published main loop that runs loop calls; Pump handles what came.
class TMainLoopFixture {
 public:
  TMainLoopFixture() {
    FLoop.SetHandler(
        [](TLoopMessage& m) -> int64_t { return m.Msg == kWmLoopCall ? RunLoopCall(m) : 0; });
    SetMainLoop(&FLoop);
  }
  ~TMainLoopFixture() { SetMainLoop(nullptr); }
  bool PumpUntil(const std::function<bool()>& done) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!done()) {
      if (std::chrono::steady_clock::now() > end) return false;
      FLoop.ProcessPending();
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
  }
  TMessageLoop FLoop;
};

struct TReceived {
  std::string Data;
  TSocketAddress Peer;
  std::thread::id Thread;
};

TEST(UdpServer, DatagramsReachTheHandlerOnTheMainLoop) {
  TMainLoopFixture main;
  std::vector<TReceived> received;  // touched on the main thread only
  TBxUDPServer server("UdpTest");
  server.AddBinding("127.0.0.1", 0, TIPVersion::V4);
  server.SetBufferSize(65536);
  server.SetOnRead([&](std::string_view data, const TSocketAddress& peer) {
    if (data == "boom") throw std::runtime_error("bad datagram");
    received.push_back({std::string(data), peer, std::this_thread::get_id()});
  });
  server.SetActive(true);
  const uint16_t port = server.BoundBindings().at(0).Port;

  TUdpSocket sender = TUdpSocket::Bind("127.0.0.1", 0, TIPVersion::V4);
  const TSocketAddress to{"127.0.0.1", port, TIPVersion::V4};
  const std::string big(60000, 'b');
  for (const std::string& datagram :
       {std::string("REGDISPATCH\r\nid\r\ndest"), std::string("boom"), big}) {
    sender.SendTo(to, datagram.data(), datagram.size());
  }
  ASSERT_TRUE(main.PumpUntil([&] { return received.size() == 2; }));
  EXPECT_EQ(received[0].Data, "REGDISPATCH\r\nid\r\ndest");
  EXPECT_EQ(received[0].Peer.IP, "127.0.0.1");
  EXPECT_EQ(received[0].Peer.Port, sender.Local().Port);
  EXPECT_EQ(received[0].Thread, std::this_thread::get_id());
  EXPECT_EQ(received[1].Data, big);  // the exception in between did not stop reception

  const auto start = std::chrono::steady_clock::now();
  server.SetActive(false);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
}

TEST(UdpServer, DeactivationDoesNotWaitForABusyMainThread) {
  TMainLoopFixture main;
  bool ran = false;
  TBxUDPServer server;
  server.AddBinding("127.0.0.1", 0, TIPVersion::V4);
  server.SetOnRead([&](std::string_view, const TSocketAddress&) { ran = true; });
  server.SetActive(true);
  TUdpSocket sender = TUdpSocket::Open(TIPVersion::V4);
  sender.SendTo({"127.0.0.1", server.BoundBindings()[0].Port, TIPVersion::V4}, "x", 1);
  // The listener now waits for the main loop, which this thread (the main thread) does not
  // pump: deactivating must give up that wait instead of deadlocking.
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  server.SetActive(false);
  main.FLoop.ProcessPending();
  EXPECT_FALSE(ran);  // the withdrawn call never runs late
}

TEST(UdpServer, WaitingDatagramsShareOneHandOffAndKeepTheirOrder) {
  TMainLoopFixture main;
  int handOffs = 0;  // counted on the main thread only
  main.FLoop.SetHandler([&](TLoopMessage& m) -> int64_t {
    if (m.Msg != kWmLoopCall) return 0;
    ++handOffs;
    return RunLoopCall(m);
  });
  std::vector<std::string> events;  // reads and exception reports, main thread only
  TBxUDPServer server;
  server.AddBinding("127.0.0.1", 0, TIPVersion::V4);
  server.SetOnRead([&](std::string_view data, const TSocketAddress&) {
    EXPECT_TRUE(main.FLoop.IsLoopThread());
    if (data.ends_with("7")) throw std::runtime_error("bad " + std::string(data));
    events.emplace_back(data);
  });
  server.SetOnException([&](const std::string& message, const std::string& className) {
    events.push_back(message + " (" + className + ")");
  });
  server.SetActive(true);
  TUdpSocket sender = TUdpSocket::Open(TIPVersion::V4);
  // More than one batch waits while the main thread does not pump.
  constexpr int kCount = 600;
  std::vector<std::string> expected;
  for (int i = 0; i < kCount; ++i) {
    const std::string datagram = std::to_string(i);
    sender.SendTo({"127.0.0.1", server.BoundBindings()[0].Port, TIPVersion::V4}, datagram.data(),
                  datagram.size());
    expected.push_back(i % 10 == 7 ? "bad " + datagram + " (std::runtime_error)" : datagram);
  }
  ASSERT_TRUE(main.PumpUntil([&] { return events.size() == kCount; }));
  EXPECT_EQ(events, expected);
  EXPECT_LT(handOffs, kCount / 10);
  server.SetActive(false);
}

TEST(UdpServer, ThreadedEventAndPortInUse) {
  std::atomic<int> count{0};
  TBxUDPServer server;
  server.AddBinding("127.0.0.1", 0, TIPVersion::V4);
  server.SetThreadedEvent(true);
  server.SetOnRead([&](std::string_view, const TSocketAddress&) {
    count.fetch_add(1, std::memory_order_relaxed);  // a counter only
  });
  server.SetActive(true);
  const uint16_t port = server.BoundBindings()[0].Port;
  TUdpSocket sender = TUdpSocket::Open(TIPVersion::V4);
  sender.SendTo({"127.0.0.1", port, TIPVersion::V4}, "x", 1);
  for (int i = 0; i < 5000 && count.load(std::memory_order_relaxed) == 0; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  EXPECT_EQ(count.load(std::memory_order_relaxed), 1);

  TBxUDPServer second;
  second.AddBinding("127.0.0.1", port, TIPVersion::V4);
  try {
    second.SetActive(true);
    FAIL() << "bound a port in use";
  } catch (const ESocketError& e) {
    EXPECT_STREQ(e.what(), "Could not bind socket. Address and port are already in use.");
  }
  EXPECT_FALSE(second.Active());

  TBxUDPServer defaults;
  defaults.SetDefaultPort(0);
  defaults.SetActive(true);
  const auto bound = defaults.BoundBindings();
  ASSERT_EQ(bound.size(), IPv6Available() ? 2u : 1u);
  EXPECT_EQ(bound[0].IP, "0.0.0.0");
  EXPECT_NE(bound[0].Port, 0);
}

}  // namespace
}  // namespace bx
