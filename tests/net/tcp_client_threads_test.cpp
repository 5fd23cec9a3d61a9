// TBxTCPClient against scripted loopback servers.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <string>
#include <thread>

#include "net/tcp_client.h"
#include "support/scripted_server.h"
#include "support/tcp_test_client.h"

namespace bx {
namespace {

using test::BigEndian32;
using test::ReadExactly;
using test::ReadUntilClosed;
using test::TScriptedServer;

TEST(TcpClient, WritesBigEndianAndCollectsOneBlock) {
  std::string received;
  std::atomic<bool> done{false};
  TScriptedServer server([&](TStreamSocket& s) {
    received = ReadUntilClosed(s);
    done.store(true, std::memory_order_release);
  });
  TBxTCPClient client("127.0.0.1", server.Port());
  client.Connect();
  EXPECT_TRUE(client.IsConnected());

  client.WriteInt32(0x7F000001);  // unbuffered: straight out
  EXPECT_EQ(client.SocketWritesForTest(), 1u);

  client.WriteBufferOpen();
  client.WriteInt32(0x7F000001);
  client.WriteInt32(0);
  client.WriteInt32(246);
  const std::string record(246, 'r');
  client.WriteBytes(record.data(), record.size());
  EXPECT_EQ(client.BufferedSize(), 258u);
  EXPECT_EQ(client.SocketWritesForTest(), 1u);  // nothing left yet
  client.WriteBufferClose();
  EXPECT_EQ(client.SocketWritesForTest(), 2u);  // the whole request in one write
  EXPECT_FALSE(client.Buffering());
  client.Disconnect();
  EXPECT_FALSE(client.IsConnected());

  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (!done.load(std::memory_order_acquire) && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  ASSERT_TRUE(done.load(std::memory_order_acquire));
  ASSERT_EQ(received.size(), 4u + 258u);
  EXPECT_EQ(received.substr(0, 4), std::string("\x7F\x00\x00\x01", 4));
  EXPECT_EQ(received.substr(4, 12), BigEndian32(0x7F000001) + BigEndian32(0) + BigEndian32(246));
  EXPECT_EQ(received.substr(16), record);
}

TEST(TcpClient, ReadsRepliesAndReportsTheOrderlyClose) {
  TScriptedServer server([](TStreamSocket& s) {
    if (!ReadExactly(s, 4)) return;
    const std::string reply = BigEndian32(-2) + BigEndian32(1);
    s.Write(reply.data(), reply.size());
    // then close without a third value
  });
  TBxTCPClient client("127.0.0.1", server.Port());
  client.Connect();
  client.WriteInt32(7);
  EXPECT_EQ(client.ReadInt32(), -2);
  EXPECT_EQ(client.ReadInt32(), 1);
  try {
    client.ReadInt32();
    FAIL() << "no exception";
  } catch (const EBxConnClosedGracefully& e) {
    EXPECT_STREQ(e.what(), "Connection Closed Gracefully.");
  }
  EXPECT_FALSE(client.IsConnected());
  // A closed client connects again.
  client.Connect();
  EXPECT_TRUE(client.IsConnected());
}

TEST(TcpClient, SeesThePeersCloseWithoutReading) {
  TScriptedServer server([](TStreamSocket&) {});  // accepts and closes at once
  TBxTCPClient client("127.0.0.1", server.Port());
  client.Connect();
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (client.IsConnected() && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  EXPECT_FALSE(client.IsConnected());
}

TEST(TcpClient, MisuseAndSocketErrorsHaveTheirTexts) {
  TScriptedServer server([](TStreamSocket& s) { ReadUntilClosed(s); });
  TBxTCPClient client("127.0.0.1", server.Port());
  client.Connect();
  try {
    client.Connect();
    FAIL() << "no exception";
  } catch (const EBxNetError& e) {
    EXPECT_STREQ(e.what(), "Already connected.");
  }
  EXPECT_TRUE(client.IsConnected());  // the open connection is kept

  TBxTCPClient noHost("", 3434);
  EXPECT_THROW(noHost.Connect(), EBxNetError);
  TBxTCPClient noPort("127.0.0.1", 0);
  EXPECT_THROW(noPort.Connect(), EBxNetError);

  // A port nobody listens on: the listener is closed before the connect.
  uint16_t freePort;
  {
    TListenSocket probe = TListenSocket::BindTcp("127.0.0.1", 0, TIPVersion::V4);
    freePort = probe.Local().Port;
  }
  TBxTCPClient refused("127.0.0.1", freePort);
  try {
    refused.Connect();
    FAIL() << "no exception";
  } catch (const ESocketError& e) {
    EXPECT_EQ(std::string(e.what()),
              "Socket Error # " + std::to_string(e.Code()) + "\r\n" + SystemErrorText(e.Code()));
  }
  EXPECT_FALSE(refused.IsConnected());
}

TEST(TcpClient, ASilentPeerMeetsTheReadTimeout) {
  TScriptedServer server([&](TStreamSocket& s) {
    // Accepts and reads, never answers.
    ReadUntilClosed(s, std::chrono::seconds(10));
  });
  TBxTCPClient client("127.0.0.1", server.Port());
  client.ReadTimeout = std::chrono::milliseconds(200);
  client.Connect();
  client.WriteInt32(1);
  const auto start = std::chrono::steady_clock::now();
  try {
    client.ReadInt32();
    FAIL() << "no exception";
  } catch (const ESocketError& e) {
    EXPECT_EQ(std::string(e.what()).rfind("Socket Error # ", 0), 0u) << e.what();
  }
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(9));
  // The stream is out of step: the connection was dropped.
  EXPECT_FALSE(client.IsConnected());
}

TEST(TcpClient, AFullBacklogMeetsTheConnectTimeout) {
  // A listener that never accepts, with its queue filled: further connects get no answer.
  TListenSocket listener = TListenSocket::BindTcp("127.0.0.1", 0, TIPVersion::V4);
  listener.Listen(0);
  const uint16_t port = listener.Local().Port;
  std::vector<std::unique_ptr<TBxTCPClient>> queued;
  bool timedOut = false;
  for (int i = 0; i < 8 && !timedOut; ++i) {
    auto client = std::make_unique<TBxTCPClient>("127.0.0.1", port);
    client->ConnectTimeout = std::chrono::milliseconds(300);
    try {
      client->Connect();
      queued.push_back(std::move(client));
    } catch (const ESocketError& e) {
      EXPECT_EQ(e.Code(), TimedOutError("x").Code()) << e.what();
      timedOut = true;
    }
  }
  EXPECT_TRUE(timedOut);
}

TEST(TcpClient, APeerThatNeverReadsMeetsTheTimeoutOnWritesAlsoWithTimeoutZero) {
  using namespace std::chrono_literals;
  // Accepts and never reads, until the test lets it go: the system's buffers fill up.
  std::promise<void> release;
  std::shared_future<void> released = release.get_future().share();
  TScriptedServer server([released](TStreamSocket&) { released.wait_for(30s); });
  const std::string block(32 * 1024 * 1024, 'b');
  struct TCase {
    std::chrono::milliseconds Timeout;
    std::chrono::milliseconds Bound;  // the time-out plus a margin for a loaded machine
  };
  for (const TCase& c : {TCase{2000ms, 7000ms}, TCase{0ms, 5000ms}}) {
    SCOPED_TRACE(c.Timeout.count());
    TBxTCPClient client("127.0.0.1", server.Port());
    client.ReadTimeout = c.Timeout;
    client.Connect();
    const auto start = std::chrono::steady_clock::now();
    auto write = std::async(std::launch::async, [&]() -> std::string {
      try {
        client.WriteBytes(block.data(), block.size());
        return "written";
      } catch (const ESocketError& e) {
        return e.Code() == TimedOutError("x").Code() ? "timed out" : e.what();
      } catch (const std::exception& e) {
        return e.what();
      }
    });
    if (write.wait_for(20s) != std::future_status::ready) {
      release.set_value();  // lets the write end, so the failure is reported, not a hang
      write.wait();
      FAIL() << "the write did not end while the peer never read";
    }
    EXPECT_EQ(write.get(), "timed out");
    EXPECT_LT(std::chrono::steady_clock::now() - start, c.Bound);
    // The stream is out of step: the connection was dropped.
    EXPECT_FALSE(client.IsConnected());
  }
  // A time-out of 0 means no waiting for reads as well: nothing has arrived, so it times out.
  TScriptedServer quiet([](TStreamSocket& s) { ReadUntilClosed(s, std::chrono::seconds(10)); });
  TBxTCPClient client("127.0.0.1", quiet.Port());
  client.ReadTimeout = 0ms;
  client.Connect();
  EXPECT_THROW(client.ReadInt32(), ESocketError);
  EXPECT_FALSE(client.IsConnected());
  release.set_value();
}

TEST(TcpClient, ANameTheResolverCannotFindLogsTheResolversText) {
  // A label over 63 characters is refused by the resolver itself: nothing leaves the machine.
  const std::string host = std::string(64, 'a') + ".invalid";
  TBxTCPClient client(host, 3434);
  try {
    client.Connect();
    FAIL() << "no exception";
  } catch (const ESocketError& e) {
    EXPECT_EQ(std::string(e.what()), "Could not resolve \"" + host + "\": " + e.SystemText());
    EXPECT_FALSE(e.SystemText().empty());
    EXPECT_EQ(std::string(e.what()).find("Socket Error #"), std::string::npos);
  }
}

}  // namespace
}  // namespace bx
