// The URL table under the download driver's bookkeeping: admission with
// duplicates and shared last segments, then every entry found as the next
// queued one, found again by its address and moved on to Done.
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "core/process_values.h"
#include "engine/url_list.h"

namespace leafstash::bench {
namespace {

std::vector<std::string> Addresses(std::size_t Count) {
  std::vector<std::string> urls;
  urls.reserve(Count);
  for (std::size_t i = 0; i < Count; ++i) {
    if (i % 10 == 9) {
      urls.push_back(urls[i / 2]);  // a duplicate
    } else if (i % 5 == 0 && i > 0) {
      // Same last segment as an earlier address on another host.
      urls.push_back("http://mirror" + std::to_string(i % 3) + ".example/m/" +
                     std::to_string(i) + "/pic" + std::to_string(i / 2) + ".gif");
    } else {
      urls.push_back("http://h" + std::to_string(i % 7) + ".example/d" +
                     std::to_string(i % 100) + "/pic" + std::to_string(i) + ".gif");
    }
  }
  return urls;
}

void BM_UrlTable(benchmark::State& state) {
  const std::vector<std::string> urls = Addresses(static_cast<std::size_t>(state.range(0)));
  ResetProcessValues();
  for (auto _ : state) {
    TURLListMan list;
    for (const std::string& url : urls)
      list.Add(url, "http://h0.example/page.html", "", "", TURLKind::Other, TURLState::Queued);
    while (auto next = list.FindFirstInState(TURLState::Queued)) {
      list.SetState(*next, TURLState::Downloading);
      const auto found = list.FindByURL(list.Item(*next).EntryURL);
      list.SetState(*found, TURLState::Done);
    }
    benchmark::DoNotOptimize(list.CountInState(TURLState::Done));
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * urls.size()));
}
BENCHMARK(BM_UrlTable)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace leafstash::bench
