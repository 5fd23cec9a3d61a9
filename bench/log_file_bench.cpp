// Messages per second that the log file destination writes, against a bare loop that does the
// same open, two appends and close of the same bytes in the same folder.
//
//   BM_BareAppend            open(O_APPEND), write marker, write record, close
//   BM_Destination           the destination, no parts
//   BM_DestinationParts      the destination with parts on and 10 part files present (listing,
//                            sorting and the size check run for every message)
// Files go below $BX_BENCH_DIR when set, else below the system's temporary folder.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "destinations/log_file_destination.h"
#include "destinations/log_file_record.h"

namespace {

namespace fs = std::filesystem;

struct TBenchFolder {
  TBenchFolder() {
    const char* base = std::getenv("BX_BENCH_DIR");
    std::string pattern =
        (base != nullptr ? fs::path(base) : fs::temp_directory_path()) / "bxbench-XXXXXX";
    if (mkdtemp(pattern.data()) == nullptr) std::abort();
    Path = pattern;
  }
  ~TBenchFolder() {
    std::error_code ignored;
    fs::remove_all(Path, ignored);
  }
  std::string Path;
};

bx::TDispatchMessagePtr BenchMessage() {
  bx::TDispatchMessageFields f;
  f.MsgType = 4;
  f.TimeStampDate = 739000;
  f.ThreadName = "worker";
  f.AppName = "BenchApp";
  f.Category = "Bench";
  f.TypeName = "Info";
  const std::string text(100, 't');
  const std::string details(50, 'd');
  f.MsgText = text;
  f.Details = details;
  return bx::BuildDispatchMessage(f);
}

void BM_BareAppend(benchmark::State& state) {
  TBenchFolder folder;
  const std::string path = folder.Path + "/bare.bxl";
  auto message = BenchMessage();
  std::vector<std::byte> entry;
  bx::BuildLogFileEntry(*message, entry);
  for (auto _ : state) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) std::abort();
    if (::write(fd, entry.data(), 4) != 4) std::abort();
    const auto rest = static_cast<ssize_t>(entry.size() - 4);
    if (::write(fd, entry.data() + 4, static_cast<size_t>(rest)) != rest) std::abort();
    ::close(fd);
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_BareAppend);

void BM_Destination(benchmark::State& state) {
  TBenchFolder folder;
  bx::TBxLogFileDestination destination;
  destination.SetName("File");
  destination.SetOptions("Path=" + folder.Path + "/app.bxl");
  auto message = BenchMessage();
  for (auto _ : state) destination.Dispatch(*message);
  if (!destination.FileOpened) state.SkipWithError("not written");
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_Destination);

void BM_DestinationParts(benchmark::State& state) {
  TBenchFolder folder;
  for (int part = 1; part <= 10; ++part) {
    char name[32];
    std::snprintf(name, sizeof name, "/app_%02d.bxl", part);
    const int fd = ::open((folder.Path + name).c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
    ::close(fd);
  }
  bx::TBxLogFileDestination destination;
  destination.SetName("File");
  // Parts of 1 GB: every message lists the folder and checks the last part's size, and all of
  // them go to part 10.
  destination.SetOptions("Path=" + folder.Path + "/app.bxl;MaxSize=1048576;MaxParts=20");
  auto message = BenchMessage();
  for (auto _ : state) destination.Dispatch(*message);
  if (destination.CurrentFileName != folder.Path + "/app_10.bxl") {
    state.SkipWithError("unexpected part");
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_DestinationParts);

}  // namespace

BENCHMARK_MAIN();
