// The hub's health report and its service-manager side: the status snapshot answered on the
// main thread (WM_USER+84), the STATUS= line sent only when it changes, and WATCHDOG=1 at half
// the interval the service manager asks for, measured on an injected monotonic clock.
#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "core/dispatch_core.h"
#include "core/dispatch_counters.h"
#include "destinations/destination.h"
#include "host/frm_dispatcher.h"
#include "messages/dispatch_message.h"
#include "platform/clock.h"
#include "platform/folders.h"
#include "platform/message_loop.h"
#include "receivers/dispatcher_window_messages.h"
#include "support/temp_home.h"

namespace bx {
namespace {

using std::chrono::milliseconds;
using test::TTempHome;
using test::WriteFile;

class ServiceStatusTest : public ::testing::Test {
 protected:
  ServiceStatusTest() : FClock(TDateTime{2026, 12, 9, 8, 0, 0, 0}) {
    SetMainLoop(&FLoop);
    ResetDispatchCountsForTest();
    std::string error;
    CreateFolderChain(FHome / "common/Korvane/Brevix/4.0", &error);
    WriteFile(FHome / "common/Korvane/Brevix/4.0/BxDispatcher.ini",
              "[Settings]\nUIMode=0\n[Ports]\nMonitorPorts=0\n");
  }
  ~ServiceStatusTest() override {
    FHub.reset();
    SetMainLoop(nullptr);
  }

  void Create(uint64_t watchdogMicroseconds) {
    TFrmDispatcherOptions options;
    options.Clock = &FClock;
    options.ServiceNotify = [this](const std::string& state) { FStates.push_back(state); };
    options.WatchdogMicroseconds = watchdogMicroseconds;
    options.MonotonicNow = [this] { return FNow; };
    FHub = std::make_unique<TFrmDispatcher>(FLoop, std::move(options));
    FLoop.ProcessPending();
  }
  std::vector<std::string> Take() {
    std::vector<std::string> states;
    states.swap(FStates);
    return states;
  }
  // The work-load timer's step `after` the previous one.
  std::vector<std::string> Tick(milliseconds after) {
    FNow += after;
    FHub->MonitorWorkLoad();
    return Take();
  }
  std::string StatusReply(uint64_t form) {
    std::string reply;
    const std::optional<int64_t> result = FLoop.Send(kWmStatus, form, 0, {}, {}, &reply);
    EXPECT_EQ(result, 1);
    return reply;
  }

  TTempHome FHome;
  TFakeClock FClock;
  TMessageLoop FLoop;
  std::chrono::steady_clock::time_point FNow{std::chrono::seconds(1000)};
  std::vector<std::string> FStates;
  std::unique_ptr<TFrmDispatcher> FHub;
};

TEST_F(ServiceStatusTest, WatchdogAtHalfTheIntervalAndStatusLineOnlyWhenItChanges) {
  Create(2'000'000);  // WatchdogSec=2: a keep-alive at least every second
  EXPECT_EQ(Take(), std::vector<std::string>{});  // nothing before the service starts
  FHub->StartDispatcher(true);
  const std::vector<std::string> first = Take();
  ASSERT_EQ(first.size(), 2u);
  EXPECT_EQ(first[0],
            "STATUS=running; queue 0 (0 bytes); received 0/0/0, delivered 0, failed 0; 0 "
            "registrations");
  EXPECT_EQ(first[1], "WATCHDOG=1");

  EXPECT_EQ(Tick(milliseconds(500)), std::vector<std::string>{});
  EXPECT_EQ(Tick(milliseconds(499)), std::vector<std::string>{});  // 999 ms: not yet
  EXPECT_EQ(Tick(milliseconds(1)), std::vector<std::string>{"WATCHDOG=1"});
  // A main thread that was held up sends at its next tick, once, however late.
  EXPECT_EQ(Tick(milliseconds(5000)), std::vector<std::string>{"WATCHDOG=1"});
  EXPECT_EQ(Tick(milliseconds(500)), std::vector<std::string>{});

  // Disabled: the status line changes, once.
  FHub->SetDisabled(true);
  const std::vector<std::string> disabled = Tick(milliseconds(500));
  ASSERT_EQ(disabled.size(), 2u);
  EXPECT_EQ(disabled[0].rfind("STATUS=disabled; ", 0), 0u) << disabled[0];
  EXPECT_EQ(disabled[1], "WATCHDOG=1");
  EXPECT_EQ(Tick(milliseconds(500)), std::vector<std::string>{});
}

TEST_F(ServiceStatusTest, NoWatchdogUnlessAskedAndNothingOnTheDesktop) {
  Create(0);
  FHub->StartDispatcher(true);
  ASSERT_EQ(Take().size(), 1u);  // the status line only
  EXPECT_EQ(Tick(milliseconds(60000)), std::vector<std::string>{});

  FHub.reset();
  Create(1'000'000);
  FHub->StartDispatcher(false);  // desktop: the service manager hears nothing
  EXPECT_EQ(Tick(milliseconds(60000)), std::vector<std::string>{});
}

TEST_F(ServiceStatusTest, SnapshotCountsQueueAndLastErrors) {
  Create(0);
  // Before the dispatch thread exists messages wait in the queue: depth and bytes are exact.
  TDispatchMessagePtr message = BuildDispatchMessage({});
  // The queue counts each message's bytes with its node and the allocator's share.
  const uint64_t size =
      static_cast<uint64_t>(DispatchMessageSize(*message) + TBxMessageQueue::kMessageOverhead);
  for (int i = 0; i < 3; ++i) MessageQueue()->AddMessage(*message);
  CountReceived(kConnectionCopyData);
  CountReceived(kConnectionUdp);
  CountReceived(kConnectionUdp);
  RecordDestinationError("File", "Log File Open Error: /nowhere/a.bxl",
                         TDateTime{2026, 12, 9, 7, 59, 58, 250});

  const std::string json = StatusReply(kStatusJson);
  EXPECT_EQ(json,
            "{\"state\":\"starting\",\"service\":false,\"queue\":{\"messages\":3,\"bytes\":" +
                std::to_string(3 * size) +
                "},\"received\":{\"endpoint\":1,\"tcp\":0,\"udp\":2},\"delivered\":0,"
                "\"failed\":0,\"registrations\":0,\"lastErrors\":{\"Viewer\":null,\"File\":{"
                "\"time\":\"2026-12-09 07:59:58.250\",\"text\":\"Log File Open Error: "
                "/nowhere/a.bxl\"},\"Tcp\":null,\"Udp\":null,\"Http\":null,\"Syslog\":null}}");
  const std::string text = StatusReply(kStatusText);
  EXPECT_NE(text.find("State: starting (desktop)\n"), std::string::npos) << text;
  EXPECT_NE(text.find("Queue: 3 messages, " + std::to_string(3 * size) + " bytes\n"),
            std::string::npos)
      << text;
  EXPECT_NE(text.find("  File: 2026-12-09 07:59:58.250  Log File Open Error: /nowhere/a.bxl\n"),
            std::string::npos)
      << text;

  // The dispatch thread takes them (no registration: not delivered); the depth goes to 0.
  FHub->StartDispatcher(false);
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (FHub->Status().QueuedMessages != 0 && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(milliseconds(5));
  }
  const TBxDispatcherStatus after = FHub->Status();
  EXPECT_EQ(after.QueuedMessages, 0u);
  EXPECT_EQ(after.QueuedBytes, 0u);
  EXPECT_EQ(after.State, "running");
  EXPECT_EQ(after.Counts.Delivered, 0u);
}

}  // namespace
}  // namespace bx
