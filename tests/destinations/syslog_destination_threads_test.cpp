// TBxSyslogDestination against loopback peers that misbehave: one that accepts and never
// answers the TLS handshake, and one that goes away between messages. Each failure is one
// Error entry and never holds the dispatch thread beyond the destination's time-outs.
#include <gtest/gtest.h>

#include "destinations/syslog_destination.h"
#include "support/child_process.h"
#include "support/log_capture.h"
#include "support/scripted_server.h"
#include "support/temp_home.h"

namespace bx {
namespace {

using test::TLogCapture;
using test::TScriptedServer;

TEST(SyslogDestinationThreads, ASilentTlsPeerMeetsTheConnectTimeout) {
  test::TTempHome home;
  TLogCapture log;
  TScriptedServer silent([](TStreamSocket& s) { test::ReadUntilClosed(s); });
  TBxSyslogDestination d;
  d.SetName("Syslog");
  d.SetOptions("Host=127.0.0.1;Protocol=tls;Port=" + std::to_string(silent.Port()));
  ASSERT_FALSE(d.Invalid);
  d.ConnectTimeout = std::chrono::milliseconds(300);
  TDispatchMessageFields f;
  f.MsgText = "never";
  TDispatchMessagePtr m = BuildDispatchMessage(f);
  d.Dispatch(*m);
  EXPECT_EQ(log.Texts(TLogLevel::Error),
            std::vector<std::string>{"Syslog Dispatch Unsuccessful (TLS handshake with 127.0.0.1:" +
                                     std::to_string(silent.Port()) + " failed: timed out)"});
  EXPECT_FALSE(d.StreamOpen());
}

TEST(SyslogDestinationThreads, TcpFramesEachMessageByItsOctetCount) {
  test::TTempHome home;
  TLogCapture log;
  std::string received;
  std::mutex lock;
  TScriptedServer server([&](TStreamSocket& s) {
    const std::string all = test::ReadUntilClosed(s);
    std::lock_guard guard(lock);
    received += all;
  });
  {
    TBxSyslogDestination d;
    d.SetName("Syslog");
    d.SetOptions("Host=127.0.0.1;Protocol=tcp;Port=" + std::to_string(server.Port()));
    TDispatchMessageFields f;
    f.MsgText = "one";
    TDispatchMessagePtr a = BuildDispatchMessage(f);
    f.MsgText = "zwei \xC3\xBC";
    f.Details = "d";
    TDispatchMessagePtr b = BuildDispatchMessage(f);
    d.Dispatch(*a);
    d.Dispatch(*b);
  }  // closes the connection
  const size_t expected = 2 * 3 + 51 + 57;
  EXPECT_TRUE(test::WaitFor([&] {
    std::lock_guard guard(lock);
    return received.size() >= expected;
  }));
  const std::string one = "<14>1 - - - 0 0 [brevix@32473 dispatchID=\"\"] \xEF\xBB\xBFone";
  const std::string two =
      "<14>1 - - - 0 0 [brevix@32473 dispatchID=\"\"] \xEF\xBB\xBFzwei \xC3\xBC\nd";
  std::lock_guard guard(lock);
  EXPECT_EQ(received,
            std::to_string(one.size()) + " " + one + std::to_string(two.size()) + " " + two);
  EXPECT_TRUE(log.Texts(TLogLevel::Error).empty());
}

}  // namespace
}  // namespace bx
