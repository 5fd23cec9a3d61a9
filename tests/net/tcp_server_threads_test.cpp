#include "net/tcp_server.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "net/net_errors.h"
#include "support/tcp_test_client.h"

namespace bx {
namespace {

using test::BigEndian32;
using test::TTcpTestClient;

// A small request protocol: 1 = echo a line, 2 = int32 n + n bytes, answered with n,
// 3 = answer "OK" and close.
class TServerFixture {
 public:
  explicit TServerFixture(const std::string& ip = "127.0.0.1",
                          TIPVersion version = TIPVersion::V4) {
    FServer.AddBinding(ip, 0, version);
    FServer.SetOnExecute([](TBxTCPConnection& c) {
      switch (c.ReadInt32()) {
        case 1:
          c.WriteLn(c.ReadLn());
          break;
        case 2: {
          const int32_t n = c.ReadInt32();
          c.WriteInt32(static_cast<int32_t>(c.ReadBytes(static_cast<size_t>(n)).size()));
          break;
        }
        case 3:
          c.WriteLn("OK");
          c.Disconnect();
          break;
        default:
          throw std::runtime_error("unknown request");
      }
    });
    FServer.SetOnException([this](TBxTCPConnection&, const std::exception& e) {
      std::lock_guard lock(FLock);
      FErrors.push_back(e.what());
    });
    FServer.SetActive(true);
  }
  uint16_t Port() const { return FServer.BoundBindings().at(0).Port; }
  std::vector<std::string> Errors() {
    std::lock_guard lock(FLock);
    return FErrors;
  }
  // Waits (bounded) until only `count` connections remain.
  bool WaitConnections(size_t count) {
    for (int i = 0; i < 5000 && FServer.ConnectionCount() != count; ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return FServer.ConnectionCount() == count;
  }
  TBxTCPServer FServer{"TestServer"};

 private:
  std::mutex FLock;
  std::vector<std::string> FErrors;
};

// Connects `count` clients, never more than 10 ahead of the server's accepts, so that the
// listen backlog of 15 does not drop handshakes (which the client would retry only after 1 s).
std::vector<std::unique_ptr<TTcpTestClient>> ConnectMany(TBxTCPServer& server, uint16_t port,
                                                         size_t count) {
  std::vector<std::unique_ptr<TTcpTestClient>> clients;
  const size_t base = server.ConnectionCount();
  while (clients.size() < count) {
    clients.push_back(std::make_unique<TTcpTestClient>("127.0.0.1", port));
    for (int i = 0; i < 5000 && server.ConnectionCount() + 10 < base + clients.size(); ++i) {
      std::this_thread::sleep_for(std::chrono::microseconds(100));
    }
  }
  return clients;
}

void ExpectEcho(TTcpTestClient& client, const std::string& text) {
  client.WriteInt32(1);
  client.WriteLn(text);
  EXPECT_EQ(client.ReadLn(), text);
}

TEST(TcpServer, AnswersRequestsAndPipelinedRequests) {
  TServerFixture f;
  TTcpTestClient client("127.0.0.1", f.Port());
  ExpectEcho(client, "hello");
  // Three requests in one write: the answers come back in order.
  client.Write(BigEndian32(2) + BigEndian32(3) + "abc" + BigEndian32(1) + "x\n" + BigEndian32(2) +
               BigEndian32(0));
  EXPECT_EQ(client.ReadInt32(), 3);
  EXPECT_EQ(client.ReadLn(), "x");
  EXPECT_EQ(client.ReadInt32(), 0);
  client.WriteInt32(3);
  EXPECT_EQ(client.ReadLn(), "OK");
  EXPECT_TRUE(client.ClosedByPeer());
  EXPECT_TRUE(f.WaitConnections(0));
  EXPECT_TRUE(f.Errors().empty());
}

TEST(TcpServer, FaultsCloseOnlyTheirOwnConnection) {
  TServerFixture f;
  TTcpTestClient healthy("127.0.0.1", f.Port());
  ExpectEcho(healthy, "before");

  TTcpTestClient garbage("127.0.0.1", f.Port());
  garbage.Write("\x12\x34\x56\x78 garbage");
  EXPECT_TRUE(garbage.ClosedByPeer());

  TTcpTestClient longLine("127.0.0.1", f.Port());
  longLine.WriteInt32(1);
  longLine.Write(std::string(20000, 'a') + "\r\n");
  EXPECT_TRUE(longLine.ClosedByPeer());

  {  // Vanishes in the middle of a request: no log, no error, no thread left.
    TTcpTestClient vanishing("127.0.0.1", f.Port());
    vanishing.WriteInt32(2);
    vanishing.WriteInt32(100);
    vanishing.Write("only a part");
  }
  ExpectEcho(healthy, "after");
  EXPECT_TRUE(f.WaitConnections(1));
  const std::vector<std::string> errors = f.Errors();
  ASSERT_EQ(errors.size(), 2u);
  EXPECT_EQ(errors[0], "unknown request");
  EXPECT_EQ(errors[1], "Max line length exceeded.");
}

TEST(TcpServer, ActivationFailures) {
  TBxTCPServer noEvent;
  noEvent.AddBinding("127.0.0.1", 0, TIPVersion::V4);
  try {
    noEvent.SetActive(true);
    FAIL() << "activated without an execute event";
  } catch (const std::runtime_error& e) {
    EXPECT_STREQ(e.what(), "You must have an OnExecute event.");
  }
  EXPECT_FALSE(noEvent.Active());

  TServerFixture first;
  // The second binding is taken: the first one must not stay bound either.
  TBxTCPServer second;
  second.SetOnExecute([](TBxTCPConnection&) {});
  second.AddBinding("127.0.0.2", 0, TIPVersion::V4);
  second.AddBinding("127.0.0.1", first.Port(), TIPVersion::V4);
  try {
    second.SetActive(true);
    FAIL() << "bound a port in use";
  } catch (const ESocketError& e) {
    EXPECT_STREQ(e.what(), "Could not bind socket. Address and port are already in use.");
  }
  EXPECT_FALSE(second.Active());
  EXPECT_TRUE(second.BoundBindings().empty());
  TTcpTestClient client("127.0.0.1", first.Port());
  ExpectEcho(client, "still served by the first");
}

TEST(TcpServer, DefaultBindingsAndReactivation) {
  TBxTCPServer server;
  server.SetOnExecute([](TBxTCPConnection& c) { c.WriteInt32(c.ReadInt32() + 1); });
  server.SetDefaultPort(0);
  server.SetActive(true);
  const auto bound = server.BoundBindings();
  ASSERT_GE(bound.size(), 1u);
  EXPECT_EQ(bound[0].IP, "0.0.0.0");
  if (IPv6Available()) {
    ASSERT_EQ(bound.size(), 2u);
    EXPECT_EQ(bound[1].IP, "::");
  }
  TTcpTestClient client("127.0.0.1", bound[0].Port);
  client.WriteInt32(41);
  EXPECT_EQ(client.ReadInt32(), 42);
  server.SetActive(false);
  EXPECT_TRUE(client.ClosedByPeer());
  server.SetActive(true);  // binds again
  TTcpTestClient again("127.0.0.1", server.BoundBindings()[0].Port);
  again.WriteInt32(1);
  EXPECT_EQ(again.ReadInt32(), 2);
}

TEST(TcpServer, AcceptsIPv6Loopback) {
  if (!IPv6Available()) GTEST_SKIP() << "no IPv6 on this machine";
  std::unique_ptr<TServerFixture> f;
  try {
    f = std::make_unique<TServerFixture>("::1", TIPVersion::V6);
  } catch (const ESocketError& e) {
    GTEST_SKIP() << "no IPv6 loopback: " << e.what();
  }
  TTcpTestClient client("::1", f->Port());
  ExpectEcho(client, "over IPv6");
}

TEST(TcpServer, DeactivationClosesIdleAndBusyConnections) {
  std::atomic<bool> handlerEntered{false};
  TBxTCPServer server;
  server.AddBinding("127.0.0.1", 0, TIPVersion::V4);
  server.SetOnExecute([&](TBxTCPConnection& c) {
    handlerEntered.store(true, std::memory_order_relaxed);  // a flag only, guards no data
    c.ReadInt32();
  });
  server.SetActive(true);
  const uint16_t port = server.BoundBindings()[0].Port;
  auto clients = ConnectMany(server, port, 20);
  clients[0]->Write("\x01\x02");  // blocked in the middle of a value
  for (int i = 0; i < 5000 && server.ConnectionCount() < 20; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  ASSERT_EQ(server.ConnectionCount(), 20u);
  server.SetActive(false);  // returns only when every thread is joined
  EXPECT_EQ(server.ConnectionCount(), 0u);
  for (auto& client : clients) EXPECT_TRUE(client->ClosedByPeer());
  EXPECT_TRUE(handlerEntered.load(std::memory_order_relaxed));
}

TEST(TcpServer, ThousandIdleConnectionsThenTraffic) {
  TServerFixture f;
  auto idle = ConnectMany(f.FServer, f.Port(), 1000);
  ASSERT_TRUE(f.WaitConnections(1000));
  TTcpTestClient active("127.0.0.1", f.Port());
  for (int i = 0; i < 50; ++i) ExpectEcho(active, "request " + std::to_string(i));
  ExpectEcho(*idle[500], "an idle one wakes up");
  idle.clear();
  EXPECT_TRUE(f.WaitConnections(1));
  f.FServer.SetActive(false);
  EXPECT_TRUE(f.Errors().empty());
}

// The nice value of this process's thread whose name starts with `prefix`; no value when no
// such thread runs.
std::optional<int> NiceOfThread(const std::string& prefix) {
  for (const auto& task : std::filesystem::directory_iterator("/proc/self/task")) {
    std::ifstream comm(task.path() / "comm");
    std::string name;
    std::getline(comm, name);
    if (name.rfind(prefix, 0) != 0) continue;
    errno = 0;
    const int nice =
        getpriority(PRIO_PROCESS, static_cast<id_t>(std::stoi(task.path().filename().string())));
    if (errno == 0) return nice;
  }
  return std::nullopt;
}

TEST(TcpServer, ListenerThreadsRunAtTheHighestPriorityWhereAllowed) {
  TServerFixture f;
  // Thread names are cut to 15 characters: "TestServer Listener #1" reads "TestServer List".
  // The thread is named as it starts and raises itself a moment later: looked at until it
  // has the expected value (or 10 s have passed).
  const bool privileged = geteuid() == 0;
  std::optional<int> nice;
  for (int i = 0; i < 2000; ++i) {
    nice = NiceOfThread("TestServer List");
    if (nice && (!privileged || *nice == -10)) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  ASSERT_TRUE(nice.has_value());
  // Raising above normal needs the privilege; without it the listener stays at normal.
  if (privileged) {
    EXPECT_EQ(*nice, -10);
  } else {
    EXPECT_LE(*nice, 0);
  }
}

}  // namespace
}  // namespace bx
