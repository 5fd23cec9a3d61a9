// The service manager's notification socket, played by the test: a path and an abstract name.
#include "platform/service_manager.h"

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <pwd.h>

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
    char buffer[4096];
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

TEST_F(ServiceManagerTest, JournalEntriesInTheNativeProtocol) {
  const std::string path = FHome / "journal.sock";
  TReceiver journal(path);
  ::setenv("BREVIX_JOURNAL_SOCKET", path.c_str(), 1);
  TJournal writer("BrevixDispatcher");
  ASSERT_TRUE(writer.Send(4, "Destination for {X} NOT FOUND", {{"BX_LEVEL", "Warning"}}));
  EXPECT_EQ(
      journal.Receive(),
      "MESSAGE=Destination for {X} NOT FOUND\nPRIORITY=4\nSYSLOG_IDENTIFIER=BrevixDispatcher\n"
      "BX_LEVEL=Warning\n");
  // A value with a newline: name, newline, 64-bit little-endian length, bytes, newline.
  ASSERT_TRUE(writer.Send(9, "two\nlines"));
  const std::string binary = journal.Receive();
  EXPECT_EQ(binary, std::string("MESSAGE\n\x09\0\0\0\0\0\0\0two\nlines\nPRIORITY=7\n", 37) +
                        "SYSLOG_IDENTIFIER=BrevixDispatcher\n");

  // A journal that does not read: the sends fail after a bounded wait instead of hanging, and
  // work again once it reads.
  int refused = 0;
  for (int i = 0; i < 64 && refused < 3; ++i) {
    if (!writer.Send(6, "entry " + std::to_string(i))) ++refused;
  }
  EXPECT_EQ(refused, 3);
  while (journal.Receive().rfind("MESSAGE=entry", 0) == 0) {
    if (writer.Send(6, "again")) break;
  }
  std::string error;
  ::setenv("BREVIX_JOURNAL_SOCKET", (FHome / "none.sock").c_str(), 1);
  TJournal missing("BrevixDispatcher");
  EXPECT_FALSE(missing.Send(3, "nobody listens", {}, &error));
  EXPECT_NE(error.find("none.sock"), std::string::npos) << error;
  ::unsetenv("BREVIX_JOURNAL_SOCKET");
}

TEST_F(ServiceManagerTest, WatchdogIntervalAndEffectiveUser) {
  ::unsetenv("WATCHDOG_USEC");
  ::unsetenv("WATCHDOG_PID");
  EXPECT_EQ(ServiceWatchdogMicroseconds(), 0u);
  ::setenv("WATCHDOG_USEC", "30000000", 1);
  EXPECT_EQ(ServiceWatchdogMicroseconds(), 30000000u);
  ::setenv("WATCHDOG_PID", std::to_string(::getpid()).c_str(), 1);
  EXPECT_EQ(ServiceWatchdogMicroseconds(), 30000000u);
  ::setenv("WATCHDOG_PID", std::to_string(::getpid() + 1).c_str(), 1);  // another process's
  EXPECT_EQ(ServiceWatchdogMicroseconds(), 0u);
  ::unsetenv("WATCHDOG_PID");
  ::setenv("WATCHDOG_USEC", "30s", 1);
  EXPECT_EQ(ServiceWatchdogMicroseconds(), 0u);
  ::unsetenv("WATCHDOG_USEC");

  const passwd* account = ::getpwuid(::geteuid());
  ASSERT_NE(account, nullptr);
  EXPECT_EQ(EffectiveUserName(), account->pw_name);
  EXPECT_TRUE(UserAccountExists(account->pw_name));
  EXPECT_FALSE(UserAccountExists("no-such-brevix-account"));
}

}  // namespace
}  // namespace bx
