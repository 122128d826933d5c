// The download component against the curl command-line program, both on
// the same in-process HTTP server: many small files five at a time, and one
// large body into a file with the peak memory of the process.
#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <unistd.h>

#include "bench_util.h"
#include "download/ie_download.h"
#include "qt_wait.h"
#include "temp_dir.h"
#include "test_server.h"

namespace leafstash::bench {
namespace {

constexpr int kSmallFiles = 1000;
constexpr std::size_t kSmallSize = 10 * 1024;
constexpr std::size_t kLargeSize = std::size_t{1} << 30;
constexpr int kParallel = 5;

test::TestServer& Server() {
  static test::TestServer* server = [] {
    auto* s = new test::TestServer();
    s->Routes().Get(R"(/small/(\d+))", [](const httplib::Request&, httplib::Response& r) {
      r.set_content(Block().substr(0, kSmallSize), "application/octet-stream");
    });
    s->Routes().Get("/large", [](const httplib::Request&, httplib::Response& r) {
      ServeLarge(r, kLargeSize, "application/octet-stream");
    });
    s->Start();
    return s;
  }();
  return *server;
}

std::string SmallUrl(int i) { return Server().Url("/small/" + std::to_string(i)); }

void BM_DownloadSmallFiles(benchmark::State& state) {
  Server();
  for (auto _ : state) {
    TIEDownload d;
    d.UserAgent.clear();
    int next = 0, done = 0, failed = 0;
    d.OnComplete = [&](TBSCB*, TStream* stream, HRESULT result) {
      if (!stream) return;  // the early report; the end of the binding follows
      ++done;
      if (result != S_OK || stream->Size() != static_cast<std::int64_t>(kSmallSize)) ++failed;
      if (next < kSmallFiles) d.Download(SmallUrl(next++));
    };
    for (; next < kParallel; ++next) d.Download(SmallUrl(next));
    if (!test::WaitUntil([&] { return done == kSmallFiles; }, 120000) || failed)
      state.SkipWithError("downloads failed");
  }
  state.SetItemsProcessed(state.iterations() * kSmallFiles);
}
BENCHMARK(BM_DownloadSmallFiles)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();

void BM_CurlCliSmallFiles(benchmark::State& state) {
  Server();
  test::TempDir dir;
  {
    std::ofstream config(dir.File("urls.txt"));
    for (int i = 0; i < kSmallFiles; ++i)
      config << "url = \"" << SmallUrl(i) << "\"\noutput = \"/dev/null\"\n";
  }
  for (auto _ : state) {
    if (RunCurl("--parallel --parallel-max 5 --config " + dir.File("urls.txt")) != 0)
      state.SkipWithError("curl failed");
  }
  state.SetItemsProcessed(state.iterations() * kSmallFiles);
}
BENCHMARK(BM_CurlCliSmallFiles)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();

void BM_DownloadLargeFile(benchmark::State& state) {
  Server();
  test::TempDir dir;
  long peak = 0, rise = 0;
  for (auto _ : state) {
    state.PauseTiming();
    ClearDestination(dir.File("large.bin"));
    const long start = ResetPeakResident();
    state.ResumeTiming();
    TIEDownload d;
    HRESULT result = E_FAIL;
    std::int64_t size = 0;
    bool finished = false;
    d.OnComplete = [&](TBSCB*, TStream* stream, HRESULT r) {
      if (!stream) return;
      result = r;
      size = stream->Size();
      finished = true;
    };
    d.DownloadToFile(Server().Url("/large"), dir.File("large.bin"));
    if (!test::WaitUntil([&] { return finished; }, 600000) || result != S_OK ||
        size != static_cast<std::int64_t>(kLargeSize))
      state.SkipWithError("download failed");
    const long top = PeakResidentKiB();
    peak = std::max(peak, top);
    rise = std::max(rise, top - start);
  }
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(kLargeSize));
  state.counters["peak_rss_MiB"] = static_cast<double>(peak) / 1024.0;
  state.counters["rss_rise_MiB"] = static_cast<double>(rise) / 1024.0;
}
BENCHMARK(BM_DownloadLargeFile)->Unit(benchmark::kMillisecond)->Iterations(2)->UseRealTime();

void BM_CurlCliLargeFile(benchmark::State& state) {
  Server();
  test::TempDir dir;
  for (auto _ : state) {
    state.PauseTiming();
    ClearDestination(dir.File("large.bin"));
    state.ResumeTiming();
    if (RunCurl("-o " + dir.File("large.bin") + " " + Server().Url("/large")) != 0)
      state.SkipWithError("curl failed");
  }
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(kLargeSize));
}
BENCHMARK(BM_CurlCliLargeFile)->Unit(benchmark::kMillisecond)->Iterations(2)->UseRealTime();

}  // namespace
}  // namespace leafstash::bench
