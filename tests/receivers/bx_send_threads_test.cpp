// Runs the real BxSend program against receivers that live in this test process.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <thread>

#include "core/dispatch_core.h"
#include "platform/loop_call.h"
#include "platform/window_endpoint.h"
#include "receivers/copy_data_receiver.h"
#include "receivers/dispatcher_window_messages.h"
#include "receivers/tcp_receiver.h"
#include "receivers/udp_receiver.h"
#include "support/recording_destination.h"
#include "support/temp_home.h"

namespace bx {
namespace {

struct TRun {
  int ExitCode = -1;
  std::string Output;
};

class BxSendTest : public ::testing::Test {
 protected:
  BxSendTest() {
    StartDispatchCore();
    FLoop.SetHandler([this](TLoopMessage& m) -> int64_t {
      if (m.Msg == kWmLoopCall) return RunLoopCall(m);
      if (m.Msg == kWmLogEntry) {
        FLogTexts.push_back(m.Data);
        return 0;
      }
      if (m.Msg == WM_COPYDATA) {
        return FCopyData->HandleCopyData(
            m.LParam, std::as_bytes(std::span<const char>(m.Data.data(), m.Data.size())));
      }
      FPosted.push_back(m.Msg);
      return 0;
    });
    SetMainLoop(&FLoop);
    FCopyData = std::make_unique<TBxCopyDataReceiver>();
    FTcp.SetActive(true);
    FUdp.SetActive(true);
    FTcpPort = FTcp.BoundBindings().at(0).Port;
    FUdpPort = FUdp.BoundBindings().at(0).Port;
  }
  ~BxSendTest() override {
    FTcp.SetActive(false);
    FUdp.SetActive(false);
    SetMainLoop(nullptr);
    ShutdownDispatchCore();
  }

  // Runs BxSend with `args` while this thread keeps the main loop going.
  TRun Run(const std::string& args) {
    TRun run;
    std::thread child([&] {
      const std::string command = std::string(BX_BIN_DIR) + "/BxSend " + args + " 2>&1";
      FILE* pipe = popen(command.c_str(), "r");
      if (pipe != nullptr) {
        char chunk[512];
        size_t n = 0;
        while ((n = fread(chunk, 1, sizeof chunk, pipe)) > 0) run.Output.append(chunk, n);
        const int status = pclose(pipe);
        run.ExitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
      }
      FDone.store(true, std::memory_order_release);
    });
    while (!FDone.load(std::memory_order_acquire)) {
      FLoop.ProcessPending();
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    child.join();
    FDone.store(false, std::memory_order_relaxed);
    FLoop.ProcessPending();
    return run;
  }
  std::string Tcp() { return " --via tcp --host 127.0.0.1 --port " + std::to_string(FTcpPort); }
  std::string Udp() { return " --via udp --host 127.0.0.1 --port " + std::to_string(FUdpPort); }
  std::string Registered(const std::string& id) {
    TBxDispatchIDList& list = *DispatchIDList();
    auto lock = list.LockForTest();
    const int index = list.Find(lock, id);
    if (index < 0) return "-";
    return TBxDispatchIDList::DestinationText(*list.Objects(lock, index)) + " " +
           std::to_string(list.Objects(lock, index)->ConnectionMethod);
  }
  std::vector<std::string> TakeTexts() {
    std::vector<std::string> out;
    while (TDispatchMessagePtr m = MessageQueue()->TakeHead()) out.emplace_back(MsgText(*m));
    return out;
  }
  // Waits (pumping the loop) until `n` messages are queued; UDP is never answered.
  bool WaitQueued(size_t n) {
    std::vector<std::string> seen;
    for (int i = 0; i < 5000 && FQueued.size() < n; ++i) {
      FLoop.ProcessPending();
      for (auto& t : TakeTexts()) FQueued.push_back(t);
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return FQueued.size() >= n;
  }

  test::TTempHome FHome;
  test::TTestKinds FKinds;
  TMessageLoop FLoop;
  std::vector<std::string> FLogTexts;
  std::vector<uint32_t> FPosted;
  std::vector<std::string> FQueued;
  std::atomic<bool> FDone{false};
  std::unique_ptr<TBxCopyDataReceiver> FCopyData;
  TBxTcpReceiver FTcp{uint16_t{0}};
  TBxUdpReceiver FUdp{uint16_t{0}};
  uint16_t FTcpPort = 0;
  uint16_t FUdpPort = 0;
};

TEST_F(BxSendTest, TcpInEveryFormatWithAndWithoutPipelining) {
  TRun r = Run("register" + Tcp() + " --id {T1} --destination Viewer");
  EXPECT_EQ(r.ExitCode, 0) << r.Output;
  EXPECT_EQ(r.Output, "1\n");
  EXPECT_EQ(Registered("{T1}"), "Viewer 1");
  r = Run("register" + Tcp() + " --id {T2} --destination Nowhere");
  EXPECT_EQ(r.Output, "0\n");

  r = Run("message" + Tcp() + " --id {T1} --text piped --count 3 --pipeline");
  EXPECT_EQ(r.Output, "1\n1\n1\n");
  for (const char* format : {"record", "ansi", "xml-utf8"}) {
    r = Run("message" + Tcp() + " --id {T1} --format " + format + " --text " + format);
    EXPECT_EQ(r.Output, "1\n") << format;
  }
  r = Run("message" + Tcp() + " --id {T1} --format legacy --text legacy --count 2");
  EXPECT_EQ(r.Output, "OK\nOK\n");
  r = Run("register" + Tcp() + " --id {T3} --format legacy --destination File");
  EXPECT_EQ(r.ExitCode, 0) << r.Output;
  EXPECT_TRUE(WaitQueued(8));
  EXPECT_EQ(FQueued, (std::vector<std::string>{"piped", "piped", "piped", "record", "ansi",
                                               "xml-utf8", "legacy", "legacy"}));
  // The legacy registration is not answered; it is there once the receiver has handled it.
  for (int i = 0; i < 5000 && Registered("{T3}") == "-"; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  EXPECT_EQ(Registered("{T3}"), "File 1");
  r = Run("--reload" + Tcp());
  EXPECT_EQ(r.Output, "1\n");
  FLoop.ProcessPending();
  EXPECT_EQ(FPosted, std::vector<uint32_t>{kWmReloadSettings});
}

TEST_F(BxSendTest, UdpAndTheWindowEndpoint) {
  TRun r = Run("register" + Udp() + " --id {U1} --destination Viewer");
  EXPECT_EQ(r.ExitCode, 0) << r.Output;
  r = Run("message" + Udp() + " --id {U1} --text over-udp --count 2");
  EXPECT_EQ(r.ExitCode, 0) << r.Output;
  EXPECT_TRUE(WaitQueued(2));
  EXPECT_EQ(Registered("{U1}"), "Viewer 2");

  TWindowEndpoint endpoint(kDispatcherWindowClass, kDispatcherWindowCaption, FLoop);
  for (const char* format : {"record", "ansi", "xml-utf16", "legacy"}) {
    r = Run(std::string("message --id {E1} --format ") + format + " --text " + format);
    EXPECT_EQ(r.Output, "1\n") << format;
  }
  r = Run("register --id {E2} --format xml-utf16 --destination File");
  EXPECT_EQ(r.Output, "1\n");
  EXPECT_EQ(Registered("{E2}"), "File 0");
  EXPECT_EQ(Run("--is-service").Output, "0\n");
  EXPECT_EQ(Run("--reload").Output, "1\n");
  EXPECT_EQ(Run("--show-log").Output, "1\n");
  EXPECT_EQ(Run("--stop").Output, "1\n");
  EXPECT_TRUE(WaitQueued(6));
  EXPECT_EQ(FQueued, (std::vector<std::string>{"over-udp", "over-udp", "record", "ansi",
                                               "xml-utf16", "legacy"}));
  EXPECT_EQ(FPosted,
            (std::vector<uint32_t>{kWmIsService, kWmReloadSettings, kWmShowLog, WM_CLOSE}));
}

TEST_F(BxSendTest, NoDispatcherAndUsageErrorsExitNonZero) {
  TRun r = Run("message --text x");  // no endpoint in this test
  EXPECT_EQ(r.ExitCode, 2);
  EXPECT_NE(r.Output.find("no dispatcher window found"), std::string::npos) << r.Output;
  FTcp.SetActive(false);
  r = Run("message" + Tcp() + " --text x");
  EXPECT_EQ(r.ExitCode, 2);
  EXPECT_NE(r.Output.find("no dispatcher answers at 127.0.0.1:"), std::string::npos) << r.Output;
  r = Run("message --via pigeon");
  EXPECT_EQ(r.ExitCode, 1);
  EXPECT_NE(r.Output.find("--via takes endpoint, tcp or udp"), std::string::npos) << r.Output;
  r = Run("message" + Udp() + " --format xml-utf8");
  EXPECT_EQ(r.ExitCode, 1);
  r = Run("--help");
  EXPECT_EQ(r.ExitCode, 0);
  EXPECT_NE(r.Output.find("Usage: BxSend"), std::string::npos);
}

}  // namespace
}  // namespace bx
