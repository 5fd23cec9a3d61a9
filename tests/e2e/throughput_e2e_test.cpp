// End-to-end: an orderly stop of the real BxDispatcher with a backlog in its queue. SIGTERM
// stops it; what is queued is still delivered for StopDrainMilliseconds, and what is left after
// that is counted in one Warning entry instead of vanishing.
#include <gtest/gtest.h>

#include <signal.h>

#include <cstdlib>
#include <memory>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "destinations/log_file_reader.h"
#include "messages/dispatch_message.h"
#include "messages/message_format.h"
#include "platform/file_system.h"
#include "support/child_process.h"
#include "support/free_port.h"
#include "support/tcp_test_client.h"
#include "support/temp_home.h"

namespace bx {
namespace {

using test::BigEndian32;
using test::ReadFile;
using test::TChildProcess;
using test::TTcpTestClient;
using test::TTempHome;
using test::WaitFor;
using test::WriteFile;

const std::string kBin = BX_BIN_DIR;

std::string Request(int32_t type, const std::string& id, const std::string& text) {
  TDispatchMessageFields f;
  f.MsgType = type;
  f.DispatchID = id;
  f.AppName = "e2e";
  f.MsgText = text;
  const TDispatchMessagePtr m = BuildDispatchMessage(f);
  const std::string record(reinterpret_cast<const char*>(m.get()),
                           static_cast<size_t>(DispatchMessageSize(*m)));
  return BigEndian32(bxmUTF8MessageFormat) + BigEndian32(type) +
         BigEndian32(static_cast<int32_t>(record.size())) + record;
}

size_t EntryCount(const std::string& path) {
  TLogFileReader reader(path);
  std::vector<TLogFileEntry> entries;
  reader.Read(entries);
  return entries.size();
}

// The numbers N of the "N queued messages discarded at stop" entries of an activity log.
std::vector<long> DiscardCounts(const std::string& log) {
  std::vector<long> counts;
  std::istringstream in(log);
  std::string line;
  const std::regex entry("^Warning\t.*\t([0-9]+) queued messages discarded at stop\r?$");
  while (std::getline(in, line)) {
    std::smatch m;
    if (std::regex_match(line, m, entry)) counts.push_back(std::stol(m[1]));
  }
  return counts;
}

class StopDrainE2ETest : public ::testing::Test {
 protected:
  StopDrainE2ETest() : FTcpPort(test::FreeTcpPort()) { WriteFile(FHome / "logs/.keep", ""); }

  std::string LogPath() const { return FHome / "user/Korvane/Brevix/4.0/BxDispatcherLog.txt"; }

  std::unique_ptr<TChildProcess> Start(const std::string& extraDispatcherKeys) {
    WriteFile(FHome / "common/Korvane/Brevix/4.0/BxDispatcher.ini",
              "[Settings]\nUIMode=1\n[Ports]\nMonitorPorts=1\nTCPPort=" + std::to_string(FTcpPort) +
                  "\nUDPPort=" + std::to_string(test::FreeUdpPort()) + "\n[Dispatcher]\n" +
                  extraDispatcherKeys);
    auto child =
        std::make_unique<TChildProcess>(std::vector<std::string>{kBin + "/BxDispatcher"},
                                        std::map<std::string, std::string>{}, FHome.Path());
    EXPECT_TRUE(WaitFor([&] {
      return ReadFile(LogPath()).find("MonitorPorts=") != std::string::npos;
    })) << child->StandardError();
    return child;
  }

  // Registers {E2E} with `destination` and queues `count` messages; every one is answered.
  void Queue(const std::string& destination, int count) {
    TTcpTestClient client("127.0.0.1", FTcpPort, std::chrono::seconds(60));
    client.Write(Request(91, "{E2E}", destination));
    ASSERT_EQ(client.ReadInt32(), 1);
    std::string requests;
    for (int i = 0; i < count; ++i) requests += Request(1, "{E2E}", "m" + std::to_string(i));
    client.Write(requests);
    for (int i = 0; i < count; ++i) ASSERT_EQ(client.ReadInt32(), 1);
  }

  TTempHome FHome;
  uint16_t FTcpPort;
};

TEST_F(StopDrainE2ETest, SigtermWithABacklogStillWritesEverythingWhenTheDiskKeepsUp) {
  auto dispatcher = Start("");
  const std::string file = FHome / "logs/all.bxl";
  constexpr int kCount = 20000;  // arrive faster than they are written: a backlog at the stop
  Queue("File[Path=" + file + "]", kCount);
  dispatcher->Signal(SIGTERM);
  EXPECT_EQ(dispatcher->Wait(std::chrono::seconds(60)), 0);
  EXPECT_EQ(EntryCount(file), static_cast<size_t>(kCount));
  const std::string log = ReadFile(LogPath());
  EXPECT_TRUE(DiscardCounts(log).empty()) << log;
  EXPECT_NE(log.find("Dispatcher has been stopped"), std::string::npos);
}

TEST_F(StopDrainE2ETest, WhatASlowDestinationLeftQueuedAtTheDeadlineIsCounted) {
  auto dispatcher = Start("StopDrainMilliseconds=300\n");
  // Every message to this file waits through five refused opens (80 ms and more): far slower
  // than the messages arrive.
  const std::string file = FHome / "logs/locked.bxl";
  TSystemError status;
  auto holder = RealFileSystem().OpenForWrite(file, TOpenMode::OpenOrCreate, status);
  ASSERT_NE(holder, nullptr) << status.Text;
  constexpr int kCount = 100;
  Queue("File[Path=" + file + "]", kCount);
  dispatcher->Signal(SIGTERM);
  EXPECT_EQ(dispatcher->Wait(std::chrono::seconds(60)), 0);
  const std::vector<long> counts = DiscardCounts(ReadFile(LogPath()));
  ASSERT_EQ(counts.size(), 1u) << ReadFile(LogPath());
  EXPECT_GT(counts[0], 0);
  EXPECT_LE(counts[0], kCount);
  EXPECT_EQ(EntryCount(file), 0u);
}

}  // namespace
}  // namespace bx
