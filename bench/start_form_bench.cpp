// The start window filled from a page of 10,000 links, a third of them in
// the selection: from the browser's Start call until the list is painted.
#include <QApplication>
#include <benchmark/benchmark.h>
#include <nlohmann/json.hpp>

#include "gui/links_view.h"
#include "core/ls_app.h"
#include "host/page_snapshot.h"
#include "core/process_values.h"
#include "gui/start_form.h"

namespace leafstash {
namespace {

std::string ManyLinks(int Count) {
  nlohmann::json links = nlohmann::json::array();
  std::string selection;
  for (int i = 0; i < Count; ++i) {
    const std::string href = "http://site.test/archive/" + std::to_string(i) + "/page.html";
    links.push_back({{"href", href}, {"innerText", "  Entry number " + std::to_string(i) + " "}});
    if (i % 3 == 0) selection += "<a href=\"/archive/" + std::to_string(i) + "/page.html\">x</a>\n";
  }
  return nlohmann::json{{"url", "http://site.test/archive/"},
                        {"title", "Archive"},
                        {"documentUrl", "http://site.test/archive/"},
                        {"selectionHtml", selection},
                        {"links", links}}
      .dump();
}

void BM_FillLinkList(benchmark::State& State) {
  const std::string snapshot = ManyLinks(static_cast<int>(State.range(0)));
  Process().LangDir = LEAFSTASH_LANG_DIR "/";
  for (auto _ : State) {
    State.PauseTiming();
    const Variant window = BuildWindowFromSnapshot(snapshot);
    TStartForm form;
    form.show();
    QCoreApplication::processEvents();
    TLSApp* object = TLSApp::Create();
    State.ResumeTiming();
    if (object->Start(window) != S_OK) State.SkipWithError("Start failed");
    form.repaint();
    State.PauseTiming();
    ReleaseAppObject();
    object->Release();
    form.close();
    State.ResumeTiming();
  }
  State.SetItemsProcessed(State.iterations() * State.range(0));
}
BENCHMARK(BM_FillLinkList)->Arg(10000)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace leafstash
