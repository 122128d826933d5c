// Throughput of the text helpers, the hyperlink scanner and the engine's
// reference scanners on 8 MB pages and a 2 MB style sheet.
#include <benchmark/benchmark.h>

#include "html/href_parser.h"
#include "html/page_refs.h"
#include "page_gen.h"
#include "html/text_utils.h"

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

// The engine's scan of a stored page for what it needs.
void BM_ScanPage(benchmark::State& state) {
  const std::string page = JoinLines(RealisticLines());
  std::size_t refs = 0;
  for (auto _ : state) {
    const std::vector<TResourceRef> found = ScanPageRefs(page);
    refs = found.size();
    benchmark::DoNotOptimize(found.data());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * page.size()));
  state.counters["refs"] = static_cast<double>(refs);
}
BENCHMARK(BM_ScanPage)->Unit(benchmark::kMillisecond);

// A 2 MB style sheet with 20,000 url()s in the spellings sites use.
void BM_ScanCss(benchmark::State& state) {
  constexpr int kUrls = 20000;
  constexpr std::size_t kBytes = 2u << 20;
  std::string css;
  css.reserve(kBytes + 4096);
  for (int i = 0; i < kUrls; ++i) {
    const std::string n = std::to_string(i);
    const char* quote = i % 3 == 0 ? "\"" : i % 3 == 1 ? "'" : "";
    css += ".bg-" + n + " { background: #fff url(" + quote + "../img/p" + n + ".png" + quote +
           ") no-repeat 0 0 }\n";
    // Rules without references fill each entry's share of the sheet.
    const std::size_t share = kBytes * static_cast<std::size_t>(i + 1) / kUrls;
    if (i % 8 == 0) css += "/* section " + n + " */\n";
    while (css.size() + 80 < share)
      css += ".b-" + n + " .item:hover > a { color: #333; margin: 0 auto 12px; padding: 4px }\n";
    if (css.size() < share) css.append(share - css.size() - 1, ' ') += '\n';
  }
  std::size_t refs = 0;
  for (auto _ : state) {
    std::vector<TResourceRef> found;
    ScanCssRefs(css, 0, TRefContext::Css, 0, found);
    refs = found.size();
    benchmark::DoNotOptimize(found.data());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * css.size()));
  state.counters["refs"] = static_cast<double>(refs);
}
BENCHMARK(BM_ScanCss)->Unit(benchmark::kMillisecond);

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
