// End-to-end, as a hostile peer on the same machine would try it: the real BxDispatcher in a
// temporary BREVIX_HOME, reached over its window endpoint and TCP.
#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/window_endpoint.h"
#include "receivers/dispatcher_window_messages.h"
#include "support/child_process.h"
#include "support/free_port.h"
#include "support/temp_home.h"

namespace bx {
namespace {

using test::ReadFile;
using test::RunProgram;
using test::TChildProcess;
using test::TTempHome;
using test::WaitFor;
using test::WriteFile;

const std::string kBin = BX_BIN_DIR;

class HostilePeerE2ETest : public ::testing::Test {
 protected:
  HostilePeerE2ETest() : FTcpPort(test::FreeTcpPort()), FUdpPort(test::FreeUdpPort()) {
    WriteFile(FHome / "common/Korvane/Brevix/4.0/BxDispatcher.ini",
              "[Settings]\nUIMode=1\n[Ports]\nMonitorPorts=1\nTCPPort=" + std::to_string(FTcpPort) +
                  "\nUDPPort=" + std::to_string(FUdpPort) + "\n");
    WriteFile(FHome / "logs/.keep", "");
  }

  std::string Log() const {
    return ReadFile(FHome / "user/Korvane/Brevix/4.0/BxDispatcherLog.txt");
  }
  bool LogHas(const std::string& text) const { return Log().find(text) != std::string::npos; }

  std::unique_ptr<TChildProcess> Start(std::map<std::string, std::string> env = {}) {
    auto child = std::make_unique<TChildProcess>(std::vector<std::string>{kBin + "/BxDispatcher"},
                                                 env, FHome.Path());
    EXPECT_TRUE(WaitFor([&] {
      return LogHas("MonitorPorts=") &&
             test::FileExists(FHome / "run/TFrmDispatcher.Brevix Dispatcher.sock");
    })) << Log()
        << child->StandardError();
    return child;
  }
  test::TRunResult Send(std::vector<std::string> args) {
    args.insert(args.begin(), kBin + "/BxSend");
    return RunProgram(args, FHome.Path());
  }
  std::unique_ptr<TWindowEndpointClient> Endpoint() {
    return TWindowEndpointClient::Connect(FHome / "run/TFrmDispatcher.Brevix Dispatcher.sock");
  }

  TTempHome FHome;
  uint16_t FTcpPort;
  uint16_t FUdpPort;
};

TEST_F(HostilePeerE2ETest, ForgedInternalMessagesAndPostedCopyDataAreRefused) {
  auto dispatcher = Start();
  auto client = Endpoint();
  ASSERT_NE(client, nullptr);
  // 1104 carries activity-log entries, 1094 is the tray's callback, 0x113 a timer.
  EXPECT_EQ(client->SendFrame(1104, 3, 0, "forged activity-log line"), 0);
  EXPECT_EQ(client->PostFrame(1104, 3, 0, "forged posted line"), 0);
  EXPECT_EQ(client->PostFrame(1094, 0, 0x205, {}), 0);
  EXPECT_EQ(client->PostFrame(0x113, 1, 0, {}), 0);
  // WM_COPYDATA may only be sent: a posted one is answered 0 and queues nothing.
  EXPECT_EQ(client->PostFrame(WM_COPYDATA, 0, 0x7F000001, std::string(1 << 20, 'x')), 0);
  // What other programs may send still works on the same connection.
  EXPECT_EQ(client->SendFrame(kWmIsService, 0, 0, {}), 0);
  ASSERT_TRUE(WaitFor([&] { return LogHas("refused message 1104"); })) << Log();
  EXPECT_EQ(Send({"--stop"}).Output, "1\n");
  EXPECT_EQ(dispatcher->Wait(), 0);
  EXPECT_FALSE(LogHas("forged")) << Log();
}

TEST_F(HostilePeerE2ETest, ADispatchLoopThatCannotGoOnEndsTheProcessWithExitCode70) {
  auto dispatcher = Start({{"BREVIX_FAULT", "DispatchLoop"}});
  const std::string file = FHome / "logs/f.bxl";
  EXPECT_EQ(Send({"register", "--id", "{F}", "--destination", "File[Path=" + file + "]"}).Output,
            "1\n");
  Send({"message", "--id", "{F}", "--text", "never delivered"});
  EXPECT_EQ(dispatcher->Wait(), 70) << Log();
  EXPECT_TRUE(LogHas("Exception occurred in DispatchThread: fault injected into the dispatch loop"))
      << Log();
  EXPECT_TRUE(LogHas("The dispatch thread cannot go on; the dispatcher ends with exit code 70"));
  // The registration was saved on the way out, so a restarted dispatcher serves the logger.
  EXPECT_NE(ReadFile(FHome / "user/Korvane/Brevix/4.0/BxDispatchIDs.ini").find("[{F}]"),
            std::string::npos);
}

}  // namespace
}  // namespace bx
