#include "platform/message_loop.h"

#include <gtest/gtest.h>
#include <poll.h>

#include <atomic>
#include <future>
#include <stop_token>
#include <thread>
#include <vector>

namespace bx {
namespace {

using namespace std::chrono_literals;

constexpr uint32_t kMsgWork = WM_USER + 1;

// Whether the loop's wake handle is readable, waiting at most `wait` for it.
bool WakeReadable(intptr_t handle, int waitMs = 0) {
  pollfd p{static_cast<int>(handle), POLLIN, 0};
  return poll(&p, 1, waitMs) == 1 && (p.revents & POLLIN) != 0;
}

TEST(MessageLoopThreadsTest, PostsFromSeveralThreadsKeepEachThreadsOrder) {
  TMessageLoop loop;
  constexpr int kThreads = 4;
  constexpr int kEach = 2000;
  std::vector<uint64_t> next(kThreads, 0);
  int handled = 0;
  bool inOrder = true;
  loop.SetHandler([&](TLoopMessage& m) -> int64_t {
    if (m.Msg == kMsgWork) {
      if (m.WParam >= kThreads || next[m.WParam] != m.LParam) inOrder = false;
      if (m.WParam < kThreads) next[m.WParam] = m.LParam + 1;
      ++handled;
    }
    return 0;
  });
  std::vector<std::thread> posters;
  for (uint64_t t = 0; t < kThreads; ++t) {
    posters.emplace_back([&loop, t] {
      for (uint64_t i = 0; i < kEach; ++i) ASSERT_TRUE(loop.Post(kMsgWork, t, i));
    });
  }
  std::thread quitter([&] {
    for (auto& p : posters) p.join();
    loop.Quit(5);
  });
  EXPECT_EQ(loop.Run(), 5);
  quitter.join();
  EXPECT_TRUE(inOrder);
  EXPECT_EQ(handled, kThreads * kEach);
  EXPECT_TRUE(loop.Ended());
  EXPECT_FALSE(loop.Post(kMsgWork));
}

TEST(MessageLoopThreadsTest, SendWaitsForTheHandlersResultOnTheLoopThread) {
  TMessageLoop loop;
  const auto loopThread = std::this_thread::get_id();
  bool ranOnLoopThread = true;
  loop.SetHandler([&](TLoopMessage& m) -> int64_t {
    if (std::this_thread::get_id() != loopThread) ranOnLoopThread = false;
    if (m.Msg == kMsgWork && m.Data == "boom") throw std::runtime_error("handler failed");
    return static_cast<int64_t>(m.WParam * 2 + m.Data.size());
  });
  std::optional<int64_t> result;
  std::optional<int64_t> failed;
  std::thread sender([&] {
    result = loop.Send(kMsgWork, 20, 0, "abc");
    failed = loop.Send(kMsgWork, 1, 0, "boom");
    loop.Quit(0);
  });
  EXPECT_EQ(loop.Run(), 0);
  sender.join();
  EXPECT_EQ(result, std::optional<int64_t>(43));
  EXPECT_EQ(failed, std::nullopt);  // a throwing handler is a failure for the sender
  EXPECT_TRUE(ranOnLoopThread);
}

TEST(MessageLoopThreadsTest, SendFailsInsteadOfWaitingWhenTheLoopEndsOrTheWorkerStops) {
  // A sender queued behind WM_QUIT, or arriving after the end, is released with no value and
  // its message is never handled.
  {
    TMessageLoop loop;
    int handled = 0;
    loop.SetHandler([&](TLoopMessage&) -> int64_t { return ++handled; });
    loop.Quit(2);
    std::optional<int64_t> behindQuit = 99;
    std::thread sender([&] { behindQuit = loop.Send(kMsgWork); });
    EXPECT_EQ(loop.Run(), 2);
    sender.join();
    EXPECT_EQ(behindQuit, std::nullopt);
    std::optional<int64_t> afterEnd = 99;
    std::thread late([&] { afterEnd = loop.Send(kMsgWork); });
    late.join();
    EXPECT_EQ(afterEnd, std::nullopt);
    EXPECT_EQ(handled, 0);
  }
  // A worker blocked in Send while the owner does not run the loop (it is joining the worker)
  // gets out as soon as it is asked to stop.
  {
    TMessageLoop loop;
    std::promise<void> sending;
    std::optional<int64_t> result = 99;
    std::jthread worker([&](std::stop_token stop) {
      sending.set_value();
      result = loop.Send(kMsgWork, 0, 0, {}, stop);
    });
    sending.get_future().wait();
    worker.request_stop();
    worker.join();
    EXPECT_EQ(result, std::nullopt);
  }
  // A stop requested before the call fails at once and leaves nothing queued.
  {
    TMessageLoop loop;
    int handled = 0;
    loop.SetHandler([&](TLoopMessage&) -> int64_t { return ++handled; });
    std::stop_source stopped;
    stopped.request_stop();
    std::thread worker(
        [&] { EXPECT_EQ(loop.Send(kMsgWork, 0, 0, {}, stopped.get_token()), std::nullopt); });
    worker.join();
    EXPECT_TRUE(loop.ProcessPending());
    EXPECT_EQ(handled, 0);
  }
}

TEST(MessageLoopThreadsTest, TimersFireUntilKilledAndQuitEndsRunWithItsCode) {
  TMessageLoop loop;
  int fastTicks = 0;
  int slowTicks = 0;
  loop.SetHandler([&](TLoopMessage& m) -> int64_t {
    if (m.Msg != WM_TIMER) return 0;
    if (m.WParam == 1 && ++fastTicks == 3) {
      loop.KillTimer(1);
      loop.Quit(7);
    }
    if (m.WParam == 2) ++slowTicks;
    return 0;
  });
  loop.SetTimer(1, 5ms);
  loop.SetTimer(2, 1h);  // never due during the test
  EXPECT_EQ(loop.Run(), 7);
  EXPECT_EQ(fastTicks, 3);
  EXPECT_EQ(slowTicks, 0);
}

TEST(MessageLoopThreadsTest, MessagesBehindQuitAreNotHandled) {
  TMessageLoop loop;
  std::vector<uint64_t> seen;
  loop.SetHandler([&](TLoopMessage& m) -> int64_t {
    seen.push_back(m.WParam);
    return 0;
  });
  std::thread poster([&] {
    loop.Post(kMsgWork, 1);
    loop.Post(kMsgWork, 2);
    loop.Quit(3);
    loop.Post(kMsgWork, 4);
  });
  poster.join();
  EXPECT_EQ(loop.Run(), 3);
  EXPECT_EQ(seen, (std::vector<uint64_t>{1, 2}));
  EXPECT_FALSE(loop.Post(kMsgWork, 5));
}

// The toolkit-driven loop: the wake handle tells a sleeping event loop that work waits, and
// nothing else does; ProcessPending clears it.
TEST(MessageLoopThreadsTest, WakeHandleIsReadableExactlyWhileWorkWaits) {
  TMessageLoop loop;
  std::vector<uint64_t> seen;
  loop.SetHandler([&](TLoopMessage& m) -> int64_t {
    seen.push_back(m.WParam);
    return static_cast<int64_t>(m.WParam) + 1;
  });
  loop.Post(kMsgWork, 1);
  const intptr_t handle = loop.WakeHandle();
  EXPECT_EQ(handle, loop.WakeHandle());
  EXPECT_TRUE(WakeReadable(handle)) << "work queued before the handle existed";
  EXPECT_TRUE(loop.ProcessPending());
  EXPECT_FALSE(WakeReadable(handle));

  // A sender on another thread wakes the sleeping loop and is answered by one pump.
  std::promise<std::optional<int64_t>> answer;
  std::thread sender([&] { answer.set_value(loop.Send(kMsgWork, 41)); });
  ASSERT_TRUE(WakeReadable(handle, 30000));
  EXPECT_TRUE(loop.ProcessPending());
  EXPECT_EQ(answer.get_future().get(), std::optional<int64_t>(42));
  sender.join();
  EXPECT_FALSE(WakeReadable(handle));

  // A timer set from another thread wakes it too, so the event loop re-arms its timer.
  EXPECT_FALSE(loop.NextTimerDue().has_value());
  std::thread setter([&] { loop.SetTimer(7, 3600s); });
  setter.join();
  EXPECT_TRUE(WakeReadable(handle));
  ASSERT_TRUE(loop.NextTimerDue().has_value());
  EXPECT_GT(*loop.NextTimerDue(), std::chrono::steady_clock::now() + 3000s);
  loop.SetTimer(8, 1800s);
  EXPECT_LT(*loop.NextTimerDue(), std::chrono::steady_clock::now() + 2000s);
  EXPECT_TRUE(loop.ProcessPending());
  EXPECT_FALSE(WakeReadable(handle)) << "no timer due yet, nothing to do";
  loop.KillTimer(7);
  loop.KillTimer(8);
  EXPECT_FALSE(loop.NextTimerDue().has_value());
  EXPECT_EQ(seen, (std::vector<uint64_t>{1, 41}));
}

// A handler that runs a nested loop (a modal dialog) keeps the messages flowing in their order,
// and a WM_QUIT taken inside ends the outer pump too.
TEST(MessageLoopThreadsTest, NestedPumpKeepsTheOrderAndAQuitInsideEndsTheOuterPump) {
  TMessageLoop loop;
  const intptr_t handle = loop.WakeHandle();
  std::vector<uint64_t> order;
  bool nestedSawWake = false;
  bool nestedResult = true;
  loop.SetHandler([&](TLoopMessage& m) -> int64_t {
    order.push_back(m.WParam);
    if (m.WParam == 1) {
      // The "dialog": its loop wakes for what the outer pump left queued and handles it first.
      nestedSawWake = WakeReadable(handle);
      loop.Post(kMsgWork, 4);
      EXPECT_TRUE(loop.ProcessPending());
      loop.Post(kMsgWork, 5);
      loop.Quit(3);
      loop.Post(kMsgWork, 6);
      nestedResult = loop.ProcessPending();
    }
    return 0;
  });
  loop.Post(kMsgWork, 1);
  loop.Post(kMsgWork, 2);
  loop.Post(kMsgWork, 3);
  EXPECT_FALSE(loop.ProcessPending());
  EXPECT_TRUE(nestedSawWake);
  EXPECT_FALSE(nestedResult);
  EXPECT_EQ(order, (std::vector<uint64_t>{1, 2, 3, 4, 5}));
  EXPECT_EQ(loop.ExitCode(), 3);
  EXPECT_TRUE(loop.Ended());
  EXPECT_FALSE(loop.Post(kMsgWork, 7));
}

}  // namespace
}  // namespace bx
