// Pictures of the start window's three pages and of the progress window,
// taken from the real forms for the documentation:
//   leafstash_screenshots SITE_URL LANG_DIR OUT_DIR [german | dark]
// SITE_URL serves the demo site; the job saves it into a temporary folder.
// "german" takes only the General page in German, saying why it refused a
// Start with no folder (run it with QT_SCALE_FACTOR=2); "dark" takes only
// the General page in a dark theme.
#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTimer>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>

#include "gui/app_title.h"
#include "gui/dark_palette.h"
#include "gui/refusal_note.h"
#include "core/ls_app.h"
#include "host/page_snapshot.h"
#include "core/process_values.h"
#include "gui/help_window.h"
#include "gui/start_form.h"

namespace {

using nlohmann::json;
using namespace leafstash;

void Settle(int Ms) {
  QElapsedTimer clock;
  clock.start();
  while (clock.elapsed() < Ms) QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
}

bool Save(QWidget* Window, const std::string& Path) {
  const bool saved = Window->grab().save(QString::fromStdString(Path));
  std::printf("%s %s\n", saved ? "wrote" : "could not write", Path.c_str());
  return saved;
}

// The demo page as the browser extension reads it, the link to the seeds
// page selected, and handed over as shown (Html, the page's own file).
std::string DemoPage(const std::string& Site, const std::string& Html) {
  json links = json::array();
  const auto link = [&](const std::string& Href, const std::string& Text) {
    links.push_back({{"href", Href}, {"innerText", Text}});
  };
  link(Site + "seeds.html", "Seeds sown this spring");
  link(Site + "index.html#clock", "The clock");
  link(Site + "images/logo.gif", "Logo");
  link("https://garden.example/tools/", "Garden tools");
  link("https://garden.example/tools/spade.html", "The spade");
  link("http://weather.example/forecast?city=Riga", "Forecast");
  link("mailto:journal@garden.example", "Write to us");
  link("https://garden.example/about.html", "About the garden");
  return json{{"url", Site + "index.html"},
              {"title", "Leafstash demo: the garden journal"},
              {"documentUrl", Site + "index.html"},
              {"selectionHtml", "<li><a href=\"seeds.html\">Seeds sown this spring</a></li>"},
              {"links", links},
              {"frames", json::array({json{{"location", Site + "frame.html"},
                                           {"title", "The weather frame"}}})},
              {"documents", json::array({json{{"url", Site + "index.html"}, {"html", Html}}})}}
      .dump();
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4 && argc != 5) {
    std::fputs("usage: leafstash_screenshots SITE_URL LANG_DIR OUT_DIR [german | dark]\n", stderr);
    return 2;
  }
  const std::string site = argv[1], out = std::string(argv[3]) + "/";
  const std::string variant = argc == 5 ? argv[4] : "";
  QApplication app(argc, argv);
  if (variant == "dark") QApplication::setPalette(DarkPalette());
  QApplication::setQuitOnLastWindowClosed(false);
  SetApplicationTitle("Leafstash");
  const std::filesystem::path work = std::filesystem::temp_directory_path() / "leafstash-shots";
  std::filesystem::remove_all(work);
  std::filesystem::create_directories(work / "saved");
  Process().LangDir = std::string(argv[2]) + "/";
  Process().SettingsFile = (work / "lfsta.cfg").string();
  Process().ExtraSettingsFile = (work / "lfsta.ini").string();

  bool ok = true;
  TStartForm form;
  form.show();
  Settle(400);
  if (variant.empty()) ok &= Save(&form, out + "about.png");

  std::ifstream demo(std::string(argv[2]) + "/../demo-site/index.html", std::ios::binary);
  TSnapshot snapshot =
      ReadSnapshot(DemoPage(site, std::string(std::istreambuf_iterator<char>(demo), {})));
  Process().Handover = std::move(snapshot.Handover);
  TLSApp* object = TLSApp::Create();
  if (object->Start(snapshot.Window) != S_OK) {
    std::fprintf(stderr, "the page could not be read: %s\n", object->ErrorText().c_str());
    return 1;
  }
  form.edFolder->setText(QString::fromStdString((work / "saved").string()));
  Settle(200);
  if (variant == "german") {
    form.cmbLang->setEditText("German");
    form.cmbLangChange();
    form.edFolder->clear();
    form.btnStart->click();
    Settle(300);
    ok &= form.RefusalNote->isVisible() && Save(&form, out + "general-german-scale2.png");
  }
  if (variant == "dark") ok &= Save(&form, out + "general-dark.png");
  if (!variant.empty()) {
    object->Release();
    std::filesystem::remove_all(work);
    return ok ? 0 : 1;
  }
  ok &= Save(&form, out + "general.png");
  form.PageControl1->setCurrentWidget(form.tshAdvanced);
  Settle(200);
  ok &= Save(&form, out + "advanced.png");
  // Help on the Advanced page.
  form.btnHelp->click();
  Settle(300);
  ok &= form.HelpWindow && Save(form.HelpWindow.get(), out + "help.png");
  if (form.HelpWindow) form.HelpWindow->hide();
  form.PageControl1->setCurrentWidget(form.tshGeneral);

  // The progress window, shortly after the job has begun.
  QTimer watch;
  watch.setInterval(30);
  bool shot = false;
  QObject::connect(&watch, &QTimer::timeout, [&] {
    QWidget* progress = QApplication::activeModalWidget();
    if (!progress || shot) return;
    shot = true;
    watch.stop();
    QTimer::singleShot(300, [&, progress] { ok &= Save(progress, out + "progress.png"); });
  });
  watch.start();
  form.btnStart->click();
  ok &= shot;
  // The end of the job goes to the desktop's notification service.
  Settle(1000);
  object->Release();
  std::filesystem::remove_all(work);
  return ok ? 0 : 1;
}
