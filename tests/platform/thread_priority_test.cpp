#include "platform/thread_priority.h"

#include <gtest/gtest.h>
#include <sys/resource.h>

#include <algorithm>
#include <future>
#include <thread>
#include <utility>

namespace bx {
namespace {

TEST(ThreadPriorityTest, AnotherThreadSetsTheWorkersNiceValueAndGetReturnsWhatWasSet) {
  std::promise<TThreadPriorityHandle> handed;
  std::promise<void> lowered;
  std::promise<std::pair<int, int>> niceSeen;  // before, after
  std::promise<void> finish;
  std::thread worker([&] {
    const int before = ::getpriority(PRIO_PROCESS, 0);
    handed.set_value(CurrentThreadHandle());
    lowered.get_future().wait();
    niceSeen.set_value({before, ::getpriority(PRIO_PROCESS, 0)});
    finish.get_future().wait();  // the handle is used only while its thread lives
  });
  TThreadPriorityHandle handle = handed.get_future().get();
  ASSERT_TRUE(handle.IsValid());
  EXPECT_EQ(GetThreadPriority(handle), TThreadPriority::Normal);
  const int mainBefore = ::getpriority(PRIO_PROCESS, 0);
  SetThreadPriority(handle, TThreadPriority::Lower);
  EXPECT_EQ(GetThreadPriority(handle), TThreadPriority::Lower);
  lowered.set_value();
  // Lowering is always allowed: the worker runs at nice 5, or at its old value when the test
  // already runs niced further; the main thread is not touched.
  const auto [before, after] = niceSeen.get_future().get();
  EXPECT_EQ(after, std::max(before, NiceValueOf(TThreadPriority::Lower)));
  EXPECT_EQ(::getpriority(PRIO_PROCESS, 0), mainBefore);

  // Raising may be refused; the priority that was set is still what Get reports.
  SetThreadPriority(handle, TThreadPriority::TimeCritical);
  EXPECT_EQ(GetThreadPriority(handle), TThreadPriority::TimeCritical);
  finish.set_value();
  worker.join();
}

TEST(ThreadPriorityTest, NiceValuesFallWithRisingPriorityAndAnEmptyHandleIsHarmless) {
  int previous = 100;
  for (TThreadPriority p : {TThreadPriority::Idle, TThreadPriority::Lowest, TThreadPriority::Lower,
                            TThreadPriority::Normal, TThreadPriority::Higher,
                            TThreadPriority::Highest, TThreadPriority::TimeCritical}) {
    EXPECT_LT(NiceValueOf(p), previous);
    previous = NiceValueOf(p);
  }
  EXPECT_EQ(NiceValueOf(TThreadPriority::Normal), 0);
  TThreadPriorityHandle none;
  SetThreadPriority(none, TThreadPriority::Idle);
  EXPECT_EQ(GetThreadPriority(none), TThreadPriority::Normal);
}

}  // namespace
}  // namespace bx
