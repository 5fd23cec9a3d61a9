// End-to-end: the dispatcher as the system service, with this test playing systemd for the unit
// that -INSTALL writes: the folders the unit names (RUNTIME_DIRECTORY, STATE_DIRECTORY,
// LOGS_DIRECTORY), the notify socket, the watchdog, a journal socket of its own, and, when the
// test runs as root, the unprivileged account "nobody" (setpriv), as User= would. Also the
// health report of BxSend --status --json after known traffic, and the refusal of an unsafe
// run folder.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <pwd.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

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
constexpr uid_t kNobody = 65534;

// A datagram socket that a child may send to (mode 0666), as the notify and journal sockets of
// systemd are. A thread of its own drains it at once, as systemd does, so that the sender never
// finds the queue full; Receive takes the datagrams in order.
class TDatagramSink {
 public:
  explicit TDatagramSink(const std::string& path) {
    FFd = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, path.c_str(), sizeof(address.sun_path) - 1);
    EXPECT_EQ(::bind(FFd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0) << path;
    ::chmod(path.c_str(), 0666);
    FReader = std::thread([this] {
      std::vector<char> buffer(256 * 1024);
      for (;;) {
        const ssize_t n = ::recv(FFd, buffer.data(), buffer.size(), 0);
        if (n < 0 && errno == EINTR) continue;
        std::lock_guard lock(FLock);
        if (n <= 0 || FStopping) {
          FEnded = true;
          FArrived.notify_all();
          return;
        }
        FQueue.emplace_back(buffer.data(), static_cast<size_t>(n));
        FArrived.notify_all();
      }
    });
  }
  ~TDatagramSink() {
    {
      std::lock_guard lock(FLock);
      FStopping = true;
    }
    ::shutdown(FFd, SHUT_RDWR);  // wakes the reader
    FReader.join();
    ::close(FFd);
  }
  // The next datagram; none when nothing came within 30 s.
  std::optional<std::string> Receive() {
    std::unique_lock lock(FLock);
    if (!FArrived.wait_for(lock, std::chrono::seconds(30),
                           [&] { return !FQueue.empty() || FEnded; }) ||
        FQueue.empty()) {
      return std::nullopt;
    }
    std::string datagram = std::move(FQueue.front());
    FQueue.pop_front();
    return datagram;
  }

 private:
  int FFd = -1;
  std::thread FReader;
  std::mutex FLock;
  std::condition_variable FArrived;
  std::deque<std::string> FQueue;  // guarded by FLock, as are the flags
  bool FStopping = false;
  bool FEnded = false;
};

// The fields of a journal datagram in the native protocol ("KEY=value\n", or "KEY\n", a 64-bit
// little-endian length, the value and "\n"). An empty map for a malformed datagram.
std::map<std::string, std::string> JournalFields(const std::string& d) {
  std::map<std::string, std::string> fields;
  size_t pos = 0;
  while (pos < d.size()) {
    const size_t newline = d.find('\n', pos);
    if (newline == std::string::npos) return {};
    const size_t equals = d.find('=', pos);
    if (equals != std::string::npos && equals < newline) {
      fields[d.substr(pos, equals - pos)] = d.substr(equals + 1, newline - equals - 1);
      pos = newline + 1;
      continue;
    }
    const std::string name = d.substr(pos, newline - pos);
    if (newline + 9 > d.size()) return {};
    uint64_t size = 0;
    for (int i = 0; i < 8; ++i) {
      size |= uint64_t{static_cast<unsigned char>(d[newline + 1 + static_cast<size_t>(i)])}
              << (8 * i);
    }
    const size_t start = newline + 9;
    if (start + size + 1 > d.size() || d[start + size] != '\n') return {};
    fields[name] = d.substr(start, size);
    pos = start + size + 1;
  }
  return fields;
}

std::string UnitValue(const std::string& unit, const std::string& key) {
  const std::string prefix = "\n" + key + "=";
  const size_t at = unit.find(prefix);
  if (at == std::string::npos) return "<missing>";
  const size_t start = at + prefix.size();
  return unit.substr(start, unit.find('\n', start) - start);
}

std::string AccountName(uid_t uid) {
  const passwd* pw = ::getpwuid(uid);
  return pw != nullptr ? pw->pw_name : std::to_string(uid);
}

bool CanConnectTcp(uint16_t port) {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(port);
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  const bool connected = ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
  ::close(fd);
  return connected;
}

class ServiceE2ETest : public ::testing::Test {
 protected:
  ServiceE2ETest() : FTcpPort(test::FreeTcpPort()), FUdpPort(test::FreeUdpPort()) {
    WriteFile(FHome / "common/Korvane/Brevix/4.0/BxDispatcher.ini",
              "[Settings]\nUIMode=0\n[Ports]\nMonitorPorts=1\nTCPPort=" + std::to_string(FTcpPort) +
                  "\nUDPPort=" + std::to_string(FUdpPort) + "\n");
    WriteFile(FHome / "files/.keep", "");
    // As root the service runs as "nobody" where setpriv exists, as User= makes systemd do.
    FAsNobody = ::geteuid() == 0 && FileExists("/usr/bin/setpriv");
    FAccount = FAsNobody ? kNobody : ::geteuid();
  }

  // The program, run as the service's account.
  std::vector<std::string> AsAccount(std::vector<std::string> argv) const {
    if (FAsNobody) {
      argv.insert(argv.begin(),
                  {"/usr/bin/setpriv", "--reuid=65534", "--regid=65534", "--clear-groups", "--"});
    }
    return argv;
  }
  // Hands the home to the account, as systemd hands the unit's folders to User=; the run
  // folder of root's own command lines stays root's.
  void GiveHomeToAccount() {
    if (!FAsNobody) return;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(FHome.Path())) {
      const std::string path = entry.path().string();
      if (path == FHome / "run" || path.rfind(FHome / "run/", 0) == 0) continue;
      (void)::lchown(entry.path().c_str(), kNobody, kNobody);
    }
    (void)::chown(FHome.Path().c_str(), kNobody, kNobody);
  }
  TRunResult Send(std::vector<std::string> args, std::map<std::string, std::string> env = {}) {
    args.insert(args.begin(), kBin + "/BxSend");
    return RunProgram(AsAccount(args), FHome.Path(), std::move(env));
  }

  TTempHome FHome;
  uint16_t FTcpPort;
  uint16_t FUdpPort;
  bool FAsNobody = false;
  uid_t FAccount = 0;
};

TEST_F(ServiceE2ETest, PlaysSystemdForTheInstalledUnit) {
  TRunResult run = RunProgram({kBin + "/BxDispatcher", "-INSTALL"}, FHome.Path());
  ASSERT_EQ(run.ExitCode, 0) << run.Error;
  const std::string unitPath = FHome / "services/BrevixDispatcher.service";
  const std::string unit = ReadFile(unitPath);
  struct stat info {};
  ASSERT_EQ(::stat(unitPath.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 07777, 0644u);
  EXPECT_EQ(UnitValue(unit, "Type"), "notify");
  EXPECT_EQ(UnitValue(unit, "User"), "brevix");

  // What systemd makes of the unit's folder settings, below the test's home.
  const std::string runtime = FHome / ("run-system/" + UnitValue(unit, "RuntimeDirectory"));
  const std::string state = FHome / ("var/lib/" + UnitValue(unit, "StateDirectory"));
  const std::string logs = FHome / ("var/log/" + UnitValue(unit, "LogsDirectory"));
  for (const std::string& folder : {runtime, state, logs}) {
    std::filesystem::create_directories(folder);
  }
  TDatagramSink notify(FHome / "notify.sock");
  TDatagramSink journal(FHome / "journal.sock");
  GiveHomeToAccount();

  const std::map<std::string, std::string> env = {{"NOTIFY_SOCKET", FHome / "notify.sock"},
                                                  {"RUNTIME_DIRECTORY", runtime},
                                                  {"STATE_DIRECTORY", state},
                                                  {"LOGS_DIRECTORY", logs},
                                                  {"BREVIX_JOURNAL_SOCKET", FHome / "journal.sock"},
                                                  {"WATCHDOG_USEC", "1000000"}};
  auto service =
      std::make_unique<TChildProcess>(AsAccount({kBin + "/BxDispatcher"}), env, FHome.Path());

  // The start-up asks for more time first; READY=1 comes once both ports are bound.
  std::vector<std::string> beforeReady;
  for (;;) {
    const std::optional<std::string> datagram = notify.Receive();
    ASSERT_TRUE(datagram) << service->StandardError();
    if (*datagram == "READY=1") break;
    beforeReady.push_back(*datagram);
  }
  EXPECT_TRUE(CanConnectTcp(FTcpPort));
  ASSERT_FALSE(beforeReady.empty());
  EXPECT_EQ(beforeReady.front().rfind("EXTEND_TIMEOUT_USEC=", 0), 0u) << beforeReady.front();

  // The folders are the unit's: lock and endpoint in the runtime folder, the activity log in
  // the logs folder; nothing in the per-user data folder.
  const std::string logFile = logs + "/BxDispatcherLog.txt";
  const std::string loggedOn =
      "Dispatcher is running as a service. Logged on as: " + AccountName(FAccount);
  ASSERT_TRUE(WaitFor([&] { return ReadFile(logFile).find(loggedOn) != std::string::npos; }))
      << ReadFile(logFile) << service->StandardError();
  EXPECT_TRUE(FileExists(runtime + "/Brevix Dispatcher Mutex.lock"));
  EXPECT_TRUE(FileExists(runtime + "/TFrmDispatcher.Brevix Dispatcher.sock"));
  EXPECT_FALSE(FileExists(FHome / "user/Korvane/Brevix/4.0/BxDispatcherLog.txt"));

  // Traffic that logs at every priority: a registration (Reg), a message for nobody
  // (Warning), a destination that cannot be built (Error).
  const std::map<std::string, std::string> serviceEnv = {{"RUNTIME_DIRECTORY", runtime}};
  EXPECT_EQ(Send({"register", "--id", "{S}", "--destination",
                  "File[Path=" + (FHome / "files/s.bxl") + "]"},
                 serviceEnv)
                .Output,
            "1\n");
  EXPECT_EQ(Send({"message", "--via", "tcp", "--port", std::to_string(FTcpPort), "--id", "{S}",
                  "--text", "svc"})
                .Output,
            "1\n");
  EXPECT_EQ(Send({"message", "--id", "{NOBODY}", "--text", "lost"}, serviceEnv).Output, "1\n");
  EXPECT_EQ(Send({"register", "--id", "{BAD}", "--destination", "NoSuchKind[]"}, serviceEnv).Output,
            "0\n");
  EXPECT_EQ(Send({"--is-service"}, serviceEnv).Output, "1\n");

  std::map<std::string, std::string> priorityOf;  // first entry text of each level
  std::map<std::string, std::string> seen;        // text -> priority
  while (!(seen.count("Dispatcher has been started") && priorityOf.count("Reg") &&
           priorityOf.count("Warning") && priorityOf.count("Error") && seen.count(loggedOn))) {
    const std::optional<std::string> datagram = journal.Receive();
    ASSERT_TRUE(datagram) << "journal entries so far: " << seen.size();
    const std::map<std::string, std::string> fields = JournalFields(*datagram);
    ASSERT_FALSE(fields.empty()) << *datagram;
    EXPECT_EQ(fields.at("SYSLOG_IDENTIFIER"), "BrevixDispatcher");
    seen[fields.at("MESSAGE")] = fields.at("PRIORITY");
    priorityOf.emplace(fields.at("BX_LEVEL"), fields.at("PRIORITY"));
  }
  EXPECT_EQ(seen["Dispatcher has been started"], "6");
  EXPECT_EQ(seen[loggedOn], "6");
  EXPECT_EQ(priorityOf["Reg"], "5");
  EXPECT_EQ(priorityOf["Warning"], "4");
  EXPECT_EQ(priorityOf["Error"], "3");
  EXPECT_EQ(seen["Destination for {NOBODY} NOT FOUND"], "4");

  // The watchdog keeps coming (WATCHDOG_USEC=1 s: every half second), with the status line.
  int watchdogs = 0;
  bool status = false;
  while (watchdogs < 3 || !status) {
    const std::optional<std::string> datagram = notify.Receive();
    ASSERT_TRUE(datagram) << "watchdog datagrams: " << watchdogs;
    if (*datagram == "WATCHDOG=1") ++watchdogs;
    if (datagram->rfind("STATUS=running; ", 0) == 0) status = true;
  }

  // Root's own command line (no RUNTIME_DIRECTORY) takes its own lock, not the service's.
  run = RunProgram({kBin + "/BxDispatcher", "-INSTALL"}, FHome.Path());
  EXPECT_EQ(run.ExitCode, 0) << run.Error;
  EXPECT_EQ(run.Output,
            "Service unit " + unitPath + " is unchanged\nService installed successfully\n");

  service->Signal(SIGTERM);
  for (;;) {
    const std::optional<std::string> datagram = notify.Receive();
    ASSERT_TRUE(datagram);
    if (*datagram == "STOPPING=1") break;
  }
  EXPECT_EQ(service->Wait(), 0);
  EXPECT_NE(ReadFile(state + "/BxDispatchIDs.ini").find("[{S}]"), std::string::npos);
  EXPECT_FALSE(FileExists(FHome / "user/Korvane/Brevix/4.0/BxDispatchIDs.ini"));
}

TEST_F(ServiceE2ETest, StartedBySystemdWithoutAnInstalledUnitRunsAsTheService) {
  // "systemctl start" of the package's unit that was never enabled: no unit in the services
  // folder, yet the manager waits for READY=1.
  TDatagramSink notify(FHome / "notify.sock");
  auto service = std::make_unique<TChildProcess>(
      std::vector<std::string>{kBin + "/BxDispatcher"},
      std::map<std::string, std::string>{{"NOTIFY_SOCKET", FHome / "notify.sock"}}, FHome.Path());
  for (;;) {
    const std::optional<std::string> datagram = notify.Receive();
    ASSERT_TRUE(datagram) << service->StandardError();
    if (*datagram == "READY=1") break;
  }
  EXPECT_EQ(RunProgram({kBin + "/BxSend", "--is-service"}, FHome.Path()).Output, "1\n");
  service->Signal(SIGTERM);
  EXPECT_EQ(service->Wait(), 0);
}

TEST_F(ServiceE2ETest, StatusJsonAfterKnownTraffic) {
  auto dispatcher =
      std::make_unique<TChildProcess>(std::vector<std::string>{kBin + "/BxDispatcher"},
                                      std::map<std::string, std::string>{}, FHome.Path());
  const std::string socket = FHome / "run/TFrmDispatcher.Brevix Dispatcher.sock";
  ASSERT_TRUE(WaitFor([&] { return FileExists(socket) && CanConnectTcp(FTcpPort); }))
      << dispatcher->StandardError();
  const std::string file = FHome / "files/a.bxl";
  auto send = [&](std::vector<std::string> args) {
    args.insert(args.begin(), kBin + "/BxSend");
    return RunProgram(args, FHome.Path());
  };
  EXPECT_EQ(send({"register", "--id", "{A}", "--destination", "File[Path=" + file + "]"}).Output,
            "1\n");
  EXPECT_EQ(send({"register", "--id", "{E}", "--destination",
                  "File[Path=" + (FHome / "missing/e.bxl") + "]"})
                .Output,
            "1\n");
  EXPECT_EQ(send({"message", "--id", "{A}", "--count", "3"}).Output, "1\n1\n1\n");
  EXPECT_EQ(send({"message", "--via", "tcp", "--port", std::to_string(FTcpPort), "--id", "{A}",
                  "--count", "2"})
                .Output,
            "1\n1\n");
  send({"message", "--via", "udp", "--port", std::to_string(FUdpPort), "--id", "{A}", "--count",
        "4"});
  send({"message", "--id", "{UNKNOWN}"});  // received, never delivered
  send({"message", "--id", "{E}"});        // its file cannot be opened: failed

  // Every message has been taken once the file holds all nine and the queue is empty.
  std::string json;
  ASSERT_TRUE(WaitFor([&] {
    json = send({"--status", "--json"}).Output;
    return json.find("\"delivered\":9,") != std::string::npos &&
           json.find("\"failed\":1,") != std::string::npos;
  })) << json;
  EXPECT_EQ(json.substr(0, json.find(",\"lastErrors\"")),
            "{\"state\":\"running\",\"service\":false,\"queue\":{\"messages\":0,\"bytes\":0},"
            "\"received\":{\"endpoint\":5,\"tcp\":2,\"udp\":4},\"delivered\":9,\"failed\":1,"
            "\"registrations\":2");
  EXPECT_NE(json.find("\"File\":{\"time\":"), std::string::npos) << json;
  EXPECT_NE(json.find("\"Tcp\":null"), std::string::npos) << json;
  EXPECT_EQ(json.back(), '\n');

  const std::string text = send({"--status"}).Output;
  EXPECT_NE(text.find("Received: endpoint 5, tcp 2, udp 4\nDelivered: 9, failed: 1\n"),
            std::string::npos)
      << text;
  EXPECT_EQ(send({"--stop"}).Output, "1\n");
  EXPECT_EQ(dispatcher->Wait(), 0);
}

TEST_F(ServiceE2ETest, UnsafeRunFolderIsRefusedOnStandardErrorAndInTheJournal) {
  // A run folder that is a link to somewhere else (in /tmp anyone could have made it).
  std::filesystem::create_directories(FHome / "elsewhere");
  std::filesystem::create_directory_symlink(FHome / "elsewhere", FHome / "run");
  TDatagramSink journal(FHome / "journal.sock");
  const std::map<std::string, std::string> env = {
      {"BREVIX_JOURNAL_SOCKET", FHome / "journal.sock"}};
  TRunResult run = RunProgram({kBin + "/BxDispatcher", "-MONITOR_PORTS"}, FHome.Path(), env);
  EXPECT_EQ(run.ExitCode, 1);
  EXPECT_NE(run.Error.find("Brevix Dispatcher cannot start: run folder " + (FHome / "run") +
                           " is not a folder"),
            std::string::npos)
      << run.Error;
  const std::optional<std::string> datagram = journal.Receive();
  ASSERT_TRUE(datagram);
  const std::map<std::string, std::string> fields = JournalFields(*datagram);
  EXPECT_EQ(fields.at("PRIORITY"), "3");
  EXPECT_NE(fields.at("MESSAGE").find("is not a folder"), std::string::npos);

  if (::geteuid() == 0) {
    // A real folder of another user.
    std::filesystem::remove(FHome / "run");
    std::filesystem::create_directories(FHome / "run");
    ASSERT_EQ(::chown((FHome / "run").c_str(), kNobody, kNobody), 0);
    run = RunProgram({kBin + "/BxDispatcher"}, FHome.Path(), env);
    EXPECT_EQ(run.ExitCode, 1);
    EXPECT_NE(run.Error.find("belongs to user " + AccountName(kNobody)), std::string::npos)
        << run.Error;
  }
}

TEST(ProgramInformationE2ETest, EveryProgramAnswersHelpAndVersion) {
  TTempHome home;
  for (const char* program : {"BxDispatcher", "BxSend", "BxFileViewer", "BxLiveViewer"}) {
    TRunResult help = RunProgram({kBin + "/" + program, "--help"}, home.Path());
    EXPECT_EQ(help.ExitCode, 0) << program;
    EXPECT_EQ(help.Output.rfind(std::string("Usage: ") + program, 0), 0u) << help.Output;
    EXPECT_NE(help.Output.find("Exit codes"), std::string::npos) << program;
    TRunResult version = RunProgram({kBin + "/" + program, "--version"}, home.Path());
    EXPECT_EQ(version.ExitCode, 0) << program;
    EXPECT_EQ(version.Output, std::string(program) + " 4.0.0\n");
  }
  const std::string help = RunProgram({kBin + "/BxDispatcher", "--help"}, home.Path()).Output;
  for (const char* item :
       {"-INSTALL", "-UNINSTALL", "-SILENT", "-REGISTER", "-INIT_STEALTH", "-INIT_RESTRICTED",
        "-INIT_UNRESTRICTED", "-MONITOR_PORTS", "/TCPPort=N", "/UDPPort=N"}) {
    EXPECT_NE(help.find(item), std::string::npos) << item;
  }
  // --help acts before anything else: no folder, no lock.
  EXPECT_FALSE(FileExists(home / "run"));
}

}  // namespace
}  // namespace bx
