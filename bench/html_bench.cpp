// Throughput of the text helpers and the hyperlink scanner on 8 MB inputs.
#include <benchmark/benchmark.h>

#include "href_parser.h"
#include "page_gen.h"
#include "text_utils.h"

namespace leafstash::bench {
namespace {

constexpr std::size_t kPageBytes = 8u << 20;

const std::vector<std::string>& RealisticLines() {
  static const auto lines = RealisticPageLines(kPageBytes);
  return lines;
}

const std::vector<std::string>& HostileLines() {
  static const auto lines = HostilePageLines(kPageBytes);
  return lines;
}

void BM_UpperCopy(benchmark::State& state) {
  const std::string text = JoinLines(RealisticLines());
  for (auto _ : state) {
    std::string upper = UpperCopy(text);
    benchmark::DoNotOptimize(upper.data());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
}
BENCHMARK(BM_UpperCopy)->Unit(benchmark::kMillisecond);

// One full scan of the page text per iteration, as the engine scans a page
// it has read.
void Scan(benchmark::State& state, const std::vector<std::string>& lines) {
  const std::string page = JoinLines(lines);
  THREFParser parser;
  std::size_t links = 0, scripts = 0;
  parser.SetOnFoundHyperlink([&](THREFDocument*, const std::string&) { ++links; });
  parser.SetOnFoundScript(
      [&](THREFDocument*, const std::string&, const std::string&) { ++scripts; });
  for (auto _ : state) parser.SetHTMLText(page);
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * page.size()));
  state.counters["links"] = static_cast<double>(links / state.iterations());
  state.counters["scripts"] = static_cast<double>(scripts / state.iterations());
}

void BM_ScanHtml(benchmark::State& state) { Scan(state, RealisticLines()); }
BENCHMARK(BM_ScanHtml)->Unit(benchmark::kMillisecond);

void BM_ScanHostile(benchmark::State& state) { Scan(state, HostileLines()); }
BENCHMARK(BM_ScanHostile)->Unit(benchmark::kMillisecond);

void BM_ReplaceAll(benchmark::State& state) {
  const std::string find = "href=\"a.gif\"";  // 12 bytes
  std::string source;
  source.reserve(kPageBytes);
  const std::string filler =
      "<p>Offline copies keep their pictures and style sheets; every link "
      "points at a local file.</p>\r\n";
  while (source.size() < kPageBytes) {
    const std::size_t blockEnd = source.size() + 4096 - find.size();
    while (source.size() + filler.size() <= blockEnd) source += filler;
    source.append(blockEnd - source.size(), ' ');
    source += find;
  }
  for (auto _ : state) {
    std::string out = ReplaceAll(source, find, "href=\"0a.gif\"");
    benchmark::DoNotOptimize(out.data());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * source.size()));
}
BENCHMARK(BM_ReplaceAll)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace leafstash::bench
