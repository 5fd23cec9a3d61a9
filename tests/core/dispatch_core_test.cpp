#include "core/dispatch_core.h"

#include <gtest/gtest.h>

#include <stdexcept>

namespace bx {
namespace {

TEST(DispatchCoreTest, StartCreatesEventAndQueueShutdownFreesThem) {
  EXPECT_EQ(MessageQueue(), nullptr);
  EXPECT_EQ(MessageAvailableEvent(), nullptr);
  ShutdownDispatchCore();  // nothing to free: no effect

  StartDispatchCore();
  ASSERT_NE(MessageQueue(), nullptr);
  ASSERT_NE(MessageAvailableEvent(), nullptr);
  EXPECT_THROW(StartDispatchCore(), std::logic_error);

  // The queue signals the core's event.
  EXPECT_FALSE(MessageAvailableEvent()->IsSet());
  TDispatchMessageFields f;
  f.MsgType = 92;
  MessageQueue()->AddMessage(*BuildDispatchMessage(f));
  EXPECT_TRUE(MessageAvailableEvent()->IsSet());

  // A message still queued at shutdown is freed with the queue.
  ShutdownDispatchCore();
  EXPECT_EQ(MessageQueue(), nullptr);
  EXPECT_EQ(MessageAvailableEvent(), nullptr);

  StartDispatchCore();  // a new start after a shutdown is allowed
  EXPECT_TRUE(MessageQueue()->IsEmpty());
  ShutdownDispatchCore();
}

}  // namespace
}  // namespace bx
