// What hostile input costs: the peak heap and the time of refusing a 16 MiB XML tag bomb (and
// of converting an ordinary 4 MiB message), and the time of splitting destination strings of
// 1 MiB and 16 MiB. The heap is measured by counting what operator new hands out in this
// program (heap_meter.h); the process's peak resident size is reported beside it ("max_rss_MiB",
// which only ever grows).
#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <atomic>
#include <cstdlib>
#include <new>
#include <string>

#include "core/dispatch_list.h"
#include "heap_meter.h"
#include "messages/convert_error.h"
#include "messages/message_format.h"
#include "messages/xml_message.h"

namespace {

constexpr double kMiB = 1024.0 * 1024.0;

std::string Repeat(const std::string& piece, size_t bytes) {
  std::string out;
  out.reserve(bytes + piece.size());
  while (out.size() < bytes) out += piece;
  return out;
}

double MaxRssMiB() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return static_cast<double>(usage.ru_maxrss) * 1024.0 / kMiB;
}

void Convert(benchmark::State& state, const std::string& document) {
  const auto bytes = std::as_bytes(std::span<const char>(document.data(), document.size()));
  size_t peak = 0;
  for (auto _ : state) {
    peak = std::max(peak, bx::test::PeakHeapGrowth([&] {
                      try {
                        auto m = bx::ParseXmlMessage(bx::bxmUTF8XmlMessageFormat, bytes);
                        benchmark::DoNotOptimize(m.get());
                      } catch (const bx::EBxConvertError&) {
                        // refused: what is measured
                      }
                    }));
  }
  state.counters["doc_MiB"] = static_cast<double>(document.size()) / kMiB;
  state.counters["peak_heap_MiB"] = static_cast<double>(peak) / kMiB;
  state.counters["multiple"] = static_cast<double>(peak) / static_cast<double>(document.size());
  state.counters["max_rss_MiB"] = MaxRssMiB();
}

constexpr size_t k16MiB = 16 * 1024 * 1024;

void BM_XmlBombNestedTags(benchmark::State& state) { Convert(state, Repeat("<a>", k16MiB)); }
void BM_XmlBombEmptyElements(benchmark::State& state) { Convert(state, Repeat("<a/>", k16MiB)); }
void BM_XmlBombAttributes(benchmark::State& state) {
  Convert(state, "<a" + Repeat(" b", k16MiB) + ">");
}
void BM_XmlOrdinary4MiBDetails(benchmark::State& state) {
  Convert(state, "<Msg><TimeStamp>2009-03-04 05:06:07.089</TimeStamp><Details>" +
                     Repeat("line &amp; more\n", 4 * 1024 * 1024) + "</Details></Msg>");
}

// A whole destination string split item by item, as a registration does.
void Split(benchmark::State& state, const std::string& piece) {
  const std::string text = Repeat(piece, static_cast<size_t>(state.range(0)) * 1024 * 1024);
  size_t items = 0;
  for (auto _ : state) {
    size_t position = 0;
    items = 0;
    std::string kind;
    std::string options;
    while (position < text.size()) {
      bx::SplitNextDestination(text, position, kind, options);
      ++items;
    }
    benchmark::DoNotOptimize(kind);
  }
  state.counters["items"] = static_cast<double>(items);
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(text.size()));
}

void BM_SplitCommas(benchmark::State& state) { Split(state, ","); }
void BM_SplitShortItems(benchmark::State& state) { Split(state, "File[Path=a],"); }

// The registry's path: the list's parser over a string of commas (no item names a kind).
void BM_DispatchListOfCommas(benchmark::State& state) {
  const std::string text(static_cast<size_t>(state.range(0)) * 1024 * 1024, ',');
  for (auto _ : state) {
    bx::TBxDispatchList list;
    list.SetName(text);
    benchmark::DoNotOptimize(list.Invalid);
  }
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(text.size()));
}

}  // namespace

BENCHMARK(BM_XmlBombNestedTags)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_XmlBombEmptyElements)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_XmlBombAttributes)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_XmlOrdinary4MiBDetails)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_SplitCommas)->Arg(1)->Arg(16)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SplitShortItems)->Arg(1)->Arg(16)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DispatchListOfCommas)->Arg(1)->Arg(16)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
