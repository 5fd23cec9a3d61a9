// End-to-end: the real BxDispatcher in a temporary BREVIX_HOME, driven by BxSend over the
// window endpoint, TCP and UDP, its log files read back with BxFileViewer --json.
#include <gtest/gtest.h>

#include <pwd.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "messages/dispatch_message.h"
#include "platform/message_loop.h"
#include "platform/window_endpoint.h"
#include "support/child_process.h"
#include "support/free_port.h"
#include "support/temp_home.h"

namespace bx {
namespace {

using test::FileExists;
using test::ReadFile;
using test::RunProgram;
using test::TChildProcess;
using test::TRunResult;
using test::TTempHome;
using test::WaitFor;
using test::WriteFile;

const std::string kBin = BX_BIN_DIR;

std::vector<std::string> SplitLines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  std::string line;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (!line.empty()) lines.push_back(line);
  }
  return lines;
}

// The value of a JSON string field in one of BxFileViewer's lines (no escapes in our texts).
std::string JsonField(const std::string& line, const std::string& name) {
  const std::string key = "\"" + name + "\":\"";
  const size_t at = line.find(key);
  if (at == std::string::npos) return "<missing>";
  const size_t start = at + key.size();
  return line.substr(start, line.find('"', start) - start);
}

// The message text of every activity-log line (the part after the third tab).
std::vector<std::string> LogTexts(const std::string& file) {
  std::vector<std::string> texts;
  for (const std::string& line : SplitLines(file)) {
    size_t pos = 0;
    for (int i = 0; i < 3 && pos != std::string::npos; ++i) pos = line.find('\t', pos + (i > 0));
    if (line.rfind("MsgType", 0) == 0 || line.rfind("\xEF\xBB\xBF", 0) == 0) continue;
    const size_t third = line.find('\t', line.find('\t', line.find('\t') + 1) + 1);
    texts.push_back(third == std::string::npos ? line : line.substr(third + 1));
  }
  return texts;
}

bool Contains(const std::vector<std::string>& lines, const std::string& text) {
  return std::find(lines.begin(), lines.end(), text) != lines.end();
}

class DispatcherE2ETest : public ::testing::Test {
 protected:
  DispatcherE2ETest() : FTcpPort(test::FreeTcpPort()), FUdpPort(test::FreeUdpPort()) {
    WriteSettings(FTcpPort, FUdpPort);
    WriteFile(FHome / "logs/.keep", "");  // the log files' folder; destinations make no folders
  }

  std::string DataFolder() const { return FHome / "user/Korvane/Brevix/4.0/"; }
  std::string LogPath() const { return DataFolder() + "BxDispatcherLog.txt"; }
  std::string IDsPath() const { return DataFolder() + "BxDispatchIDs.ini"; }
  std::string SettingsPath() const { return FHome / "common/Korvane/Brevix/4.0/BxDispatcher.ini"; }
  std::string Log() const { return ReadFile(LogPath()); }

  void WriteSettings(uint16_t tcp, uint16_t udp) {
    WriteFile(SettingsPath(), "[Settings]\nUIMode=1\n[Ports]\nMonitorPorts=1\nTCPPort=" +
                                  std::to_string(tcp) + "\nUDPPort=" + std::to_string(udp) + "\n");
  }

  // Starts the dispatcher and waits until its start-up entries are written.
  std::unique_ptr<TChildProcess> Start(std::map<std::string, std::string> env = {},
                                       std::vector<std::string> args = {}) {
    args.insert(args.begin(), kBin + "/BxDispatcher");
    // Headless, also when the tests run on a desktop.
    env.emplace("DISPLAY", "\x01");
    env.emplace("WAYLAND_DISPLAY", "\x01");
    auto child = std::make_unique<TChildProcess>(args, env, FHome.Path());
    EXPECT_TRUE(WaitFor([&] {
      return Log().find("MonitorPorts=") != std::string::npos &&
             FileExists(FHome / "run/TFrmDispatcher.Brevix Dispatcher.sock");
    })) << Log()
        << child->StandardError();
    return child;
  }

  TRunResult Send(std::vector<std::string> args) {
    args.insert(args.begin(), kBin + "/BxSend");
    return RunProgram(args, FHome.Path());
  }
  std::string Tcp() const { return std::to_string(FTcpPort); }
  std::string Udp() const { return std::to_string(FUdpPort); }

  // BxFileViewer --json lines of one file.
  std::vector<std::string> Entries(const std::string& path) {
    return SplitLines(RunProgram({kBin + "/BxFileViewer", "--json", path}, FHome.Path()).Output);
  }
  std::vector<std::string> EntryTexts(const std::string& path) {
    std::vector<std::string> texts;
    for (const std::string& line : Entries(path)) texts.push_back(JsonField(line, "text"));
    return texts;
  }
  bool WaitForEntries(const std::string& path, size_t count) {
    return WaitFor([&] { return Entries(path).size() >= count; });
  }

  // Stops with WM_CLOSE and waits for the exit.
  void Stop(TChildProcess& child) {
    EXPECT_EQ(Send({"--stop"}).Output, "1\n");
    EXPECT_EQ(child.Wait(), 0);
  }

  TTempHome FHome;
  uint16_t FTcpPort;
  uint16_t FUdpPort;
};

TEST_F(DispatcherE2ETest, MessagesInEveryFormatReachTheRegisteredFiles) {
  auto dispatcher = Start();
  const std::string a = FHome / "logs/a.bxl";
  const std::string b = FHome / "logs/b.bxl";
  const std::string id = "{11111111-2222-3333-4444-555555555555}";
  EXPECT_EQ(Send({"register", "--id", id, "--destination",
                  "File[Path=" + a + "],File[Path=" + b + ";MaxSize=2;MaxParts=3]"})
                .Output,
            "1\n");

  std::vector<std::string> expected;
  const std::string details(300, 'd');  // so that the 2 KB parts fill up
  for (const char* format : {"record", "ansi", "xml-utf16", "legacy"}) {
    const std::string text = std::string("endpoint ") + format;
    EXPECT_EQ(
        Send({"message", "--id", id, "--format", format, "--text", text, "--details", details})
            .Output,
        "1\n")
        << format;
    expected.push_back(text);
  }
  for (const char* format : {"record", "ansi", "xml-utf8"}) {
    const std::string text = std::string("tcp ") + format;
    EXPECT_EQ(Send({"message", "--via", "tcp", "--port", Tcp(), "--id", id, "--format", format,
                    "--text", text})
                  .Output,
              "1\n")
        << format;
    expected.push_back(text);
  }
  EXPECT_EQ(Send({"message", "--via", "tcp", "--port", Tcp(), "--id", id, "--format", "legacy",
                  "--text", "tcp legacy"})
                .Output,
            "OK\n");
  expected.push_back("tcp legacy");
  // Formats a transport does not take are refused and written nowhere.
  Send({"message", "--id", id, "--format", "xml-utf8", "--text", "refused"});
  Send({"message", "--via", "tcp", "--port", Tcp(), "--id", id, "--format", "xml-utf16", "--text",
        "refused"});
  ASSERT_TRUE(WaitForEntries(a, expected.size())) << Log();
  EXPECT_EQ(Send({"message", "--via", "udp", "--port", Udp(), "--id", id, "--text", "udp record"})
                .ExitCode,
            0);
  expected.push_back("udp record");
  ASSERT_TRUE(WaitForEntries(a, expected.size())) << Log();

  EXPECT_EQ(EntryTexts(a), expected);
  // The second file is split into parts of 2 KB; together they hold the same entries.
  std::vector<std::string> parts;
  for (const char* part : {"b_1.bxl", "b_2.bxl", "b_3.bxl"}) {
    if (!FileExists(FHome / (std::string("logs/") + part))) continue;
    for (const std::string& t : EntryTexts(FHome / (std::string("logs/") + part)))
      parts.push_back(t);
  }
  EXPECT_EQ(parts, expected);
  EXPECT_TRUE(FileExists(FHome / "logs/b_2.bxl"));
  const std::string first = Entries(a).front();
  EXPECT_EQ(JsonField(first, "app"), "BxSend");
  EXPECT_NE(first.find("\"type\":4"), std::string::npos);

  Stop(*dispatcher);
  const std::vector<std::string> log = LogTexts(Log());
  EXPECT_TRUE(Contains(log, "Tcp Receiver Started"));
  EXPECT_TRUE(Contains(log, "Udp Receiver Started"));
  EXPECT_EQ(log.back(), "Dispatcher has been stopped");
}

TEST_F(DispatcherE2ETest, RegistrationsOverTcpAndUdpSurviveARestart) {
  auto dispatcher = Start();
  const std::string t = FHome / "logs/t.bxl";
  const std::string l = FHome / "logs/l.bxl";
  const std::string u = FHome / "logs/u.bxl";
  EXPECT_EQ(Send({"register", "--via", "tcp", "--port", Tcp(), "--id", "{T}", "--destination",
                  "File[Path=" + t + "]"})
                .Output,
            "1\n");
  EXPECT_EQ(Send({"register", "--via", "tcp", "--port", Tcp(), "--format", "legacy", "--id", "{L}",
                  "--destination", "File[Path=" + l + "]"})
                .ExitCode,
            0);
  EXPECT_EQ(Send({"register", "--via", "udp", "--port", Udp(), "--id", "{U}", "--destination",
                  "File[Path=" + u + "]"})
                .ExitCode,
            0);
  ASSERT_TRUE(WaitFor([&] {
    const std::string ids = ReadFile(IDsPath());
    return ids.find("[{T}]") != std::string::npos && ids.find("[{L}]") != std::string::npos &&
           ids.find("[{U}]") != std::string::npos;
  })) << ReadFile(IDsPath());
  for (const char* id : {"{T}", "{L}", "{U}"}) {
    Send({"message", "--via", "tcp", "--port", Tcp(), "--id", id, "--text", "before"});
  }
  ASSERT_TRUE(WaitForEntries(u, 1));
  const std::vector<std::string> log = LogTexts(Log());
  EXPECT_TRUE(Contains(log, "TCP Connection Established: Details=\"File[Path=" + l + "]\""));
  EXPECT_TRUE(Contains(log, "UDP Connection Established: Details=\"File[Path=" + u + "]\""));

  // WM_QUIT: no "stopped" entry, but the registrations are saved.
  EXPECT_EQ(Send({"--stop", "--quit"}).Output, "1\n");
  EXPECT_EQ(dispatcher->Wait(), 0);
  EXPECT_EQ(LogTexts(Log()).back().find("Dispatcher has been stopped"), std::string::npos);

  dispatcher = Start();
  EXPECT_NE(Log().find("Loading Saved Dispatch IDs (3)"), std::string::npos) << Log();
  for (const char* id : {"{T}", "{L}", "{U}"}) {
    Send({"message", "--id", id, "--text", "after"});
  }
  ASSERT_TRUE(WaitForEntries(u, 2));
  EXPECT_EQ(EntryTexts(t), (std::vector<std::string>{"before", "after"}));
  EXPECT_EQ(EntryTexts(l), (std::vector<std::string>{"before", "after"}));
  EXPECT_EQ(EntryTexts(u), (std::vector<std::string>{"before", "after"}));
  Stop(*dispatcher);
}

TEST_F(DispatcherE2ETest, ReloadSwitchesPortsAndWindowMessagesAnswer) {
  auto dispatcher = Start();
  EXPECT_EQ(Send({"--is-service"}).Output, "0\n");
  EXPECT_EQ(Send({"--show-log"}).Output, "1\n");

  const uint16_t tcp2 = test::FreeTcpPort();
  const uint16_t udp2 = test::FreeUdpPort();
  WriteSettings(tcp2, udp2);
  EXPECT_EQ(Send({"--reload", "--via", "tcp", "--port", Tcp()}).Output, "1\n");
  const std::string tcpSwitch =
      "TCP Receiver switching from port " + Tcp() + " to port " + std::to_string(tcp2);
  const std::string udpSwitch =
      "UDP Receiver switching from port " + Udp() + " to port " + std::to_string(udp2);
  ASSERT_TRUE(WaitFor([&] { return Contains(LogTexts(Log()), udpSwitch); })) << Log();
  EXPECT_TRUE(Contains(LogTexts(Log()), tcpSwitch));
  const std::string x = FHome / "logs/x.bxl";
  EXPECT_EQ(Send({"register", "--via", "tcp", "--port", std::to_string(tcp2), "--id", "{X}",
                  "--destination", "File[Path=" + x + "]"})
                .Output,
            "1\n");
  EXPECT_NE(Send({"message", "--via", "tcp", "--port", Tcp(), "--id", "{X}"}).ExitCode, 0);

  // The same through the window message.
  FTcpPort = tcp2;
  FUdpPort = udp2;
  const uint16_t tcp3 = test::FreeTcpPort();
  WriteSettings(tcp3, udp2);
  EXPECT_EQ(Send({"--reload"}).Output, "1\n");
  const std::string tcpSwitch2 =
      "TCP Receiver switching from port " + Tcp() + " to port " + std::to_string(tcp3);
  ASSERT_TRUE(WaitFor([&] { return Contains(LogTexts(Log()), tcpSwitch2); })) << Log();
  EXPECT_EQ(Send({"message", "--via", "tcp", "--port", std::to_string(tcp3), "--id", "{X}",
                  "--text", "moved"})
                .Output,
            "1\n");
  ASSERT_TRUE(WaitForEntries(x, 1));
  EXPECT_EQ(EntryTexts(x), std::vector<std::string>{"moved"});
  Stop(*dispatcher);
}

TEST_F(DispatcherE2ETest, SwitchesAndTheSecondInstance) {
  // An administrative switch edits the settings file and exits without starting.
  TRunResult run = RunProgram({kBin + "/BxDispatcher", "\\init_unrestricted"}, FHome.Path());
  EXPECT_EQ(run.ExitCode, 0);
  EXPECT_NE(ReadFile(SettingsPath()).find("UIMode=2"), std::string::npos);
  EXPECT_NE(ReadFile(SettingsPath()).find("TCPPort=" + Tcp()), std::string::npos);
  EXPECT_FALSE(FileExists(LogPath()));
  run = RunProgram({kBin + "/BxDispatcher", "\\INIT_STEALTH", "-REGISTER"}, FHome.Path());
  EXPECT_EQ(run.ExitCode, 0);
  EXPECT_NE(ReadFile(SettingsPath()).find("UIMode=2"), std::string::npos);  // REGISTER acted alone
  run = RunProgram({kBin + "/BxDispatcher", "\\INIT_STEALTH"}, FHome.Path());
  EXPECT_NE(ReadFile(SettingsPath()).find("UIMode=0"), std::string::npos);

  // While one runs, another exits at once and touches nothing, whatever its switches.
  auto dispatcher = Start();
  const std::string logBefore = Log();
  for (const char* arg : {"", "/INIT_RESTRICTED", "-INSTALL"}) {
    std::vector<std::string> argv{kBin + "/BxDispatcher"};
    if (*arg) argv.push_back(arg);
    run = RunProgram(argv, FHome.Path());
    EXPECT_EQ(run.ExitCode, 0) << arg;
    EXPECT_EQ(run.Output + run.Error, "") << arg;
  }
  EXPECT_NE(ReadFile(SettingsPath()).find("UIMode=0"), std::string::npos);
  EXPECT_FALSE(FileExists(FHome / "services/BrevixDispatcher.service"));
  EXPECT_EQ(Log(), logBefore);

  // SIGINT closes it like the stop command.
  dispatcher->Signal(SIGINT);
  EXPECT_EQ(dispatcher->Wait(), 0);
  EXPECT_EQ(LogTexts(Log()).back(), "Dispatcher has been stopped");
}

TEST_F(DispatcherE2ETest, OnATerminalTheActivityLogIsEchoed) {
  // script(1) gives the dispatcher a terminal as its standard output.
  TChildProcess terminal({"/usr/bin/script", "-qfec", kBin + "/BxDispatcher", "/dev/null"}, {},
                         FHome.Path());
  ASSERT_TRUE(WaitFor([&] { return Log().find("MonitorPorts=") != std::string::npos; }));
  ASSERT_TRUE(WaitFor([&] { return Send({"--stop"}).Output == "1\n"; }));
  EXPECT_EQ(terminal.Wait(), 0);
  const std::vector<std::string> echoed = SplitLines(terminal.StandardOutput());
  ASSERT_FALSE(echoed.empty());
  EXPECT_EQ(echoed.front().substr(0, 5), "Info\t");
  EXPECT_EQ(LogTexts(terminal.StandardOutput()), LogTexts(Log()));
  EXPECT_EQ(LogTexts(Log()).back(), "Dispatcher has been stopped");
}

// Plays systemd: a datagram socket that receives the service's notifications.
class TNotifySocket {
 public:
  explicit TNotifySocket(const std::string& path) : FPath(path) {
    FFd = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, path.c_str(), sizeof(address.sun_path) - 1);
    EXPECT_EQ(::bind(FFd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    timeval timeout{20, 0};
    ::setsockopt(FFd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
  }
  ~TNotifySocket() { ::close(FFd); }
  std::string Receive() {
    char buffer[512];
    const ssize_t n = ::recv(FFd, buffer, sizeof buffer, 0);
    return n > 0 ? std::string(buffer, static_cast<size_t>(n)) : "<nothing>";
  }
  // The next state that is not a progress report (start-time extension, status line, watchdog).
  std::string ReceiveState() {
    for (;;) {
      const std::string state = Receive();
      if (state.rfind("EXTEND_TIMEOUT_USEC=", 0) != 0 && state.rfind("STATUS=", 0) != 0 &&
          state != "WATCHDOG=1") {
        return state;
      }
    }
  }

 private:
  std::string FPath;
  int FFd = -1;
};

TEST_F(DispatcherE2ETest, ServiceModeUnderATestServiceManager) {
  // With a backslash the switch selects service mode but installs nothing; not started by the
  // service manager, the process ends at once.
  TRunResult selected =
      RunProgram({kBin + "/BxDispatcher", "\\INSTALL"}, FHome.Path(), {{"NOTIFY_SOCKET", "\x01"}});
  EXPECT_EQ(selected.ExitCode, 1);
  EXPECT_FALSE(FileExists(FHome / "services/BrevixDispatcher.service"));
  EXPECT_FALSE(FileExists(LogPath()));

  TRunResult run = RunProgram({kBin + "/BxDispatcher", "-Install"}, FHome.Path());
  EXPECT_EQ(run.ExitCode, 0);
  EXPECT_EQ(run.Output, "Service installed successfully\n");
  const std::string unit = ReadFile(FHome / "services/BrevixDispatcher.service");
  EXPECT_NE(unit.find("Type=notify\n"), std::string::npos);
  EXPECT_NE(unit.find("ExecStart=" + kBin + "/BxDispatcher\n"), std::string::npos);
  EXPECT_NE(unit.find("Restart=on-failure\n"), std::string::npos);
  EXPECT_NE(unit.find("LimitNOFILE=65536\n"), std::string::npos);

  // Installed, but not started by the service manager: ends without creating anything.
  run = RunProgram({kBin + "/BxDispatcher"}, FHome.Path(), {{"NOTIFY_SOCKET", "\x01"}});
  EXPECT_EQ(run.ExitCode, 1);
  EXPECT_FALSE(FileExists(LogPath()));

  TNotifySocket notify(FHome / "notify.sock");
  auto service = std::make_unique<TChildProcess>(
      std::vector<std::string>{kBin + "/BxDispatcher"},
      std::map<std::string, std::string>{{"NOTIFY_SOCKET", FHome / "notify.sock"}}, FHome.Path());
  EXPECT_EQ(notify.ReceiveState(), "READY=1");
  const passwd* account = ::getpwuid(::geteuid());
  ASSERT_NE(account, nullptr);
  const std::string loggedOn =
      std::string("Dispatcher is running as a service. Logged on as: ") + account->pw_name;
  ASSERT_TRUE(WaitFor([&] { return Log().find(loggedOn) != std::string::npos; })) << Log();
  EXPECT_EQ(Send({"--is-service"}).Output, "1\n");
  const std::string s = FHome / "logs/s.bxl";
  EXPECT_EQ(Send({"register", "--id", "{S}", "--destination", "File[Path=" + s + "]"}).Output,
            "1\n");
  EXPECT_EQ(
      Send({"message", "--via", "tcp", "--port", Tcp(), "--id", "{S}", "--text", "svc"}).Output,
      "1\n");
  ASSERT_TRUE(WaitForEntries(s, 1));

  service->Signal(SIGTERM);
  EXPECT_EQ(notify.ReceiveState(), "STOPPING=1");
  EXPECT_EQ(service->Wait(), 0);
  EXPECT_NE(ReadFile(IDsPath()).find("[{S}]"), std::string::npos);
  EXPECT_EQ(Log().find("Dispatcher has been stopped"), std::string::npos);

  run = RunProgram({kBin + "/BxDispatcher", "/UNINSTALL", "/silent"}, FHome.Path());
  EXPECT_EQ(run.ExitCode, 0);
  EXPECT_EQ(run.Output, "");
  EXPECT_FALSE(FileExists(FHome / "services/BrevixDispatcher.service"));
  run = RunProgram({kBin + "/BxDispatcher", "-UNINSTALL"}, FHome.Path());
  EXPECT_EQ(run.ExitCode, 1);
  EXPECT_NE(run.Error.find("could not be uninstalled"), std::string::npos);
}

TEST_F(DispatcherE2ETest, AStoppedViewerHoldsOtherDestinationsOnlyUntilTheDeadline) {
  using namespace std::chrono_literals;
  constexpr auto kDeadline = 30s;  // the viewer destination's send time-out
  constexpr auto kMargin = 15s;
  // The real viewer, started here so that it can be stopped and ended by its process id.
  TChildProcess viewer({kBin + "/BxLiveViewer"}, {}, FHome.Path());
  ASSERT_TRUE(
      WaitFor([&] { return FileExists(FHome / "run/TFrmViewer.Brevix Live Viewer.sock"); }));
  auto dispatcher = Start();
  const std::string viewerId = "{11111111-0000-0000-0000-00000000000A}";
  const std::string fileId = "{11111111-0000-0000-0000-00000000000B}";
  const std::string file = FHome / "logs/other.bxl";
  EXPECT_EQ(Send({"register", "--id", viewerId, "--destination", "Viewer"}).Output, "1\n");
  EXPECT_EQ(Send({"register", "--id", fileId, "--destination", "File[Path=" + file + "]"}).Output,
            "1\n");
  EXPECT_EQ(Send({"message", "--id", viewerId, "--text", "seen"}).Output, "1\n");
  ASSERT_TRUE(WaitFor([&] { return viewer.StandardOutput().find("seen") != std::string::npos; }))
      << Log();

  // Stopped: it still takes connections (the system queues them) but never reads or answers.
  viewer.Signal(SIGSTOP);
  const auto sent = std::chrono::steady_clock::now();
  EXPECT_EQ(Send({"message", "--id", viewerId, "--text", "to the stopped viewer"}).Output, "1\n");
  EXPECT_EQ(Send({"message", "--id", fileId, "--text", "for the file"}).Output, "1\n");
  EXPECT_TRUE(WaitFor([&] { return FileExists(file) && !Entries(file).empty(); }, 90s)) << Log();
  EXPECT_LT(std::chrono::steady_clock::now() - sent, kDeadline + kMargin);
  EXPECT_EQ(EntryTexts(file), std::vector<std::string>{"for the file"});

  // A message larger than the socket's buffers, so that even its write waits, then WM_CLOSE:
  // the stop waits for the dispatch thread, which the deadline frees.
  const std::string bigText(4 * 1024 * 1024, 'v');
  TDispatchMessageFields fields;
  fields.MsgType = 4;
  fields.DispatchID = viewerId;
  fields.AppName = "e2e";
  fields.MsgText = bigText;
  TDispatchMessagePtr big = BuildDispatchMessage(fields);
  auto window = FindWindowEndpoint("TFrmDispatcher", "Brevix Dispatcher", 10s);
  ASSERT_NE(window, nullptr);
  EXPECT_TRUE(window
                  ->SendFrame(WM_COPYDATA, 0, 0x7F000001,
                              std::string_view(reinterpret_cast<const char*>(big.get()),
                                               static_cast<size_t>(DispatchMessageSize(*big))),
                              10s)
                  .has_value());
  window.reset();
  const auto stopped = std::chrono::steady_clock::now();
  EXPECT_EQ(Send({"--stop"}).Output, "1\n");
  EXPECT_EQ(dispatcher->Wait(90s), 0) << Log();
  EXPECT_LT(std::chrono::steady_clock::now() - stopped, kDeadline + kMargin);

  const std::vector<std::string> log = LogTexts(Log());
  // The second message's entry comes while the dispatcher stops, after its log has closed.
  EXPECT_GE(std::count(log.begin(), log.end(), "The Brevix Live Viewer did not answer"), 1);
  EXPECT_EQ(log.back(), "Dispatcher has been stopped");
  viewer.Signal(SIGCONT);
  viewer.Signal(SIGTERM);
  EXPECT_TRUE(viewer.Wait().has_value());
}

}  // namespace
}  // namespace bx
