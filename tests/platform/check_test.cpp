#include "platform/check.h"

#include <gtest/gtest.h>

#include <thread>

#include "platform/message_loop.h"

namespace bx {
namespace {

TEST(CheckDeathTest, ABrokenInvariantAbortsNamingTheConditionAndThePlace) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  int calls = 0;
  auto count = [&] { return ++calls; };
  BX_CHECK(count() == 1);  // evaluated once, and true: nothing happens
  EXPECT_EQ(calls, 1);
  EXPECT_DEATH(BX_CHECK(count() == 7), "check failed: count\\(\\) == 7 at .*check_test.cpp:[0-9]+");
  EXPECT_DEATH(BX_CHECK_MSG(calls < 0, "queue linked twice"),
               "check failed: calls < 0 at .*check_test.cpp:[0-9]+: queue linked twice");
}

TEST(CheckDeathTest, DebugChecksAbortOnlyInDebugBuildsAndCostNothingInRelease) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  int calls = 0;
  auto count = [&] { return ++calls; };
  BX_DCHECK(count() > 0);
  EXPECT_EQ(calls, kDCheckIsOn ? 1 : 0);  // release builds never evaluate the condition
  // The message loop's own thread passes; another thread is refused in debug builds only.
  TMessageLoop loop;
  loop.AssertInLoopThread();
  if (kDCheckIsOn) {
    EXPECT_DEATH(std::thread([&] { loop.AssertInLoopThread(); }).join(),
                 "called off the thread that owns the message loop");
  } else {
    std::thread([&] { loop.AssertInLoopThread(); }).join();
  }
}

}  // namespace
}  // namespace bx
