// The program as a browser's native messaging host: the host process a
// browser starts, the program it starts in turn, and the registration of
// the host with the browsers.
#include <QProcess>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>
#include <signal.h>

#include <filesystem>
#include <fstream>
#include <thread>

#include "host/browser_hosts.h"
#include "host/framing.h"
#include "qt_wait.h"
#include "core/settings.h"
#include "suite_server.h"
#include "temp_dir.h"
#include "engine/url_entry.h"

namespace leafstash {
namespace {

namespace fs = std::filesystem;
using httplib::Request;
using httplib::Response;
using nlohmann::json;

constexpr int kPictures = 20;

std::string ReadText(const std::string& Path) {
  std::ifstream in(Path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// Processes whose environment holds Entry and whose command line has Word.
std::vector<pid_t> ProcessesWith(const std::string& Entry, const std::string& Word) {
  std::vector<pid_t> found;
  for (const auto& item : fs::directory_iterator("/proc")) {
    const std::string name = item.path().filename();
    if (name.find_first_not_of("0123456789") != std::string::npos) continue;
    const std::string environ = ReadText(item.path() / "environ");
    const std::string command = ReadText(item.path() / "cmdline");
    if (environ.find(std::string(1, '\0') + Entry + '\0') != std::string::npos &&
        command.find(Word) != std::string::npos)
      found.push_back(static_cast<pid_t>(std::stol(name)));
  }
  return found;
}

struct HostRun {
  int code = -1;
  std::vector<json> answers;
  std::string err;
};

class BrowserHostTest : public test::SuiteWithServer<BrowserHostTest> {
 public:
  static void Route(httplib::Server& s) {
    s.Get("/slow/index.html", [](const Request&, Response& r) {
      std::string page = "<html><title>Slow</title>";
      for (int i = 0; i < kPictures; ++i) page += "<img src=\"p" + std::to_string(i) + ".gif\">";
      r.set_content(page + "<a href=\"next.html\">next</a></html>", "text/html");
    });
    s.Get(R"(/slow/p(\d+)\.gif)", [](const Request& q, Response& r) {
      std::this_thread::sleep_for(std::chrono::milliseconds(500));
      r.set_content("GIF " + q.matches[1].str(), "image/gif");
    });
    s.Get("/slow/next.html", [](const Request&, Response& r) { r.set_content("next", "text/html"); });
  }

 protected:
  ~BrowserHostTest() override {
    // Whatever the test left running (a window nobody closes) goes.
    for (pid_t pid : ProcessesWith(Marker(), "-Embedding")) ::kill(pid, SIGKILL);
  }

  std::string Marker() const { return "LEAFSTASH_CONFIG_DIR=" + home_.Path(); }

  QProcessEnvironment Environment() const {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("LEAFSTASH_CONFIG_DIR", QString::fromStdString(home_.Path()));
    env.insert("HOME", QString::fromStdString(home_.Path()));
    env.insert("XDG_CONFIG_HOME", QString::fromStdString(home_.File(".config")));
    env.insert("LEAFSTASH_REGISTRY", QString::fromStdString(home_.File("registry.json")));
    env.insert("QT_QPA_PLATFORM", "offscreen");
    return env;
  }

  std::unique_ptr<QProcess> StartHost(const QProcessEnvironment& Env,
                                      const QStringList& Args = {"chrome-extension://x/"}) {
    auto host = std::make_unique<QProcess>();
    host->setProcessEnvironment(Env);
    host->start(LEAFSTASH_EXE, Args);
    host->waitForStarted();
    return host;
  }

  // Waits for Count answers on the host's output, or its end.
  static std::vector<json> Answers(QProcess& Host, std::size_t Count, int LimitMs = 20000) {
    TFrameReader reader(kMaxAnswerBytes);
    std::vector<json> answers;
    std::string message;
    test::WaitUntil([&] {
      const QByteArray bytes = Host.readAllStandardOutput();
      reader.Feed(bytes.data(), static_cast<std::size_t>(bytes.size()));
      while (reader.Next(message) == TFrameStatus::Message) answers.push_back(json::parse(message));
      return answers.size() >= Count || Host.state() == QProcess::NotRunning;
    }, LimitMs);
    return answers;
  }

  HostRun Exchange(const std::string& Input, const QStringList& Args = {"chrome-extension://x/"}) {
    auto host = StartHost(Environment(), Args);
    host->write(Input.data(), static_cast<qint64>(Input.size()));
    host->closeWriteChannel();
    HostRun run;
    run.answers = Answers(*host, 1);
    host->waitForFinished(20000);
    run.code = host->exitStatus() == QProcess::NormalExit ? host->exitCode() : -1;
    run.err = host->readAllStandardError().toStdString();
    return run;
  }

  static std::string Snapshot(const std::string& Path) {
    return json{{"url", Url(Path)},
                {"title", "Slow"},
                {"documentUrl", Url(Path)},
                {"selectionHtml", "<a href=\"next.html\">next</a>"},
                {"links", {{{"href", Url("/slow/next.html")}, {"innerText", "next"}},
                           {{"href", "mailto:a@b"}, {"innerText", "mail"}}}},
                {"frames", json::array()}}
        .dump();
  }

  test::TempDir home_;
};

TEST_F(BrowserHostTest, BrokenFramingEndsWithALineAndOpensNothing) {
  struct Case {
    std::string input, says;
  };
  const std::string zero(4, '\0');
  std::string tooLong = FrameMessage("");
  const std::uint32_t over = kMaxRequestBytes + 1;
  std::memcpy(tooLong.data(), &over, 4);
  for (const Case& c : {Case{zero, "a message of length 0"},
                        Case{tooLong, "a message longer than 67108864 bytes"},
                        Case{FrameMessage("{\"url\":\"x\"}").substr(0, 8), "its length promised more"},
                        Case{std::string("\x01\x00", 2), "its length promised more"}}) {
    const HostRun run = Exchange(c.input);
    EXPECT_EQ(run.code, 1);
    EXPECT_TRUE(run.answers.empty());
    EXPECT_NE(run.err.find(c.says), std::string::npos) << run.err;
  }
  const HostRun nothing = Exchange("");
  EXPECT_EQ(nothing.code, 0);
  EXPECT_EQ(nothing.err, "");
  EXPECT_TRUE(ProcessesWith(Marker(), "-Embedding").empty());
}

TEST_F(BrowserHostTest, ASnapshotTheProgramCannotReadIsRefusedWithoutAWindow) {
  const QStringList firefox = {QString::fromStdString(home_.File("m.json")), "id@example"};
  for (const std::string& bad :
       {std::string("not json"), std::string("[1,2]"), std::string("{\"links\": {}}"),
        std::string("{\"title\": 5}"), std::string("{\"links\": [{\"href\": null}]}"),
        std::string("{\"title\": \"\xff\xfe\"}")}) {
    const HostRun run = Exchange(FrameMessage(bad), firefox);
    EXPECT_EQ(run.code, 0) << bad;
    ASSERT_EQ(run.answers.size(), 1u) << bad;
    EXPECT_EQ(run.answers[0]["status"], E_INVALIDARG);
    EXPECT_FALSE(run.answers[0]["message"].get<std::string>().empty());
  }
  EXPECT_TRUE(ProcessesWith(Marker(), "-Embedding").empty());
}

TEST_F(BrowserHostTest, TheWindowOutlivesTheBrowserAndASecondRequestIsRefused) {
  auto host = StartHost(Environment());
  const std::string twice = FrameMessage(Snapshot("/slow/index.html")) + FrameMessage("{}");
  host->write(twice.data(), static_cast<qint64>(twice.size()));
  const std::vector<json> answers = Answers(*host, 2);
  ASSERT_EQ(answers.size(), 2u);
  EXPECT_EQ(answers[0]["status"], 0) << answers[0];
  EXPECT_EQ(answers[1]["status"], E_UNEXPECTED);
  EXPECT_NE(answers[1]["message"].get<std::string>().find("one page per start"), std::string::npos);

  // The browser lets go and kills its host: the start window stays.
  host->closeWriteChannel();
  EXPECT_TRUE(host->waitForFinished(5000));
  EXPECT_EQ(host->exitCode(), 0);
  test::RunFor(1000);
  EXPECT_EQ(ProcessesWith(Marker(), "-Embedding").size(), 1u);
}

TEST_F(BrowserHostTest, FiftyThousandLinksAndATitleWithANulAreServed) {
  json links = json::array();
  for (int i = 0; i < 50000; ++i)
    links.push_back({{"href", Url("/p" + std::to_string(i) + ".html")}, {"innerText", "p"}});
  links.push_back({{"href", "javascript:alert(1)"}, {"innerText", "js"}});
  const std::string snapshot = json{{"url", Url("/a.html")},
                                    {"title", std::string("A\0B", 3)},
                                    {"documentUrl", Url("/a.html")},
                                    {"selectionHtml", ""},
                                    {"links", links},
                                    {"frames", json::array()}}
                                   .dump();
  ASSERT_GT(snapshot.size(), kMaxAnswerBytes);
  auto host = StartHost(Environment());
  const std::string request = FrameMessage(snapshot);
  host->write(request.data(), static_cast<qint64>(request.size()));
  // Slow where the sanitizers watch every byte.
  const std::vector<json> answers = Answers(*host, 1, 90000);
  ASSERT_EQ(answers.size(), 1u);
  EXPECT_EQ(answers[0]["status"], 0) << answers[0];
}

TEST_F(BrowserHostTest, AJobStartedGoesOnWhenTheBrowserKillsItsHost) {
  test::TempDir dest;
  TSettings stored;
  stored.SetSavePictures(true);
  ASSERT_TRUE(SaveSettingsFile(home_.File("lfsta.cfg"), stored));
  QProcessEnvironment env = Environment();
  env.insert("LEAFSTASH_TEST_SAVE_TO", QString::fromStdString(dest.Path()));
  auto host = StartHost(env);
  const std::string request = FrameMessage(Snapshot("/slow/index.html"));
  host->write(request.data(), static_cast<qint64>(request.size()));
  const std::vector<json> answers = Answers(*host, 1);
  ASSERT_EQ(answers.size(), 1u);
  EXPECT_EQ(answers[0]["status"], 0) << answers[0];

  // As Chromium does two seconds after it lets go.
  ASSERT_TRUE(test::WaitUntil([&] { return server_->Requests().size() > 2; }));
  host->kill();
  host->waitForFinished();
  EXPECT_TRUE(test::WaitUntil([&] { return ProcessesWith(Marker(), "-Embedding").empty(); }, 30000));

  // The job ran to its end: every file, and a log of every entry, all done.
  std::string folder = dest.Path();
  if (fs::is_directory(folder + "Slow")) folder += "Slow/";
  EXPECT_TRUE(fs::exists(folder + "INDEX.HTML"));
  for (int i = 0; i < kPictures; ++i)
    EXPECT_EQ(ReadText(folder + "p" + std::to_string(i) + ".gif"), "GIF " + std::to_string(i));
  EXPECT_EQ(ReadText(folder + "next.html").rfind("next", 0), 0u);  // the checked link
  const std::string log = ReadText(folder + "lfsta4.log");
  ASSERT_EQ(log.size(), (kPictures + 2) * kLogRecordSize);
  for (std::size_t at = 0; at < log.size(); at += kLogRecordSize) {
    const auto entry = DecodeLogRecord(reinterpret_cast<const unsigned char*>(log.data() + at));
    ASSERT_TRUE(entry);
    EXPECT_EQ(entry->State, TURLState::Done) << entry->EntryURL;
  }
}

TEST_F(BrowserHostTest, RegistrationWritesTheManifestsOfInstalledBrowsers) {
  const std::string config = home_.File(".config/");
  fs::create_directories(config + "chromium");
  fs::create_directories(home_.File(".mozilla/native-messaging-hosts"));
  // A link planted where a manifest goes is replaced, not followed.
  home_.Write("elsewhere", "keep");
  const std::string firefoxManifest = home_.File(".mozilla/native-messaging-hosts/leafstash.lsapp.json");
  fs::create_symlink(home_.File("elsewhere"), firefoxManifest);

  const auto run = [&](const QStringList& Args) {
    QProcess process;
    process.setProcessEnvironment(Environment());
    process.start(LEAFSTASH_EXE, Args);
    process.waitForFinished(20000);
    return std::make_pair(process.exitCode(), process.readAllStandardOutput().toStdString() +
                                                  process.readAllStandardError().toStdString());
  };
  const auto [code, out] = run({"-regserver"});
  EXPECT_EQ(code, 0) << out;
  const std::string chromiumManifest = config + "chromium/NativeMessagingHosts/leafstash.lsapp.json";
  EXPECT_EQ(out, "Chromium: " + chromiumManifest + "\nGoogle Chrome: not installed, nothing written\n"
                 "Firefox: " + firefoxManifest + "\n");
  EXPECT_FALSE(fs::exists(config + "google-chrome"));
  EXPECT_EQ(home_.Read("elsewhere"), "keep");
  EXPECT_FALSE(fs::is_symlink(firefoxManifest));

  const json chromium = json::parse(ReadText(chromiumManifest));
  EXPECT_EQ(chromium["name"], "leafstash.lsapp");
  EXPECT_EQ(chromium["path"], fs::canonical(LEAFSTASH_EXE).string());
  EXPECT_EQ(chromium["type"], "stdio");
  EXPECT_EQ(chromium["allowed_origins"],
            json::array({std::string("chrome-extension://") + kChromiumExtensionId + "/"}));
  const json firefox = json::parse(ReadText(firefoxManifest));
  EXPECT_EQ(firefox["allowed_extensions"], json::array({kFirefoxExtensionId}));
  EXPECT_EQ(firefox["path"], chromium["path"]);

  // An ordinary start writes them again: a moved program repairs itself.
  std::ofstream(chromiumManifest) << "{}";
  QProcess plain;
  plain.setProcessEnvironment(Environment());
  plain.start(LEAFSTASH_EXE, {});
  EXPECT_TRUE(test::WaitUntil([&] { return ReadText(chromiumManifest).size() > 2; }));
  plain.kill();
  plain.waitForFinished();

  EXPECT_EQ(run({"/UnRegServer"}).first, 0);
  EXPECT_FALSE(fs::exists(chromiumManifest));
  EXPECT_FALSE(fs::exists(firefoxManifest));
  EXPECT_EQ(home_.Read("elsewhere"), "keep");

  // A new Firefox keeps its profile in the config folder, yet looks for
  // hosts in ~/.mozilla.
  fs::remove_all(home_.File(".mozilla"));
  fs::create_directories(config + "mozilla/firefox");
  EXPECT_EQ(run({"-regserver"}).first, 0);
  EXPECT_TRUE(fs::is_regular_file(firefoxManifest));

  // A manifest folder that cannot be made fails the registration.
  fs::remove_all(config + "chromium/NativeMessagingHosts");
  std::ofstream(config + "chromium/NativeMessagingHosts") << "a file";
  const auto [failed, says] = run({"-regserver"});
  EXPECT_EQ(failed, 1);
  EXPECT_NE(says.find("leafstash: Chromium: cannot write the host manifest"), std::string::npos) << says;
}

}  // namespace
}  // namespace leafstash
