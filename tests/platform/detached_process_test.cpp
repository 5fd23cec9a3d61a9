#include "platform/detached_process.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "support/temp_home.h"

namespace bx {
namespace {

TEST(DetachedProcessTest, StartsAProgramAndReportsOneThatCannotStart) {
  test::TTempHome home;
  std::string marker = home / "started";
  ASSERT_TRUE(SpawnDetached({"sh", "-c", "echo ok > \"$0\"", marker}));
  // The program runs on its own; wait (bounded) for the file it writes.
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (test::ReadFile(marker) != "ok\n" && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  EXPECT_EQ(test::ReadFile(marker), "ok\n");

  std::string error;
  EXPECT_FALSE(SpawnDetached({"/no/such/program"}, &error));
  EXPECT_EQ(error, "/no/such/program: No such file or directory");
  EXPECT_FALSE(SpawnDetached({}, &error));
}

}  // namespace
}  // namespace bx
