// Registrations, unregistrations and expiry from several threads while the dispatch thread
// delivers. Run under ThreadSanitizer and AddressSanitizer: a registration freed while it is
// being delivered to, or a race on the registry, shows up there.
#include <gtest/gtest.h>

#include <atomic>
#include <map>
#include <thread>

#include "core/dispatch_thread.h"
#include "support/log_capture.h"
#include "support/recording_destination.h"
#include "support/temp_home.h"

namespace bx {
namespace {

using test::TRecordingSink;

TDispatchMessagePtr Message(int32_t type, const std::string& id, const std::string& text) {
  TDispatchMessageFields f;
  f.MsgType = type;
  f.DispatchID = id;
  f.MsgText = text;
  return BuildDispatchMessage(f);
}

TEST(RegistryThreadsTest, ChurnAndExpiryNeverLoseMessagesOfLiveRegistrations) {
  test::TTempHome home;
  test::TTestKinds kinds;
  test::TLogCapture log;
  TFakeClock clock({2024, 5, 1, 8, 0, 0, 0});
  TManualResetEvent event;
  TBxMessageQueue queue(event);
  {
    TBxDispatchIDList registry(clock);
    TBxDispatchThread thread(queue, event, registry);

    constexpr int kChurnThreads = 3;
    constexpr int kIterations = 40;
    std::atomic<int> done{0};
    std::vector<std::thread> churn;
    for (int t = 0; t < kChurnThreads; ++t) {
      churn.emplace_back([&, t] {
        for (int i = 0; i < kIterations; ++i) {
          const std::string id = "{C" + std::to_string(t) + "-" + std::to_string(i) + "}";
          EXPECT_EQ(registry.RegisterDispatchID(id, i % 3 == 0 ? "Viewer,File[Path=x]" : "Viewer",
                                                kConnectionTcp),
                    1);
          for (int k = 0; k < 3; ++k) queue.AddMessage(*Message(2, id, "churn"));
          // Every other registration is unregistered; the rest wait for expiry.
          if (i % 2 == 0) queue.AddMessage(*Message(kMsgTypeUnregister, id, ""));
          done.fetch_add(1);
        }
      });
    }

    // Halfway through, three days pass: every save from now on expires the earlier entries
    // while messages for them may be in delivery.
    ASSERT_TRUE(log.WaitUntil([&] { return done.load() >= kChurnThreads * kIterations / 2; }));
    clock.Set({2024, 5, 4, 8, 0, 0, 0});

    constexpr int kStable = 8;
    constexpr int kPerStable = 50;
    for (int s = 0; s < kStable; ++s) {
      ASSERT_EQ(registry.RegisterDispatchID("{S" + std::to_string(s) + "}", "Viewer", 0), 1);
    }
    for (int n = 0; n < kPerStable; ++n) {
      for (int s = 0; s < kStable; ++s) {
        queue.AddMessage(*Message(2, "{S" + std::to_string(s) + "}",
                                  "stable " + std::to_string(s) + " " + std::to_string(n)));
      }
    }
    for (std::thread& t : churn) t.join();
    // One more save at the new date expires whatever the churn left from the first half.
    registry.SaveDispatchIDs();

    auto stableCount = [] {
      size_t n = 0;
      for (const std::string& r : TRecordingSink::Instance().Records()) {
        if (r.find(" stable ") != std::string::npos) ++n;
      }
      return n;
    };
    ASSERT_TRUE(
        log.WaitUntil([&] { return stableCount() == kStable * kPerStable && queue.IsEmpty(); },
                      std::chrono::seconds(60)));

    // Every stable message arrived once, in the order it was sent.
    std::map<int, int> next;
    for (const std::string& r : TRecordingSink::Instance().Records()) {
      int s = 0, n = 0;
      if (std::sscanf(r.c_str(), "Viewer 2 stable %d %d", &s, &n) == 2) {
        EXPECT_EQ(n, next[s]++) << r;
      } else {
        EXPECT_TRUE(r == "Viewer 2 churn" || r == "File[Path=x] 2 churn") << r;
      }
    }
    auto lock = registry.LockForTest();
    for (int s = 0; s < kStable; ++s)
      EXPECT_GE(registry.Find(lock, "{S" + std::to_string(s) + "}"), 0);
    // Unregistered entries are gone, and so are the ones registered before the date moved (at
    // least half of all registrations, so at least a quarter of those never unregistered).
    int survivors = 0;
    for (int i = 0; i < registry.Count(lock); ++i) {
      const std::string& id = registry.Strings(lock, i);
      if (id.rfind("{C", 0) != 0) continue;
      ++survivors;
      EXPECT_EQ(std::stoi(id.substr(id.find('-') + 1)) % 2, 1) << id;
    }
    EXPECT_LE(survivors, kChurnThreads * kIterations / 2 -
                             (kChurnThreads * kIterations / 2 - kChurnThreads) / 2);
  }
  EXPECT_EQ(TRecordingSink::Instance().Alive.load(), 0);
}

}  // namespace
}  // namespace bx
