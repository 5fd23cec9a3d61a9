// End-to-end throughput of the dispatcher process: N records of 300 bytes pipelined over one
// TCP connection into one File destination, timed until the file holds them all, beside the
// bare C server (file_append_baseline) that reads the same stream and appends each record with
// open, write, close. Also the dispatcher's CPU seconds per record and its resident memory when
// idle, after the first N records and after a second N (no growth once the queue drained).
//
// Usage: e2e_bench [N]   (default 1,000,000). Programs are taken from this program's folder.
// A plain driver, not a Google Benchmark program: it runs real processes once each.
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "messages/dispatch_message.h"
#include "messages/message_format.h"
#include "platform/folders.h"
#include "platform/socket.h"

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

std::string BigEndian(int32_t value) {
  const auto v = static_cast<uint32_t>(value);
  return {static_cast<char>(v >> 24), static_cast<char>(v >> 16), static_cast<char>(v >> 8),
          static_cast<char>(v)};
}

std::string Request(int32_t type, const std::string& payload) {
  return BigEndian(bx::bxmUTF8MessageFormat) + BigEndian(type) +
         BigEndian(static_cast<int32_t>(payload.size())) + payload;
}

std::string RecordBytes(int32_t type, const std::string& id, const std::string& text) {
  bx::TDispatchMessageFields f;
  f.MsgType = type;
  f.DispatchID = id;
  f.AppName = "e2e_bench";
  f.ComputerName = "localhost";
  f.ThreadName = "main";
  f.MsgText = text;
  const bx::TDispatchMessagePtr record = bx::BuildDispatchMessage(f);
  return std::string(reinterpret_cast<const char*>(record.get()),
                     static_cast<size_t>(bx::DispatchMessageSize(*record)));
}

int64_t FileSize(const std::string& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0 ? static_cast<int64_t>(info.st_size) : -1;
}

bool WaitFor(const std::function<bool()>& done, std::chrono::seconds timeout) {
  const auto deadline = Clock::now() + timeout;
  while (!done()) {
    if (Clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  return true;
}

pid_t Spawn(std::vector<std::string> argv, const std::string& home) {
  std::vector<std::string> env;
  for (char** e = environ; *e; ++e) {
    if (std::strncmp(*e, "BREVIX_HOME=", 12) != 0) env.emplace_back(*e);
  }
  env.push_back("BREVIX_HOME=" + home);
  std::vector<char*> args, envp;
  for (auto& a : argv) args.push_back(a.data());
  args.push_back(nullptr);
  for (auto& e : env) envp.push_back(e.data());
  envp.push_back(nullptr);
  pid_t pid = 0;
  if (posix_spawn(&pid, args[0], nullptr, nullptr, args.data(), envp.data()) != 0) {
    std::perror(argv[0].c_str());
    std::exit(1);
  }
  return pid;
}

// Resident memory in KiB (VmRSS).
long RssKiB(pid_t pid) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/status");
  std::string line;
  while (std::getline(in, line)) {
    if (line.rfind("VmRSS:", 0) == 0) return std::atol(line.c_str() + 6);
  }
  return -1;
}

// User plus system CPU seconds of a process.
double CpuSeconds(pid_t pid) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
  std::string all((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  std::istringstream fields(all.substr(all.rfind(')') + 2));
  std::string skip;
  for (int i = 3; i <= 13; ++i) fields >> skip;
  double utime = 0, stime = 0;
  fields >> utime >> stime;
  return (utime + stime) / static_cast<double>(sysconf(_SC_CLK_TCK));
}

// Sends `count` copies of `request` on one connection while a second thread reads the answers.
void Pipeline(bx::TStreamSocket& socket, const std::string& request, int count) {
  std::thread reader([&socket, count] {
    std::vector<char> buffer(1 << 16);
    size_t need = static_cast<size_t>(count) * 4;
    while (need > 0) {
      const size_t n = socket.Read(buffer.data(), std::min(buffer.size(), need));
      if (n == 0) break;
      need -= n;
    }
  });
  std::string batch;
  constexpr int kPerWrite = 200;
  for (int i = 0; i < kPerWrite; ++i) batch += request;
  int sent = 0;
  while (sent < count) {
    const int n = std::min(kPerWrite, count - sent);
    socket.Write(batch.data(), request.size() * static_cast<size_t>(n));
    sent += n;
  }
  reader.join();
}

uint16_t FreePort() {
  bx::TListenSocket s = bx::TListenSocket::BindTcp("0.0.0.0", 0, bx::TIPVersion::V4);
  return s.Local().Port;
}

bx::TStreamSocket ConnectRetrying(uint16_t port) {
  for (int i = 0; i < 500; ++i) {
    try {
      return bx::TStreamSocket::ConnectTcp("127.0.0.1", port);
    } catch (const std::exception&) {
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
  }
  std::fprintf(stderr, "nothing listens on port %u\n", port);
  std::exit(1);
}

}  // namespace

int main(int argc, char** argv) {
  const int count = argc > 1 ? std::atoi(argv[1]) : 1000000;
  const std::string bin = bx::ExecutableFolder();
  char tmpl[] = "/tmp/bx-e2e-bench-XXXXXX";
  const std::string home = ::mkdtemp(tmpl);
  ::mkdir((home + "/out").c_str(), 0755);

  // The record: 300 bytes of which 54 are message text.
  const std::string id = "{BENCH-0000}";
  const std::string record = RecordBytes(4, id, std::string(54, 'x'));
  if (record.size() != 300) std::fprintf(stderr, "record is %zu bytes\n", record.size());
  const std::string request = Request(4, record);

  // The bare server first.
  double baselineRate = 0;
  {
    const uint16_t port = FreePort();
    const std::string file = home + "/out/baseline.bin";
    const pid_t pid = Spawn({bin + "/file_append_baseline", std::to_string(port), file}, home);
    bx::TStreamSocket socket = ConnectRetrying(port);
    socket.SetNoDelay(true);
    const auto start = Clock::now();
    Pipeline(socket, request, count);
    const int64_t expected = static_cast<int64_t>(count) * static_cast<int64_t>(record.size());
    WaitFor([&] { return FileSize(file) >= expected; }, std::chrono::seconds(600));
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    baselineRate = count / seconds;
    socket.Close();
    int status = 0;
    ::waitpid(pid, &status, 0);
    std::printf("bare C server:  %d records in %.2f s = %.0f records/s\n", count, seconds,
                baselineRate);
    ::unlink(file.c_str());
  }

  // The dispatcher.
  const uint16_t port = FreePort();
  {
    const std::string folder = home + "/common/Korvane/Brevix/4.0";
    std::system(("mkdir -p '" + folder + "'").c_str());
    std::ofstream ini(folder + "/BxDispatcher.ini");
    ini << "[Settings]\nUIMode=1\n[Ports]\nMonitorPorts=1\nTCPPort=" << port
        << "\nUDPPort=" << FreePort() << "\n";
  }
  const pid_t pid = Spawn({bin + "/BxDispatcher"}, home);
  bx::TStreamSocket socket = ConnectRetrying(port);
  socket.SetNoDelay(true);
  std::this_thread::sleep_for(std::chrono::milliseconds(500));  // settle before measuring
  const long idleRss = RssKiB(pid);

  const std::string file = home + "/out/bench.bxl";
  Pipeline(socket, Request(91, RecordBytes(91, id, "File[Path=" + file + "]")), 1);
  // Two warm-up records give the size of one entry in the file.
  Pipeline(socket, request, 1);
  WaitFor([&] { return FileSize(file) > 0; }, std::chrono::seconds(30));
  const int64_t one = FileSize(file);
  Pipeline(socket, request, 1);
  WaitFor([&] { return FileSize(file) > one; }, std::chrono::seconds(30));
  const int64_t two = FileSize(file);
  const int64_t entry = two - one;

  double rate = 0;
  long rssAfter[2] = {0, 0};
  for (int round = 0; round < 2; ++round) {
    const int64_t before = FileSize(file);
    const double cpuBefore = CpuSeconds(pid);
    const auto start = Clock::now();
    Pipeline(socket, request, count);
    WaitFor([&] { return FileSize(file) >= before + entry * count; }, std::chrono::seconds(900));
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    const double cpu = CpuSeconds(pid) - cpuBefore;
    rssAfter[round] = RssKiB(pid);
    if (round == 0) rate = count / seconds;
    std::printf("dispatcher #%d: %d records in %.2f s = %.0f records/s; %.2f us CPU per record\n",
                round + 1, count, seconds, count / seconds, cpu * 1e6 / count);
  }
  // The work-load timer returns freed memory once the queue has been quiet for a tick.
  std::this_thread::sleep_for(std::chrono::milliseconds(1500));
  const long settledRss = RssKiB(pid);
  std::printf("dispatcher/bare ratio: %.2f\n", rate / baselineRate);
  std::printf(
      "RSS idle %ld KiB, after %d records %ld KiB, after %d more %ld KiB, 1.5 s later %ld KiB\n",
      idleRss, count, rssAfter[0], count, rssAfter[1], settledRss);

  socket.Close();
  ::kill(pid, SIGTERM);
  int status = 0;
  ::waitpid(pid, &status, 0);
  std::system(("rm -rf '" + home + "'").c_str());
  return 0;
}
