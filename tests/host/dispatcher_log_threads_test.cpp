#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "host/dispatcher_log.h"
#include "platform/log_entry.h"
#include "platform/message_loop.h"
#include "support/temp_home.h"

namespace bx {
namespace {

// Entries from worker threads reach the log through AddLogEntry and the main loop, as in the
// running program, and are stamped with the loop thread's clock when taken.
TEST(DispatcherLogThreadsTest, EntriesFromSeveralThreadsAreWrittenInHandOffOrder) {
  test::TTempHome home;
  const std::string path = home / "BxDispatcherLog.txt";
  TFrmDispatcherLog log;
  log.StartLogFile(path);
  TFakeClock clock(TDateTime{2024, 12, 31, 23, 59, 59, 500});
  TMessageLoop loop;
  loop.SetHandler([&](TLoopMessage& m) -> int64_t {
    if (m.Msg == kWmLogEntry) {
      log.AddEntry(static_cast<TLogLevel>(m.WParam), m.Data, clock.Now());
      clock.AdvanceMilliseconds(1);
    }
    return 0;
  });
  SetMainLoop(&loop);

  constexpr int kThreads = 4;
  constexpr int kEach = 150;
  std::vector<std::thread> workers;
  for (int t = 0; t < kThreads; ++t) {
    workers.emplace_back([t] {
      for (int i = 0; i < kEach; ++i) {
        AddLogEntry(static_cast<TLogLevel>(t), "t" + std::to_string(t) + " #" + std::to_string(i));
      }
    });
  }
  std::thread quitter([&] {
    for (auto& w : workers) w.join();
    loop.Quit(0);
  });
  loop.Run();
  quitter.join();
  SetMainLoop(nullptr);

  ASSERT_EQ(log.Count(), static_cast<size_t>(kThreads * kEach));
  // The file repeats the model line for line, and each thread's entries keep their order.
  std::string expected = "\xEF\xBB\xBFMsgType\tDate\t\tTime\t\tMessage\r\n";
  std::vector<int> next(kThreads, 0);
  for (const TDispatcherLogEntry& e : log.Entries()) {
    expected += TFrmDispatcherLog::EntryLine(e) + "\r\n";
    const int t = static_cast<int>(e.Level);
    EXPECT_EQ(e.Text, "t" + std::to_string(t) + " #" + std::to_string(next[t]++));
  }
  EXPECT_EQ(test::ReadFile(path), expected);
  // Stamped when taken: 1 ms apart, across midnight into the new year.
  EXPECT_EQ(log.Entries()[0].TimeText, "23:59:59.500");
  EXPECT_EQ(log.Entries()[0].DateText, "12/31/24");
  EXPECT_EQ(log.Entries().back().TimeText, "00:00:00.099");
  EXPECT_EQ(log.Entries().back().DateText, "01/01/25");
}

}  // namespace
}  // namespace bx
