#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "platform/system_error.h"

namespace bx {
namespace {

// The system's text for a number it does not know is formatted anew for each call; taken from
// one shared buffer, threads would read each other's numbers.
TEST(SystemErrorThreadsTest, TextsTakenOnManyThreadsAtOnceStayTheirOwn) {
  constexpr int kThreads = 4;
  constexpr int kRounds = 5000;
  std::atomic<int> wrong{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([t, &wrong] {
      const int code = 900000 + t;
      const std::string expected = "Unknown error " + std::to_string(code);
      for (int i = 0; i < kRounds; ++i) {
        if (TSystemError::Of(code).Text != expected) {
          // Relaxed: a count read after the threads have been joined.
          wrong.fetch_add(1, std::memory_order_relaxed);
        }
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(wrong.load(std::memory_order_relaxed), 0);
}

}  // namespace
}  // namespace bx
