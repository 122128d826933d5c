// A save job whose page names five pictures of 1 GiB each, five downloads
// at once, against curl fetching the same five files into files in the
// same run, and the same job keeping a web archive too; the jobs' peak
// memory is reported.
#include <benchmark/benchmark.h>

#include <QEventLoop>
#include <filesystem>
#include <string>

#include "bench_util.h"
#include "core/process_values.h"
#include "engine/save_job.h"
#include "temp_dir.h"
#include "test_server.h"

namespace leafstash::bench {
namespace {

constexpr int kPictures = 5;
constexpr std::size_t kPictureSize = std::size_t{1} << 30;

test::TestServer& LargeSite() {
  static test::TestServer* server = [] {
    auto* s = new test::TestServer();
    s->Routes().Get("/big/index.html", [](const httplib::Request&, httplib::Response& r) {
      std::string page = "<html><body>\n";
      for (int i = 0; i < kPictures; ++i) page += "<img src=\"p" + std::to_string(i) + ".gif\">\n";
      r.set_content(page + "</body></html>\n", "text/html");
    });
    s->Routes().Get(R"(/big/p\d\.gif)", [](const httplib::Request&, httplib::Response& r) {
      ServeLarge(r, kPictureSize, "image/gif");
    });
    s->Start();
    return s;
  }();
  return *server;
}

void ClearFolder(const test::TempDir& Dir) {
  for (const auto& item : std::filesystem::directory_iterator(Dir.Path()))
    std::filesystem::remove(item.path());
  ::sync();
}

// Arg 1: the job also keeps a web archive, every byte spooled and written
// into it as well.
void BM_SaveJobLargeFiles(benchmark::State& state) {
  const bool archive = state.range(0) != 0;
  const std::string url = LargeSite().Url("/big/index.html");
  test::TempDir dir;
  long peak = 0, rise = 0;
  for (auto _ : state) {
    state.PauseTiming();
    ClearFolder(dir);
    ResetProcessValues();
    TSaveRequest request;
    request.DestPath = dir.Path();
    request.PageURL = url;
    request.PageTitle = "Large";
    request.Options.SetSavePictures(true);
    request.Options.SetMaxThreads(5);
    request.Outputs.WebArchive = archive;
    const long start = ResetPeakResident();
    state.ResumeTiming();
    TSaveJob job(std::move(request));
    QEventLoop loop;
    QObject::connect(&job, &TSaveJob::Finished, &loop, &QEventLoop::quit);
    if (job.Prepare()) {
      job.Start();
      if (!job.IsFinished()) loop.exec();
    }
    const long top = PeakResidentKiB();
    peak = std::max(peak, top);
    rise = std::max(rise, top - start);
    state.PauseTiming();
    bool whole = job.Outcome().End == TJobEnd::Saved;
    for (int i = 0; i < kPictures; ++i) {
      std::error_code error;
      whole = whole && std::filesystem::file_size(dir.File("p" + std::to_string(i) + ".gif"), error) ==
                           kPictureSize;
    }
    if (archive)
      whole = whole && std::filesystem::file_size(job.Outcome().ArchivePath) > kPictures * kPictureSize;
    if (!whole) state.SkipWithError("the job did not save the pictures whole");
    state.ResumeTiming();
  }
  ClearFolder(dir);
  state.SetLabel(archive ? "with --warc" : "folder only");
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(kPictures * kPictureSize));
  state.counters["peak_rss_MiB"] = static_cast<double>(peak) / 1024.0;
  state.counters["rss_rise_MiB"] = static_cast<double>(rise) / 1024.0;
}
BENCHMARK(BM_SaveJobLargeFiles)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->Iterations(2)->UseRealTime();

void BM_CurlParallelLargeFiles(benchmark::State& state) {
  test::TempDir dir;
  std::string arguments = "--parallel --parallel-max 5";
  for (int i = 0; i < kPictures; ++i)
    arguments += " -o " + dir.File("p" + std::to_string(i) + ".gif") + " " +
                 LargeSite().Url("/big/p" + std::to_string(i) + ".gif");
  for (auto _ : state) {
    state.PauseTiming();
    ClearFolder(dir);
    state.ResumeTiming();
    if (RunCurl(arguments) != 0) state.SkipWithError("curl failed");
  }
  ClearFolder(dir);
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(kPictures * kPictureSize));
}
BENCHMARK(BM_CurlParallelLargeFiles)->Unit(benchmark::kMillisecond)->Iterations(2)->UseRealTime();

}  // namespace
}  // namespace leafstash::bench
