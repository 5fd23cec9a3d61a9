// Loading and saving a large settings file: 10,000 lines (categories, named paths, alias
// sections and the fixed keys), in a temporary folder.
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "config/dispatcher_settings.h"

namespace {

std::string BenchFile() {
  static const std::string path = [] {
    std::string folder =
        (std::filesystem::temp_directory_path() / ("bx-settings-bench-" + std::to_string(getpid())))
            .string();
    std::filesystem::create_directories(folder);
    std::string file = folder + "/BxDispatcher.ini";
    std::ofstream out(file, std::ios::binary);
    out << "\xEF\xBB\xBF[Settings]\r\nUIMode=2\r\n\r\n[Ports]\r\nMonitorPorts=1\r\n\r\n";
    int lines = 6;
    out << "[Categories]\r\n";
    for (int i = 0; i < 5000; ++i, ++lines) {
      out << "Category" << (i * 7919 % 5000) << "=" << (i % 2) << "\r\n";
    }
    out << "\r\n[NamedPaths]\r\n";
    for (int i = 0; i < 2000; ++i, ++lines) out << "Var" << i << "=/srv/logs/" << i << "\r\n";
    out << "RestrictFolders=1\r\n\r\n";
    lines += 5;
    while (lines < 10000) {
      out << "[Alias" << lines << "]\r\nDestinationDetails=File[Path=/srv/a" << lines
          << ".bxl]\r\n\r\n";
      lines += 3;
    }
    return file;
  }();
  return path;
}

void BM_LoadSettings10000Lines(benchmark::State& state) {
  std::string file = BenchFile();
  for (auto _ : state) {
    bx::TBxDispatcherSettings settings(file);
    settings.LoadSettings();
    benchmark::DoNotOptimize(settings.Categories.Count());
  }
}
BENCHMARK(BM_LoadSettings10000Lines)->Unit(benchmark::kMillisecond);

void BM_SaveSettings10000Lines(benchmark::State& state) {
  std::string file = BenchFile();
  bx::TBxDispatcherSettings settings(file);
  settings.LoadSettings();
  for (auto _ : state) benchmark::DoNotOptimize(settings.SaveSettings());
}
BENCHMARK(BM_SaveSettings10000Lines)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  std::error_code ignored;
  std::filesystem::remove_all(std::filesystem::path(BenchFile()).parent_path(), ignored);
  return 0;
}
