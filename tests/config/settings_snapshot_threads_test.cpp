#include "config/settings_snapshot.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

namespace bx {
namespace {

// Every published object is consistent: N categories, all blocked, and N named paths.
std::shared_ptr<const TBxDispatcherSettings> Build(int n) {
  auto settings = std::make_shared<TBxDispatcherSettings>(TBxDispatcherSettings::TDefaultsOnly{});
  settings->RestrictFolders = true;
  for (int i = 0; i < n; ++i) {
    settings->Categories.AddCategory("cat" + std::to_string(i), true);
    settings->NamedPaths.push_back("P" + std::to_string(i) + "=/p" + std::to_string(i));
  }
  settings->BlockedMessages.set(static_cast<size_t>(n % 48));
  return settings;
}

TEST(SettingsSnapshotThreadsTest, ReadersNeverSeeAHalfBuiltObject) {
  PublishSettings(nullptr);
  ASSERT_NE(CurrentSettings(), nullptr);
  EXPECT_EQ(CurrentSettings()->TCPPort, 3434);
  EXPECT_TRUE(IsPathAllowed("/anything"));

  std::atomic<bool> stop{false};
  std::atomic<int> bad{0};
  std::vector<std::thread> readers;
  for (int r = 0; r < 3; ++r) {
    readers.emplace_back([&] {
      // Relaxed: the flag only ends the loop; the data is ordered by the snapshot itself.
      while (!stop.load(std::memory_order_relaxed)) {
        auto s = CurrentSettings();
        int n = s->Categories.Count();
        if (static_cast<int>(s->NamedPaths.size()) != n) ++bad;
        if (n > 0 && !s->Categories.IsCategoryBlocked("cat" + std::to_string(n - 1))) ++bad;
        if (n > 0 && !s->BlockedMessages.test(static_cast<size_t>(n % 48))) ++bad;
        if (n > 0 && !IsPathAllowed("/p0/x")) ++bad;
      }
    });
  }
  for (int round = 0; round < 200; ++round) PublishSettings(Build(1 + round % 50));
  stop.store(true, std::memory_order_relaxed);
  for (auto& t : readers) t.join();
  EXPECT_EQ(bad.load(), 0);
  EXPECT_EQ(CurrentSettings()->Categories.Count(), 50);
  EXPECT_FALSE(IsPathAllowed("/elsewhere"));
  PublishSettings(nullptr);
  EXPECT_EQ(CurrentSettings()->Categories.Count(), 0);
}

}  // namespace
}  // namespace bx
