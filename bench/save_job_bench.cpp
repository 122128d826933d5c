// The rewrite phase on a large page, and whole save jobs against wget on a
// server that delays every answer.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <thread>

#include "engine/job_driver.h"
#include "engine/single_file.h"
#include "core/process_values.h"
#include "gui/run_job.h"
#include "temp_dir.h"
#include "test_server.h"

namespace leafstash::bench {
namespace {

constexpr int kPictures = 2000;

// A 2 MB page with 20,000 links: even ones to pictures the table holds,
// odd ones to pages it does not.
std::string LargePage() {
  std::string page = "<html><head><title>Large</title></head><body>\n";
  int n = 0;
  while (page.size() < (2u << 20) - 200 || n < 20000) {
    if (n % 2 == 0)
      page += "<p>Photo " + std::to_string(n) + " <img src=\"pics/p" + std::to_string(n) +
              ".gif\" alt='picture " + std::to_string(n) + "'>";
    else
      page += "<a href=\"/story/" + std::to_string(n) + ".html\">story</a> and text\n";
    ++n;
  }
  return page + "</body></html>\n";
}

void BM_RewritePage(benchmark::State& state) {
  test::TempDir dir;
  ResetProcessValues();
  Process().DestPath = dir.Path();
  Process().Settings.SetSavePictures(true);
  TURLListMan list;
  Process().URLList = &list;
  const std::string base = "http://site.example/d/";
  list.Add(base + "page.html", "", "", "page.html", TURLKind::Page, TURLState::AwaitingRewrite);
  for (int n = 0; n < 20000; n += 2)
    list.Add("pics/p" + std::to_string(n) + ".gif", base + "page.html", "", "", TURLKind::Picture,
             TURLState::Done);
  const std::string page = LargePage();
  TJobDriver driver;
  for (auto _ : state) {
    state.PauseTiming();
    dir.Write("page.html", page);
    list.SetState(0, TURLState::AwaitingRewrite);
    state.ResumeTiming();
    driver.RewritePages();
  }
  if (dir.Read("page.html").find("src=\"p0.gif\"") == std::string::npos)
    state.SkipWithError("the page was not rewritten");
  QCoreApplication::removePostedEvents(&driver);
  Process().URLList = nullptr;
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(page.size()));
}
BENCHMARK(BM_RewritePage)->Unit(benchmark::kMillisecond);

// A site whose every answer takes 20 ms: a page with 2,000 pictures.
test::TestServer& SlowSite() {
  static test::TestServer* server = [] {
    auto* s = new test::TestServer();
    s->Routes().Get("/gallery/index.html", [](const httplib::Request&, httplib::Response& r) {
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
      std::string page = "<html><body>\n";
      for (int i = 0; i < kPictures; ++i)
        page += "<img src=\"img/photo" + std::to_string(i) + ".gif\">\n";
      r.set_content(page + "</body></html>\n", "text/html");
    });
    s->Routes().Get(R"(/gallery/img/photo\d+\.gif)", [](const httplib::Request&, httplib::Response& r) {
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
      r.set_content(std::string("GIF89a") + std::string(2000, 'x'), "image/gif");
    });
    s->Start();
    return s;
  }();
  return *server;
}

// True when the gallery's page was saved and rewritten.
bool SavedGallery(const test::TempDir& Dir) {
  std::ifstream index(Dir.File("INDEX.HTML"));
  const std::string text((std::istreambuf_iterator<char>(index)), {});
  return text.find("src=\"photo1999.gif\"") != std::string::npos;
}

// The gallery's one-file copy, from a folder copy saved once: 2,000
// pictures taken in as data: addresses.
void BM_SingleFile(benchmark::State& state) {
  test::TempDir dir;
  std::string page = "<html><body>\n";
  for (int i = 0; i < kPictures; ++i) {
    const std::string name = "photo" + std::to_string(i) + ".gif";
    page += "<img src=\"" + name + "\">\n";
    std::ofstream(dir.File(name)) << "GIF89a" << std::string(2000, 'x');
  }
  std::ofstream(dir.File("INDEX.HTML")) << page << "</body></html>\n";
  const TSavedFileLookup lookup = [&](std::string_view Link) -> std::optional<TSavedFile> {
    const std::string name(Link);
    if (name.find('/') != std::string::npos || !std::filesystem::exists(dir.File(name)))
      return std::nullopt;
    return TSavedFile{"http://example.org/" + name, dir.File(name), TypeOfFileName(name)};
  };
  for (auto _ : state) {
    std::string why;
    if (!WriteSingleFile(dir.File("INDEX.HTML"), dir.File("Gallery.html"), lookup, 20u << 20, why))
      state.SkipWithError(why.c_str());
  }
  state.SetItemsProcessed(state.iterations() * kPictures);
  state.counters["file_MiB"] =
      static_cast<double>(std::filesystem::file_size(dir.File("Gallery.html"))) / (1 << 20);
}
BENCHMARK(BM_SingleFile)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_SaveJob(benchmark::State& state) {
  const std::string url = SlowSite().Url("/gallery/index.html");
  for (auto _ : state) {
    test::TempDir dir;
    ResetProcessValues();
    TSaveRequest request;
    request.DestPath = dir.Path();
    request.PageURL = url;
    request.PageTitle = "Gallery";
    request.Options.SetSavePictures(true);
    request.Options.SetMaxThreads(5);
    RunSaveJob(std::move(request));
    state.PauseTiming();
    if (!SavedGallery(dir)) state.SkipWithError("the job did not save the gallery");
    state.ResumeTiming();
  }
  state.SetItemsProcessed(state.iterations() * (kPictures + 1));
}
BENCHMARK(BM_SaveJob)->Unit(benchmark::kMillisecond)->Iterations(1)->UseRealTime();

// The same job through the program: `leafstash save` as a process.
void BM_CliSaveJob(benchmark::State& state) {
  const std::string url = SlowSite().Url("/gallery/index.html");
  test::TempDir config;
  for (auto _ : state) {
    test::TempDir dir;
    const std::string command = "LEAFSTASH_CONFIG_DIR=" + config.Path() + " " LEAFSTASH_EXE
                                " save --quiet --threads 5 " + url + " " + dir.Path();
    if (std::system(command.c_str()) != 0) state.SkipWithError("leafstash save failed");
    state.PauseTiming();
    if (!SavedGallery(dir)) state.SkipWithError("the job did not save the gallery");
    state.ResumeTiming();
  }
  state.SetItemsProcessed(state.iterations() * (kPictures + 1));
}
BENCHMARK(BM_CliSaveJob)->Unit(benchmark::kMillisecond)->Iterations(1)->UseRealTime();

void BM_WgetSaveJob(benchmark::State& state) {
  const std::string url = SlowSite().Url("/gallery/index.html");
  for (auto _ : state) {
    test::TempDir dir;
    const std::string command =
        "wget --quiet -e robots=off -p -k -nd -P " + dir.Path() + " " + url;
    if (std::system(command.c_str()) != 0) state.SkipWithError("wget failed");
  }
  state.SetItemsProcessed(state.iterations() * (kPictures + 1));
}
BENCHMARK(BM_WgetSaveJob)->Unit(benchmark::kMillisecond)->Iterations(1)->UseRealTime();

}  // namespace
}  // namespace leafstash::bench
