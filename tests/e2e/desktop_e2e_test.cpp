// End-to-end: the real BxDispatcher and its desktop face module. The activity log's dates in
// the user's locale; a named but unreachable display runs headless and says why; on a private
// Xvfb the face loads, serves loggers and stops cleanly.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <map>
#include <memory>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "support/child_process.h"
#include "support/temp_home.h"

namespace bx {
namespace {

using test::FileExists;
using test::ReadFile;
using test::RunProgram;
using test::TChildProcess;
using test::TTempHome;
using test::WaitFor;
using test::WriteFile;

const std::string kBin = BX_BIN_DIR;

// A locale of our own with the short date "%d.%m.%Y", made in `folder` (used through LOCPATH),
// so the test needs no installed locales.
bool MakeDotDateLocale(const std::string& folder) {
  WriteFile(folder + "/bx_test.def",
            "comment_char %\nescape_char /\nLC_TIME\n"
            "abday \"Sun\";\"Mon\";\"Tue\";\"Wed\";\"Thu\";\"Fri\";\"Sat\"\n"
            "day \"Sunday\";\"Monday\";\"Tuesday\";\"Wednesday\";\"Thursday\";\"Friday\";"
            "\"Saturday\"\n"
            "abmon \"Jan\";\"Feb\";\"Mar\";\"Apr\";\"May\";\"Jun\";\"Jul\";\"Aug\";\"Sep\";"
            "\"Oct\";\"Nov\";\"Dec\"\n"
            "mon \"January\";\"February\";\"March\";\"April\";\"May\";\"June\";\"July\";"
            "\"August\";\"September\";\"October\";\"November\";\"December\"\n"
            "am_pm \"AM\";\"PM\"\nd_t_fmt \"%a %d %b %Y %T\"\nd_fmt \"%d.%m.%Y\"\nt_fmt \"%T\"\n"
            "t_fmt_ampm \"\"\nEND LC_TIME\n");
  // localedef warns about the categories it does not find and may exit non-zero for them;
  // what counts is the LC_TIME it wrote.
  RunProgram({"/usr/bin/localedef", "-c", "-i", folder + "/bx_test.def", "-f", "ANSI_X3.4-1968",
              folder + "/bx_TEST"},
             folder);
  return FileExists(folder + "/bx_TEST/LC_TIME");
}

std::vector<std::string> EntryLines(const std::string& file) {
  std::vector<std::string> lines;
  std::istringstream in(file);
  std::string line;
  std::getline(in, line);  // the header
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (!line.empty()) lines.push_back(line);
  }
  return lines;
}

class DesktopE2ETest : public ::testing::Test {
 protected:
  DesktopE2ETest() {
    WriteFile(FHome / "common/Korvane/Brevix/4.0/BxDispatcher.ini", "[Settings]\nUIMode=1\n");
  }
  std::string Log() const {
    return ReadFile(FHome / "user/Korvane/Brevix/4.0/BxDispatcherLog.txt");
  }
  std::unique_ptr<TChildProcess> Start(std::map<std::string, std::string> env) {
    env.emplace("DISPLAY", "\x01");
    env.emplace("WAYLAND_DISPLAY", "\x01");
    env.emplace("LC_ALL", "\x01");
    auto child = std::make_unique<TChildProcess>(std::vector<std::string>{kBin + "/BxDispatcher"},
                                                 env, FHome.Path());
    EXPECT_TRUE(WaitFor(
        [&] {
          return Log().find("UIMode=") != std::string::npos &&
                 FileExists(FHome / "run/TFrmDispatcher.Brevix Dispatcher.sock");
        },
        std::chrono::seconds(60)))
        << Log() << child->StandardError();
    return child;
  }
  std::string Send(const std::vector<std::string>& args) {
    std::vector<std::string> argv{kBin + "/BxSend"};
    argv.insert(argv.end(), args.begin(), args.end());
    return RunProgram(argv, FHome.Path()).Output;
  }
  void Stop(TChildProcess& child) {
    EXPECT_EQ(Send({"--stop"}), "1\n");
    EXPECT_EQ(child.Wait(std::chrono::seconds(60)), 0) << child.StandardError();
    EXPECT_NE(Log().find("Dispatcher has been stopped"), std::string::npos);
  }

  TTempHome FHome;
};

TEST_F(DesktopE2ETest, DatesFollowTheUsersShortDateFormat) {
  if (access("/usr/bin/localedef", X_OK) != 0) GTEST_SKIP() << "localedef is not installed";
  ASSERT_TRUE(MakeDotDateLocale(FHome / "locale"));
  auto child = Start({{"LOCPATH", FHome / "locale"}, {"LC_TIME", "bx_TEST"}, {"LANG", "\x01"}});
  Stop(*child);
  const std::regex dotted(
      "[A-Za-z]+\t[0-9]{2}\\.[0-9]{2}\\.[0-9]{4}\t[0-9]{2}:[0-9]{2}:[0-9]{2}\\."
      "[0-9]{3}\t.*");
  const std::vector<std::string> lines = EntryLines(Log());
  ASSERT_GE(lines.size(), 3u) << Log();
  for (const std::string& line : lines) EXPECT_TRUE(std::regex_match(line, dotted)) << line;

  // Without a locale of the user's the C locale's month/day/year stays.
  TTempHome other;
  WriteFile(other / "common/Korvane/Brevix/4.0/BxDispatcher.ini", "[Settings]\nUIMode=1\n");
  auto plain = std::make_unique<TChildProcess>(
      std::vector<std::string>{kBin + "/BxDispatcher"},
      std::map<std::string, std::string>{{"DISPLAY", "\x01"},
                                         {"WAYLAND_DISPLAY", "\x01"},
                                         {"LC_ALL", "\x01"},
                                         {"LC_TIME", "\x01"},
                                         {"LANG", "\x01"}},
      other.Path());
  ASSERT_TRUE(
      WaitFor([&] { return FileExists(other / "run/TFrmDispatcher.Brevix Dispatcher.sock"); },
              std::chrono::seconds(60)));
  EXPECT_EQ(RunProgram({kBin + "/BxSend", "--stop"}, other.Path()).Output, "1\n");
  EXPECT_EQ(plain->Wait(std::chrono::seconds(60)), 0);
  const std::regex slashed("[A-Za-z]+\t[0-9]{2}/[0-9]{2}/[0-9]{2}\t.*");
  const std::vector<std::string> cLines =
      EntryLines(ReadFile(other / "user/Korvane/Brevix/4.0/BxDispatcherLog.txt"));
  ASSERT_FALSE(cLines.empty());
  for (const std::string& line : cLines) EXPECT_TRUE(std::regex_match(line, slashed)) << line;
}

// A display that is named but cannot be opened: headless, one Info entry with the reason, and
// everything else as without a display.
TEST_F(DesktopE2ETest, UnreachableDisplayRunsHeadlessAndSaysWhy) {
  auto child =
      Start({{"DISPLAY", ":" + std::to_string(900 + getpid() % 90)}, {"QT_QPA_PLATFORM", "\x01"}});
  EXPECT_EQ(Send({"--is-service"}), "0\n");
  EXPECT_EQ(Send({"--show-log"}), "1\n");
  Stop(*child);
  const std::string note =
      "No desktop face (the display cannot be opened): running without tray icon, log window and "
      "dialogs";
  int notes = 0;
  for (const std::string& line : EntryLines(Log())) notes += line.find(note) != std::string::npos;
  EXPECT_EQ(notes, 1) << Log();
}

// On a private X display without a tray host: the face loads (its note about the missing
// notification area is the proof), a logger is served, the log window opens, and the stop is
// clean.
TEST_F(DesktopE2ETest, DesktopRunLoadsTheFaceOnAnXDisplay) {
  if (access("/usr/bin/Xvfb", X_OK) != 0) GTEST_SKIP() << "Xvfb is not installed";
  if (!FileExists(std::string(BX_BIN_DIR) + "/../lib/brevix/BxDispatcherFace.so")) {
    GTEST_SKIP() << "built without the desktop face";
  }
  TChildProcess xvfb(
      {"/usr/bin/Xvfb", "-displayfd", "1", "-screen", "0", "1024x768x24", "-nolisten", "tcp"}, {},
      FHome.Path());
  ASSERT_TRUE(WaitFor([&] { return xvfb.StandardOutput().find('\n') != std::string::npos; },
                      std::chrono::seconds(30)))
      << xvfb.StandardError();
  const std::string display =
      ":" + xvfb.StandardOutput().substr(0, xvfb.StandardOutput().find('\n'));
  WriteFile(FHome / "runtime/.keep", "");
  chmod((FHome / "runtime").c_str(), 0700);
  auto child = Start({{"DISPLAY", display},
                      {"QT_QPA_PLATFORM", "xcb"},
                      {"DBUS_SESSION_BUS_ADDRESS", "\x01"},
                      {"XDG_RUNTIME_DIR", FHome / "runtime"}});
  EXPECT_TRUE(WaitFor(
      [&] {
        return Log().find(
                   "No notification area on this display: the tray icon appears when one "
                   "starts") != std::string::npos;
      },
      std::chrono::seconds(60)))
      << Log();
  EXPECT_EQ(Log().find("No desktop face"), std::string::npos);
  EXPECT_EQ(Send({"message", "--id", "{5A4B3C2D-1E0F-4A9B-8C7D-6E5F4A3B2C1D}", "--text", "hi"}),
            "1\n");
  EXPECT_EQ(Send({"--show-log"}), "1\n");
  Stop(*child);
  EXPECT_EQ(child->StandardError().find("QSocketNotifier"), std::string::npos);
}

}  // namespace
}  // namespace bx
