#include "platform/detached_process.h"

#include <gtest/gtest.h>
#include <signal.h>

#include <chrono>
#include <cstdlib>
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

bool WaitForFile(const std::string& path, const std::string& holding) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (!test::FileExists(path) || test::ReadFile(path).find(holding) == std::string::npos) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return true;
}

TEST(DetachedProcessTest, AStartedProgramGetsTheDefaultSignalMaskAndDispositions) {
  test::TTempHome home;
  // As a dispatcher does: its stop signals blocked (in this thread), and one signal ignored.
  sigset_t stop, previous;
  sigemptyset(&stop);
  sigaddset(&stop, SIGTERM);
  sigaddset(&stop, SIGINT);
  ASSERT_EQ(pthread_sigmask(SIG_BLOCK, &stop, &previous), 0);
  struct sigaction ignore {};
  ignore.sa_handler = SIG_IGN;
  struct sigaction previousAction {};
  ASSERT_EQ(sigaction(SIGUSR2, &ignore, &previousAction), 0);

  // The copy is made by the started program itself, so it holds that program's own masks.
  const std::string out = home / "status";
  const bool started = SpawnDetached({"cp", "/proc/self/status", out});
  pthread_sigmask(SIG_SETMASK, &previous, nullptr);
  sigaction(SIGUSR2, &previousAction, nullptr);
  ASSERT_TRUE(started);
  // SigCgt follows the two lines looked at: the copy is whole once it is there.
  ASSERT_TRUE(WaitForFile(out, "SigCgt:"));
  std::string masks;
  const std::string status = test::ReadFile(out);
  for (const char* name : {"SigBlk:", "SigIgn:"}) {
    const size_t at = status.find(name);
    ASSERT_NE(at, std::string::npos) << status;
    masks += status.substr(at, status.find('\n', at) + 1 - at);
  }
  EXPECT_EQ(masks, "SigBlk:\t0000000000000000\nSigIgn:\t0000000000000000\n");
}

TEST(DetachedProcessTest, AWatchedProgramsEndIsNoticedAtOnce) {
  std::string error;
  auto quick = TWatchedProgram::Start({"sh", "-c", "exit 3"}, &error);
  ASSERT_NE(quick, nullptr) << error;
  EXPECT_GT(quick->Pid(), 0);
  // The wait ends with the program, long before its bound.
  EXPECT_TRUE(quick->WaitEnded(std::chrono::seconds(60)));
  EXPECT_TRUE(quick->Ended());

  auto running = TWatchedProgram::Start({"sleep", "30"}, &error);
  ASSERT_NE(running, nullptr) << error;
  EXPECT_FALSE(running->Ended());
  EXPECT_FALSE(running->WaitEnded(std::chrono::milliseconds(50)));
  ASSERT_EQ(::kill(static_cast<pid_t>(running->Pid()), SIGKILL), 0);
  EXPECT_TRUE(running->WaitEnded(std::chrono::seconds(20)));

  EXPECT_EQ(TWatchedProgram::Start({"/no/such/program"}, &error), nullptr);
  EXPECT_EQ(error, "/no/such/program: No such file or directory");
}

}  // namespace
}  // namespace bx
