// The service manager's notification socket, played by the test: a path and an abstract name.
#include "platform/service_manager.h"

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/instance_lock.h"
#include "support/temp_home.h"

namespace bx {
namespace {

// A datagram socket bound to `name` ("@..." for the abstract namespace).
class TReceiver {
 public:
  explicit TReceiver(const std::string& name) {
    FFd = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, name.data(), name.size());
    if (name[0] == '@') address.sun_path[0] = '\0';
    const auto length = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + name.size() +
                                               (name[0] == '@' ? 0 : 1));
    EXPECT_EQ(::bind(FFd, reinterpret_cast<sockaddr*>(&address), length), 0)
        << std::strerror(errno);
    timeval timeout{5, 0};
    ::setsockopt(FFd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
  }
  ~TReceiver() { ::close(FFd); }
  std::string Receive() {
    char buffer[256];
    const ssize_t n = ::recv(FFd, buffer, sizeof buffer, 0);
    return n > 0 ? std::string(buffer, static_cast<size_t>(n)) : "<nothing>";
  }

 private:
  int FFd = -1;
};

class ServiceManagerTest : public ::testing::Test {
 protected:
  ~ServiceManagerTest() override { ::unsetenv("NOTIFY_SOCKET"); }
  test::TTempHome FHome;
};

TEST_F(ServiceManagerTest, NotificationsReachPathAndAbstractSockets) {
  ::unsetenv("NOTIFY_SOCKET");
  std::string error;
  EXPECT_EQ(ServiceNotifySocket(), "");
  EXPECT_FALSE(SendServiceNotification("READY=1", &error));
  EXPECT_EQ(error, "NOTIFY_SOCKET is not set");

  const std::string path = FHome / "notify";
  TReceiver byPath(path);
  ::setenv("NOTIFY_SOCKET", path.c_str(), 1);
  EXPECT_TRUE(SendServiceNotification("READY=1", &error)) << error;
  EXPECT_EQ(byPath.Receive(), "READY=1");

  const std::string abstract = "@bx-notify-test-" + std::to_string(::getpid());
  TReceiver byName(abstract);
  ::setenv("NOTIFY_SOCKET", abstract.c_str(), 1);
  EXPECT_TRUE(SendServiceNotification("STOPPING=1", &error)) << error;
  EXPECT_EQ(byName.Receive(), "STOPPING=1");

  // Nobody listening, or a name that is no socket name: a failure with the reason.
  ::setenv("NOTIFY_SOCKET", (FHome / "absent").c_str(), 1);
  EXPECT_FALSE(SendServiceNotification("READY=1", &error));
  EXPECT_NE(error.find("absent"), std::string::npos);
  ::setenv("NOTIFY_SOCKET", "relative/name", 1);
  EXPECT_FALSE(SendServiceNotification("READY=1", &error));
}

TEST_F(ServiceManagerTest, ProgramsRunToTheirExitCode) {
  std::string error;
  EXPECT_EQ(RunProgramAndWait({"sh", "-c", "exit 3"}, &error), 3);
  EXPECT_EQ(RunProgramAndWait({"/nonexistent/program"}, &error), -1);
  EXPECT_NE(error.find("/nonexistent/program"), std::string::npos);
}

TEST_F(ServiceManagerTest, TheInstanceLockIsExclusiveUntilReleased) {
  const std::string path = FHome / "lock";
  std::unique_ptr<TInstanceLock> first = TInstanceLock::TryAcquire(path);
  ASSERT_NE(first, nullptr);
  std::string error;
  EXPECT_EQ(TInstanceLock::TryAcquire(path, &error), nullptr);
  EXPECT_NE(error.find(path), std::string::npos);
  first.reset();
  EXPECT_NE(TInstanceLock::TryAcquire(path), nullptr);
  EXPECT_EQ(TInstanceLock::TryAcquire(FHome / "no/such/folder/lock", &error), nullptr);
}

}  // namespace
}  // namespace bx
