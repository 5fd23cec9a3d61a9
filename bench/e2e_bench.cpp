// End-to-end throughput and memory of the dispatcher process, measured from outside, every
// comparison in one run (see bench/README.md):
//
// 1. Bare C server (file_append_baseline): reads the same TCP request stream and appends each
//    record with open, write, close. Records/s and CPU per record: the floor.
// 2. Dispatcher, one File destination with the default KeepOpen=False: N records pipelined over
//    one TCP connection, timed until the file holds them all; twice (the first round also grows
//    the heap). Records/s and CPU per record (all threads), and both as ratios to the bare
//    server.
// 3. Dispatcher, a File destination with KeepOpen=True: the same N records.
// 4. The system's rsyslogd (imtcp -> omfile, a private configuration on loopback, started here
//    and stopped by its PID): N lines of 300 bytes, timed until its file holds them all.
//    Skipped with a note when rsyslogd is not installed.
// 5. Burst: B records to a registration with kBurstFiles File destinations (each record costs
//    that many appends), so the records arrive far faster than the files absorb them and the
//    queue fills up to its memory limit. Arrival rate (the first records' answers, before the
//    limit is reached) against the absorb rate; resident memory idle (before any record), at
//    the peak (sampled every 5 ms) and two seconds after the files hold every record.
//
// Every figure is printed with the load average at that moment: on a shared machine the
// wall-clock figures mean little without it.
//
// Usage: e2e_bench [N [B]]   (defaults 1,000,000 and 250,000). Programs are taken from this
// program's folder. BX_BENCH_LAUNCHER, when set, is put before the dispatcher's command (for
// example "valgrind --tool=callgrind"); its words are split at blanks.
// A plain driver, not a Google Benchmark program: it runs real processes once each.
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
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

constexpr int kBurstFiles = 12;
constexpr size_t kLineSize = 300;  // one rsyslog record: 299 characters and LF

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

std::string LoadAverage() {
  std::ifstream in("/proc/loadavg");
  std::string one, five;
  in >> one >> five;
  return "[load " + one + " " + five + "]";
}

std::vector<std::string> Words(const char* text) {
  std::vector<std::string> words;
  std::istringstream in(text == nullptr ? "" : text);
  std::string word;
  while (in >> word) words.push_back(word);
  return words;
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
  if (posix_spawnp(&pid, args[0], nullptr, nullptr, args.data(), envp.data()) != 0) {
    std::perror(argv[0].c_str());
    std::exit(1);
  }
  return pid;
}

void StopProcess(pid_t pid) {
  ::kill(pid, SIGTERM);
  int status = 0;
  ::waitpid(pid, &status, 0);
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

// User plus system CPU seconds of a process (all its threads).
double CpuSeconds(pid_t pid) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
  std::string all((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (all.empty()) return 0;
  std::istringstream fields(all.substr(all.rfind(')') + 2));
  std::string skip;
  for (int i = 3; i <= 13; ++i) fields >> skip;
  double utime = 0, stime = 0;
  fields >> utime >> stime;
  return (utime + stime) / static_cast<double>(sysconf(_SC_CLK_TCK));
}

// CPU seconds of each thread of `pid`, by name (threads of the same name add up).
std::map<std::string, double> ThreadCpuSeconds(pid_t pid) {
  std::map<std::string, double> threads;
  std::error_code error;
  const std::string tasks = "/proc/" + std::to_string(pid) + "/task";
  for (const auto& task : std::filesystem::directory_iterator(tasks, error)) {
    std::ifstream in(task.path() / "stat");
    std::string all((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const size_t open = all.find('(');
    const size_t close = all.rfind(')');
    if (open == std::string::npos || close == std::string::npos) continue;
    std::istringstream fields(all.substr(close + 2));
    std::string skip;
    for (int i = 3; i <= 13; ++i) fields >> skip;
    double utime = 0, stime = 0;
    fields >> utime >> stime;
    threads[all.substr(open + 1, close - open - 1)] +=
        (utime + stime) / static_cast<double>(sysconf(_SC_CLK_TCK));
  }
  return threads;
}

// The two threads that used the most CPU between `before` and `after`, in microseconds per
// record: the busier one bounds the rate.
std::string BusiestThreads(const std::map<std::string, double>& before,
                           const std::map<std::string, double>& after, int count) {
  std::vector<std::pair<double, std::string>> used;
  for (const auto& [name, seconds] : after) {
    const auto was = before.find(name);
    used.emplace_back(seconds - (was == before.end() ? 0 : was->second), name);
  }
  std::sort(used.rbegin(), used.rend());
  std::string text;
  for (size_t i = 0; i < used.size() && i < 2; ++i) {
    char line[96];
    std::snprintf(line, sizeof line, "%s%s %.2f us", i > 0 ? ", " : "", used[i].second.c_str(),
                  used[i].first * 1e6 / count);
    text += line;
  }
  return text;
}

// Sends `count` copies of `request` on one connection while a second thread reads the 4-byte
// answers (none when `answers` is false). `firstAnswers` records when that many answers had
// arrived (0: not asked).
struct TPipelineTimes {
  Clock::time_point Start;
  Clock::time_point FirstAnswers;
};

TPipelineTimes Pipeline(bx::TStreamSocket& socket, const std::string& request, int count,
                        bool answers = true, int firstAnswers = 0) {
  TPipelineTimes times;
  times.Start = Clock::now();
  times.FirstAnswers = times.Start;
  std::thread reader([&] {
    if (!answers) return;
    std::vector<char> buffer(1 << 16);
    const size_t total = static_cast<size_t>(count) * 4;
    size_t got = 0;
    bool marked = firstAnswers == 0;
    while (got < total) {
      const size_t n = socket.Read(buffer.data(), std::min(buffer.size(), total - got));
      if (n == 0) break;
      got += n;
      if (!marked && got >= static_cast<size_t>(firstAnswers) * 4) {
        times.FirstAnswers = Clock::now();
        marked = true;
      }
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
  return times;
}

uint16_t FreePort() {
  bx::TListenSocket s = bx::TListenSocket::BindTcp("0.0.0.0", 0, bx::TIPVersion::V4);
  return s.Local().Port;
}

bx::TStreamSocket ConnectRetrying(uint16_t port) {
  for (int i = 0; i < 3000; ++i) {
    try {
      return bx::TStreamSocket::ConnectTcp("127.0.0.1", port);
    } catch (const std::exception&) {
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
  }
  std::fprintf(stderr, "nothing listens on port %u\n", port);
  std::exit(1);
}

struct TRun {
  double Rate = 0;   // records/s
  double CpuUs = 0;  // CPU microseconds per record
  double Seconds = 0;
  std::string Load;
  std::string Threads;  // the busiest threads' CPU per record (the dispatcher's runs)
};

// Sends `count` copies of `request` and waits until `file` has grown by `expected` bytes.
TRun TimedRun(bx::TStreamSocket& socket, pid_t pid, const std::string& request, int count,
              const std::string& file, int64_t expected, bool answers = true) {
  const int64_t before = std::max<int64_t>(FileSize(file), 0);
  const double cpuBefore = CpuSeconds(pid);
  const std::map<std::string, double> threadsBefore = ThreadCpuSeconds(pid);
  const TPipelineTimes times = Pipeline(socket, request, count, answers);
  if (!WaitFor([&] { return FileSize(file) >= before + expected; }, std::chrono::seconds(1800))) {
    std::fprintf(stderr, "%s did not receive every record\n", file.c_str());
  }
  TRun run;
  run.Seconds = std::chrono::duration<double>(Clock::now() - times.Start).count();
  run.Rate = count / run.Seconds;
  run.CpuUs = (CpuSeconds(pid) - cpuBefore) * 1e6 / count;
  run.Threads = BusiestThreads(threadsBefore, ThreadCpuSeconds(pid), count);
  run.Load = LoadAverage();
  return run;
}

void PrintRun(const char* label, int count, const TRun& run) {
  std::printf("%-34s %8d records in %6.2f s = %7.0f records/s, %5.2f us CPU per record  %s\n",
              label, count, run.Seconds, run.Rate, run.CpuUs, run.Load.c_str());
  if (!run.Threads.empty()) std::printf("%34s busiest threads: %s\n", "", run.Threads.c_str());
  std::fflush(stdout);
}

// Registers `id` with `destination` over `socket` and waits for the answer.
void Register(bx::TStreamSocket& socket, const std::string& id, const std::string& destination) {
  Pipeline(socket, Request(91, RecordBytes(91, id, destination)), 1);
}

TRun BareServer(const std::string& bin, const std::string& home, const std::string& request,
                int count, int64_t recordSize) {
  const uint16_t port = FreePort();
  const std::string file = home + "/out/baseline.bin";
  const pid_t pid = Spawn({bin + "/file_append_baseline", std::to_string(port), file}, home);
  bx::TStreamSocket socket = ConnectRetrying(port);
  socket.SetNoDelay(true);
  const TRun run = TimedRun(socket, pid, request, count, file, count * recordSize);
  socket.Close();
  int status = 0;
  ::waitpid(pid, &status, 0);
  ::unlink(file.c_str());
  return run;
}

// rsyslogd with imtcp on a free loopback port writing every message, as received, to one file.
bool RsyslogRun(const std::string& home, int count, TRun& run) {
  const char* candidates[] = {"/usr/sbin/rsyslogd", "/sbin/rsyslogd"};
  std::string program;
  for (const char* c : candidates) {
    if (::access(c, X_OK) == 0) program = c;
  }
  if (program.empty()) return false;
  const std::string folder = home + "/rsyslog";
  ::mkdir(folder.c_str(), 0755);
  const uint16_t port = FreePort();
  const std::string out = folder + "/out.log";
  {
    std::ofstream conf(folder + "/rsyslog.conf");
    conf << "global(workDirectory=\"" << folder << "\" maxMessageSize=\"8k\")\n"
         << "module(load=\"imtcp\")\n"
         << "input(type=\"imtcp\" address=\"127.0.0.1\" port=\"" << port << "\")\n"
         << "template(name=\"raw\" type=\"string\" string=\"%rawmsg%\\n\")\n"
         << "action(type=\"omfile\" file=\"" << out << "\" template=\"raw\")\n";
  }
  const pid_t pid =
      Spawn({program, "-n", "-f", folder + "/rsyslog.conf", "-i", folder + "/rsyslogd.pid"}, home);
  bx::TStreamSocket socket = ConnectRetrying(port);
  std::string line = "<14>e2e_bench: ";
  line += std::string(kLineSize - 1 - line.size(), 'x');
  line += '\n';
  run = TimedRun(socket, pid, line, count, out, static_cast<int64_t>(count) * kLineSize, false);
  socket.Close();
  StopProcess(pid);
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  const int count = argc > 1 ? std::atoi(argv[1]) : 1000000;
  const int burst = argc > 2 ? std::atoi(argv[2]) : 250000;
  const std::string bin = bx::ExecutableFolder();
  char tmpl[] = "/tmp/bx-e2e-bench-XXXXXX";
  const std::string home = ::mkdtemp(tmpl);
  ::mkdir((home + "/out").c_str(), 0755);
  std::printf("e2e_bench: %d records per run, burst of %d; %ld cores  %s\n", count, burst,
              sysconf(_SC_NPROCESSORS_ONLN), LoadAverage().c_str());

  // The record: 300 bytes of which 54 are message text.
  const std::string record = RecordBytes(4, "{BENCH-PLAIN}", std::string(54, 'x'));
  if (record.size() != 300) std::fprintf(stderr, "record is %zu bytes\n", record.size());
  auto requestFor = [](const std::string& id) {
    return Request(4, RecordBytes(4, id, std::string(54, 'x')));
  };

  // 1. The bare server.
  const TRun bare =
      BareServer(bin, home, requestFor("{BENCH-PLAIN}"), count, static_cast<int64_t>(300));
  PrintRun("bare C server (open/write/close):", count, bare);

  // The dispatcher, default settings but for the ports.
  const uint16_t port = FreePort();
  {
    const std::string folder = home + "/common/Korvane/Brevix/4.0";
    std::system(("mkdir -p '" + folder + "'").c_str());
    std::ofstream ini(folder + "/BxDispatcher.ini");
    ini << "[Settings]\nUIMode=1\n[Ports]\nMonitorPorts=1\nTCPPort=" << port
        << "\nUDPPort=" << FreePort() << "\n";
    // BX_BENCH_QUEUE_MB: another queue limit than the default, for comparing depths.
    if (const char* queueMB = std::getenv("BX_BENCH_QUEUE_MB")) {
      ini << "[Dispatcher]\nMaxQueueMemoryMB=" << std::atoi(queueMB) << "\n";
    }
  }
  std::vector<std::string> command = Words(std::getenv("BX_BENCH_LAUNCHER"));
  command.push_back(bin + "/BxDispatcher");
  const pid_t pid = Spawn(command, home);
  bx::TStreamSocket socket = ConnectRetrying(port);
  socket.SetNoDelay(true);
  std::this_thread::sleep_for(std::chrono::milliseconds(500));  // settle before measuring
  const long idleRss = RssKiB(pid);
  const std::string idleLoad = LoadAverage();

  const std::string plainFile = home + "/out/plain.bxl";
  const std::string keptFile = home + "/out/kept.bxl";
  Register(socket, "{BENCH-PLAIN}", "File[Path=" + plainFile + "]");
  Register(socket, "{BENCH-KEPT}", "File[Path=" + keptFile + ";KeepOpen=True]");
  std::string burstDestination;
  for (int i = 0; i < kBurstFiles; ++i) {
    burstDestination += (i > 0 ? "," : "") + std::string("File[Path=") + home + "/out/burst" +
                        std::to_string(i) + ".bxl]";
  }
  Register(socket, "{BENCH-BURST}", burstDestination);
  // A warm-up record gives the size of one entry in the file.
  Pipeline(socket, requestFor("{BENCH-PLAIN}"), 1);
  WaitFor([&] { return FileSize(plainFile) > 0; }, std::chrono::seconds(60));
  const int64_t entry = FileSize(plainFile);

  // 2. KeepOpen=False, twice.
  TRun plain[2];
  for (int round = 0; round < 2; ++round) {
    plain[round] =
        TimedRun(socket, pid, requestFor("{BENCH-PLAIN}"), count, plainFile, entry * count);
    PrintRun(round == 0 ? "dispatcher KeepOpen=False #1:" : "dispatcher KeepOpen=False #2:", count,
             plain[round]);
  }
  const TRun& best = plain[1].Rate > plain[0].Rate ? plain[1] : plain[0];

  // 3. KeepOpen=True.
  const TRun kept =
      TimedRun(socket, pid, requestFor("{BENCH-KEPT}"), count, keptFile, entry * count);
  PrintRun("dispatcher KeepOpen=True:", count, kept);

  // 4. rsyslogd.
  TRun rsyslog;
  const bool haveRsyslog = RsyslogRun(home, count, rsyslog);
  if (haveRsyslog) {
    PrintRun("rsyslogd imtcp -> omfile:", count, rsyslog);
  } else {
    std::printf("rsyslogd imtcp -> omfile:          skipped, rsyslogd is not installed\n");
  }

  // 5. The burst, with resident memory sampled throughout.
  std::atomic<bool> sampling{true};
  std::atomic<long> peakRss{0};
  std::thread sampler([&] {
    while (sampling.load()) {
      peakRss = std::max(peakRss.load(), RssKiB(pid));
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
  });
  const std::string lastBurstFile = home + "/out/burst" + std::to_string(kBurstFiles - 1) + ".bxl";
  const int early = std::min(burst, 50000);
  const double burstCpu = CpuSeconds(pid);
  const TPipelineTimes times = Pipeline(socket, requestFor("{BENCH-BURST}"), burst, true, early);
  const std::string arrivedLoad = LoadAverage();
  WaitFor([&] { return FileSize(lastBurstFile) >= entry * burst; }, std::chrono::seconds(3600));
  const auto drained = Clock::now();
  const std::string drainedLoad = LoadAverage();
  std::this_thread::sleep_for(std::chrono::seconds(2));
  const long settledRss = RssKiB(pid);
  const std::string settledLoad = LoadAverage();
  sampling = false;
  sampler.join();
  const double arrival =
      early /
      std::max(1e-9, std::chrono::duration<double>(times.FirstAnswers - times.Start).count());
  const double absorb = burst / std::chrono::duration<double>(drained - times.Start).count();
  std::printf("burst to %d files: first %d records arrived at %.0f records/s  %s\n", kBurstFiles,
              early, arrival, arrivedLoad.c_str());
  std::printf(
      "burst to %d files: %d records absorbed at %.0f records/s (%.1fx slower), %.2f us "
      "CPU per record  %s\n",
      kBurstFiles, burst, absorb, arrival / absorb, (CpuSeconds(pid) - burstCpu) * 1e6 / burst,
      drainedLoad.c_str());
  std::printf("RSS idle %ld KiB %s, peak %ld KiB, 2 s after draining %ld KiB %s\n", idleRss,
              idleLoad.c_str(), peakRss.load(), settledRss, settledLoad.c_str());

  socket.Close();
  StopProcess(pid);

  std::printf("\nsummary (targets in brackets):\n");
  std::printf("  dispatcher/bare records/s:      %.2f  [>= 0.9, stretch 1.0]\n",
              best.Rate / bare.Rate);
  std::printf("  dispatcher/bare CPU per record: %.2f  [<= 1.3]\n", best.CpuUs / bare.CpuUs);
  if (haveRsyslog) {
    std::printf("  KeepOpen=True/rsyslogd:         %.2f  [>= 1.0]\n", kept.Rate / rsyslog.Rate);
  }
  std::printf("  KeepOpen=True/KeepOpen=False:   %.2f  [>= 3]\n", kept.Rate / best.Rate);
  std::printf("  RSS 2 s after draining - idle:  %.1f MiB  [<= 8]\n",
              (settledRss - idleRss) / 1024.0);
  std::system(("rm -rf '" + home + "'").c_str());
  return 0;
}
