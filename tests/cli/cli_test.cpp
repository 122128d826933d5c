// The leafstash program run as a process against a site on 127.0.0.1.
#include <QProcess>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>

#include <filesystem>
#include <set>
#include <thread>

#include "program_process.h"
#include "qt_wait.h"
#include "core/settings.h"
#include "temp_dir.h"
#include "suite_server.h"
#include "engine/url_entry.h"

namespace leafstash {
namespace {

using httplib::Request;
using httplib::Response;

constexpr int kSlowPictures = 30;

using test::CliRun;

std::string SlowPage() {
  std::string page = "<html>";
  for (int i = 0; i < kSlowPictures; ++i) page += "<img src=\"p" + std::to_string(i) + ".gif\">";
  return page + "</html>";
}

bool Contains(const std::string& Text, const std::string& Part) {
  return Text.find(Part) != std::string::npos;
}

class CliTest : public test::SuiteWithServer<CliTest> {
 public:
  static void Route(httplib::Server& s) {
    s.Get("/ok/index.html", [](const Request&, Response& r) {
      r.set_content("<html><link rel=stylesheet href=\"style.css\">\n"
                    "<img src=\"pics/a.gif\"><img src='b.gif'>\n"
                    "<img src=\"http://localhost:" + std::to_string(server_->Port()) +
                        "/ok/far.gif\"><img src=\"skipme.gif\">\n"
                    "<a href=\"one.html\">one</a> <a href=\"http://localhost:" +
                        std::to_string(server_->Port()) + "/ok/two.html\">two</a></html>\n",
                    "text/html");
    });
    for (const char* path : {"/ok/pics/a.gif", "/ok/b.gif", "/ok/far.gif", "/ok/skipme.gif"})
      s.Get(path, [](const Request& q, Response& r) { r.set_content("GIF " + q.path, "image/gif"); });
    s.Get("/ok/style.css", [](const Request&, Response& r) { r.set_content("p {}", "text/css"); });
    for (const char* path : {"/ok/one.html", "/ok/two.html"})
      s.Get(path, [](const Request& q, Response& r) { r.set_content(q.path, "text/html"); });
    s.Get("/holes/index.html", [](const Request&, Response& r) {
      r.set_content("<html><img src=\"here.gif\"><img src=\"gone.gif\"></html>", "text/html");
    });
    s.Get("/holes/here.gif", [](const Request&, Response& r) { r.set_content("GIF", "image/gif"); });
    s.Get("/ok/caf\xC3\xA9 page.html", [](const Request&, Response& r) {
      r.set_content("<html>caf\xC3\xA9</html>", "text/html");
    });
    s.Get("/gone.html", [](const Request&, Response& r) {
      r.status = 404;
      r.set_content("not here", "text/plain");
    });
    s.Get("/slow/index.html", [](const Request&, Response& r) { r.set_content(SlowPage(), "text/html"); });
    s.Get(R"(/slow/p(\d+)\.gif)", [](const Request& q, Response& r) {
      std::this_thread::sleep_for(std::chrono::milliseconds(150));
      r.set_content("GIF picture " + q.matches[1].str() + std::string(5000, '.'), "image/gif");
    });
    s.Get("/auth/index.html", [](const Request& q, Response& r) {
      test::AnswerOnlyAnn(q, r, "<html>inside</html>", "text/html");
    });
    s.Get("/auth2/index.html", [](const Request& q, Response& r) {
      test::AnswerOnlyAnn(q, r, "<html><img src=\"a.gif\"><img src=\"b.gif\"></html>", "text/html");
    });
    for (const char* path : {"/auth2/a.gif", "/auth2/b.gif"})
      s.Get(path, [](const Request& q, Response& r) { test::AnswerOnlyAnn(q, r, "GIF", "image/gif"); });
    s.Get("/disk/index.html", [](const Request&, Response& r) {
      r.set_content("<html><img src=\"small.gif\"><img src=\"big.gif\"></html>", "text/html");
    });
    s.Get("/disk/small.gif", [](const Request&, Response& r) { r.set_content("GIF small", "image/gif"); });
    s.Get("/disk/big.gif", [](const Request&, Response& r) {
      r.set_content(std::string(1u << 20, 'x'), "image/gif");
    });
    s.Get("/diskwarc/index.html", [](const Request&, Response& r) {
      r.set_content("<html><title>Full</title><img src=\"big.gif\"></html>", "text/html");
    });
    s.Get("/diskwarc/big.gif", [](const Request&, Response& r) {
      r.set_content(std::string(1u << 20, 'x'), "image/gif");
    });
  }

 protected:
  void SetUp() override { server_->ClearRequests(); }


  QProcessEnvironment Environment() const {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("LEAFSTASH_CONFIG_DIR", QString::fromStdString(config_.Path()));
    // The browsers' host manifests go to the test's folder, never the user's.
    env.insert("HOME", QString::fromStdString(config_.Path()));
    env.insert("XDG_CONFIG_HOME", QString::fromStdString(config_.File(".config")));
    env.remove("LEAFSTASH_PASSWORD");
    return env;
  }

  std::unique_ptr<QProcess> Start(const std::string& Program, const std::vector<std::string>& Args,
                                  const QProcessEnvironment& Env) {
    return test::StartProcess(Program, Args, Env);
  }
  static CliRun Finish(QProcess& Process, int LimitMs = 30000) {
    return test::FinishProcess(Process, LimitMs);
  }
  CliRun Run(const std::vector<std::string>& Args, int LimitMs = 30000) {
    auto process = Start(LEAFSTASH_EXE, Args, Environment());
    return Finish(*process, LimitMs);
  }

  std::vector<std::string> Names(const test::TempDir& Dir) const {
    std::vector<std::string> names;
    for (const auto& item : std::filesystem::directory_iterator(Dir.Path()))
      names.push_back(item.path().filename());
    std::sort(names.begin(), names.end());
    return names;
  }
  std::map<std::string, TURLEntry> Log(const test::TempDir& Dir) const {
    std::map<std::string, TURLEntry> records;
    const std::string data = Dir.Read("lfsta4.log");
    for (std::size_t at = 0; at + kLogRecordSize <= data.size(); at += kLogRecordSize)
      if (auto record = DecodeLogRecord(reinterpret_cast<const unsigned char*>(data.data() + at)))
        records[record->EntryURL] = *record;
    return records;
  }
  static bool HasPartFiles(const test::TempDir& Dir) {
    for (const auto& item : std::filesystem::directory_iterator(Dir.Path()))
      if (item.path().filename().string().rfind(".lfsta-part-", 0) == 0) return true;
    return false;
  }
  std::set<std::string> Requested() const {
    std::set<std::string> paths;
    for (const auto& request : server_->Requests()) paths.insert(request.path);
    return paths;
  }

  test::TempDir dest_, config_;
};

TEST_F(CliTest, SavesThePageWithItsFilesAndSaysSo) {
  const CliRun run = Run({"save", Url("/ok/index.html"), dest_.Path()});
  ASSERT_TRUE(run.finished);
  EXPECT_EQ(run.code, 0) << run.err;
  EXPECT_EQ(dest_.Read("INDEX.HTML"),
            "<html><link rel=stylesheet href=\"style.css\">\r\n"
            "<img src=\"a.gif\"><img src='b.gif'>\r\n"
            "<img src=\"far.gif\"><img src=\"skipme.gif\">\r\n"
            "<a href=\"" + Url("/ok/one.html") + "\">one</a> <a href=\"http://localhost:" +
                std::to_string(server_->Port()) + "/ok/two.html\">two</a></html>\r\n");
  EXPECT_EQ(dest_.Read("a.gif"), "GIF /ok/pics/a.gif");
  EXPECT_EQ(Names(dest_), (std::vector<std::string>{"INDEX.HTML", "a.gif", "b.gif", "far.gif",
                                                      "lfsta4.log", "skipme.gif", "style.css"}));
  EXPECT_EQ(Log(dest_).size(), 6u);
  // Without a terminal, one line per file, then the summary.
  EXPECT_TRUE(Contains(run.err, "saved  " + Url("/ok/pics/a.gif") + " -> a.gif\n")) << run.err;
  EXPECT_TRUE(Contains(run.err, "Saved 6 files, 0 failed; ")) << run.err;
  EXPECT_TRUE(Contains(run.err, "Saved page: " + dest_.Path() + "INDEX.HTML\n")) << run.err;
  EXPECT_EQ(run.out, "");

  // --quiet prints nothing when all went well.
  test::TempDir quiet;
  const CliRun silent = Run({"save", "--quiet", Url("/ok/index.html"), quiet.Path()});
  EXPECT_EQ(silent.code, 0);
  EXPECT_EQ(silent.err, "");
}

TEST_F(CliTest, ExitStatusTellsWhatFailed) {
  const CliRun holes = Run({"save", Url("/holes/index.html"), dest_.Path()});
  EXPECT_EQ(holes.code, 1);
  EXPECT_TRUE(Contains(holes.err, "  failed " + Url("/holes/gone.gif") + ": HTTP 404\n")) << holes.err;
  EXPECT_EQ(dest_.Read("here.gif"), "GIF");

  test::TempDir other;
  const CliRun gone = Run({"save", "--quiet", Url("/gone.html"), other.Path()});
  EXPECT_EQ(gone.code, 3);
  EXPECT_TRUE(Contains(gone.err, "leafstash: the page " + Url("/gone.html") +
                                     " was not saved: HTTP 404\n"))
      << gone.err;
  // The job itself ran: its log is there, the warning file is gone.
  EXPECT_EQ(Names(other), std::vector<std::string>{"lfsta4.log"});

  // An address written with a blank and UTF-8 is the page's, as its
  // percent-encoded spelling is.
  test::TempDir third;
  const CliRun raw = Run({"save", "--quiet", Url("/ok/caf\xC3\xA9 page.html"), third.Path()});
  EXPECT_EQ(raw.code, 0) << raw.err;
  EXPECT_EQ(third.Read("INDEX.HTML"), "<html>caf\xC3\xA9</html>\r\n");
}

TEST_F(CliTest, BadArgumentsAreRefusedAndNothingIsWritten) {
  const std::string folder = dest_.File("new");
  const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
      {{"save"}, "no address given"},
      {{"save", "--bogus", Url("/ok/index.html"), folder}, "unknown option --bogus"},
      {{"save", "--threads", "0", Url("/ok/index.html"), folder}, "--threads takes a number from 1 to 100"},
      {{"save", "--threads=101", Url("/ok/index.html"), folder}, "--threads takes a number from 1 to 100"},
      {{"save", "--timeout", "ten", Url("/ok/index.html"), folder}, "--timeout takes seconds"},
      {{"save", "--timeout", "1001", Url("/ok/index.html"), folder}, "--timeout takes seconds"},
      {{"save", "ftp://127.0.0.1/x.html", folder}, "not an http or https address"},
      {{"save", " ", folder}, "the address is empty"},
      {{"save", "--link", "mailto:a@b", Url("/ok/index.html"), folder}, "--link: not an http"},
      {{"save", "--user", "ann", Url("/ok/index.html"), folder}, "--user needs a password"},
      {{"save", Url("/ok/index.html"), folder, "extra"}, "too many arguments"},
      {{"save", "--quiet=yes", Url("/ok/index.html"), folder}, "--quiet takes no value"},
      {{"frobnicate"}, "unknown command 'frobnicate'"},
      {{"-regserver", "x"}, "unknown command 'x'"},
  };
  for (const auto& [args, message] : cases) {
    const CliRun run = Run(args);
    EXPECT_EQ(run.code, 2) << args.size();
    EXPECT_EQ(run.err.rfind("leafstash: ", 0), 0u) << run.err;
    EXPECT_TRUE(Contains(run.err.substr(0, run.err.find('\n')), message)) << run.err;
    EXPECT_TRUE(Contains(run.err, "Usage: leafstash save")) << run.err;
  }
  EXPECT_FALSE(std::filesystem::exists(folder));
  EXPECT_TRUE(Requested().empty());
}

TEST_F(CliTest, AFolderThatCannotBeUsedStopsTheJob) {
  dest_.Write("file", "x");
  for (const std::string& folder : {dest_.File("file"), dest_.File("file/sub")}) {
    const CliRun run = Run({"save", Url("/ok/index.html"), folder});
    EXPECT_EQ(run.code, 3) << folder;
    EXPECT_TRUE(Contains(run.err, folder)) << run.err;
  }
  EXPECT_EQ(Names(dest_), std::vector<std::string>{"file"});
  EXPECT_TRUE(Requested().empty());
  // A missing folder is made, with its parents.
  EXPECT_EQ(Run({"save", Url("/ok/one.html"), dest_.File("a/b")}).code, 0);
  EXPECT_TRUE(std::filesystem::exists(dest_.File("a/b/INDEX.HTML")));
  // An earlier log that cannot be read is kept, and nothing is fetched.
  ::mkdir(dest_.File("c").c_str(), 0755);
  ::mkdir(dest_.File("c/lfsta4.log").c_str(), 0755);
  server_->ClearRequests();
  const CliRun unreadable = Run({"save", "--skip-existing", Url("/ok/index.html"), dest_.File("c")});
  EXPECT_EQ(unreadable.code, 3);
  EXPECT_TRUE(Contains(unreadable.err, "lfsta4.log")) << unreadable.err;
  EXPECT_TRUE(Requested().empty());
}

TEST_F(CliTest, OptionsAndStoredSettings) {
  // Stored: a picture filter and one download at a time.
  TSettings stored;
  stored.SetUseURLFilter(true);
  stored.SetURLFilter("skip");
  stored.SetMaxThreads(1);
  ASSERT_TRUE(SaveSettingsFile(config_.File("lfsta.cfg"), stored));
  EXPECT_EQ(Run({"save", Url("/ok/index.html"), dest_.Path()}).code, 0);
  EXPECT_FALSE(std::filesystem::exists(dest_.File("skipme.gif")));
  EXPECT_TRUE(std::filesystem::exists(dest_.File("far.gif")));

  // The command line wins, and adds its own.
  test::TempDir second;
  EXPECT_EQ(Run({"save", "--filter", "b.gif", "--same-site-pictures", "--link", Url("/ok/one.html"),
                 Url("/ok/index.html"), second.Path()})
                .code,
            0);
  EXPECT_EQ(Names(second), (std::vector<std::string>{"INDEX.HTML", "a.gif", "lfsta4.log",
                                                       "one.html", "skipme.gif", "style.css"}));

  test::TempDir third;
  // The address may carry a fragment, as a browser's address does.
  const CliRun fragment =
      Run({"save", "--no-pictures", "--internal-links", Url("/ok/index.html#top"), third.Path()});
  EXPECT_EQ(fragment.code, 0);
  EXPECT_TRUE(Contains(fragment.err, "Saved page: " + third.Path() + "INDEX.HTML\n")) << fragment.err;
  EXPECT_EQ(Names(third), (std::vector<std::string>{"INDEX.HTML", "lfsta4.log", "one.html", "style.css"}));
  EXPECT_NE(third.Read("INDEX.HTML").find("<a href=\"one.html\">"), std::string::npos);

  test::TempDir fourth;
  EXPECT_EQ(Run({"save", "--all-links", "--threads=3", "--timeout=0", Url("/ok/index.html"),
                 fourth.Path()})
                .code,
            0);
  EXPECT_TRUE(std::filesystem::exists(fourth.File("two.html")));
}

TEST_F(CliTest, InterruptAndTerminateStopTheJobLikeAbort) {
  for (const int signal : {SIGINT, SIGTERM}) {
    test::TempDir dir;
    auto process = Start(LEAFSTASH_EXE, {"save", "--threads", "2", Url("/slow/index.html"), dir.Path()},
                         Environment());
    ASSERT_TRUE(test::WaitUntil([&] { return std::filesystem::exists(dir.File("p1.gif")); }, 15000));
    ::kill(static_cast<pid_t>(process->processId()), signal);
    const CliRun run = Finish(*process, 10000);
    ASSERT_TRUE(run.finished);
    EXPECT_EQ(run.code, 128 + signal);
    EXPECT_TRUE(Contains(run.err, "Stopped: nothing was rewritten.")) << run.err;
    EXPECT_EQ(dir.Read("INDEX.HTML"), SlowPage());  // as it came, not rewritten
    EXPECT_EQ(Log(dir)[Url("/slow/index.html")].State, TURLState::AwaitingRewrite);
    EXPECT_EQ(Log(dir)[Url("/slow/p1.gif")].State, TURLState::Done);
    EXPECT_FALSE(HasPartFiles(dir));
    for (const std::string& name : Names(dir)) EXPECT_NE(name[0], '!') << "the warning file stays";
  }
  // A second Ctrl-C does not wait for anything.
  test::TempDir dir;
  auto process = Start(LEAFSTASH_EXE, {"save", Url("/slow/index.html"), dir.Path()}, Environment());
  ASSERT_TRUE(test::WaitUntil([&] { return std::filesystem::exists(dir.File("INDEX.HTML")); }, 15000));
  ::kill(static_cast<pid_t>(process->processId()), SIGINT);
  ::kill(static_cast<pid_t>(process->processId()), SIGINT);
  EXPECT_EQ(Finish(*process, 5000).code, 130);
}

TEST_F(CliTest, AJobKilledHalfwayIsResumedWithoutRefetchingWhatWasWhole) {
  auto process = Start(LEAFSTASH_EXE, {"save", "--threads", "3", Url("/slow/index.html"), dest_.Path()},
                       Environment());
  const auto done = [&] {
    std::set<std::string> paths;
    for (const auto& [url, record] : Log(dest_))
      if (record.State == TURLState::Done) paths.insert(url.substr(url.find("/slow/")));
    return paths;
  };
  ASSERT_TRUE(test::WaitUntil([&] { return done().size() >= 8; }, 20000));
  ::kill(static_cast<pid_t>(process->processId()), SIGKILL);
  process->waitForFinished();
  const std::set<std::string> whole = done();
  ASSERT_LT(whole.size(), static_cast<std::size_t>(kSlowPictures));
  // What the log calls whole is whole.
  for (const std::string& path : whole)
    EXPECT_EQ(dest_.Read(path.substr(6)).substr(0, 12), "GIF picture ") << path;

  server_->ClearRequests();
  const CliRun resumed = Run({"save", "--skip-existing", Url("/slow/index.html"), dest_.Path()});
  EXPECT_EQ(resumed.code, 0) << resumed.err;
  const std::set<std::string> fetched = Requested();
  for (const std::string& path : whole) EXPECT_FALSE(fetched.count(path)) << path << " fetched again";
  EXPECT_EQ(fetched.size(), 1 + kSlowPictures - whole.size());
  for (int i = 0; i < kSlowPictures; ++i) {
    const std::string name = "p" + std::to_string(i) + ".gif";
    EXPECT_EQ(dest_.Read(name), "GIF picture " + std::to_string(i) + std::string(5000, '.')) << name;
  }
  EXPECT_NE(dest_.Read("INDEX.HTML").find("<img src=\"p29.gif\">"), std::string::npos);
  EXPECT_FALSE(HasPartFiles(dest_));
}

TEST_F(CliTest, CredentialsFromTheCommandLineOrNone) {
  QProcessEnvironment env = Environment();
  env.insert("LEAFSTASH_PASSWORD", "pw");
  auto process = Start(LEAFSTASH_EXE, {"save", "--user", "ann", Url("/auth/index.html"), dest_.Path()}, env);
  const CliRun given = Finish(*process);
  EXPECT_EQ(given.code, 0) << given.err;
  EXPECT_EQ(dest_.Read("INDEX.HTML"), "<html>inside</html>\r\n");

  // Nobody to ask: the refusal stands at once.
  test::TempDir other;
  const CliRun none = Run({"save", Url("/auth/index.html"), other.Path()}, 10000);
  ASSERT_TRUE(none.finished);
  EXPECT_EQ(none.code, 3);
  EXPECT_TRUE(Contains(none.err, "HTTP 401")) << none.err;
}

// Runs the program with a terminal for its input and output.
class TerminalTest : public CliTest {
 protected:
  void SetUp() override {
    CliTest::SetUp();
    if (QProcess::execute("script", {"-qec", "true", "/dev/null"}) != 0)
      GTEST_SKIP() << "no script(1) to give the program a terminal";
  }
  std::unique_ptr<QProcess> StartOnTerminal(const std::string& Command) {
    QProcessEnvironment env = Environment();
    env.insert("COLUMNS", "200");
    // script(1) runs the command with $SHELL; a fixed shell that catches
    // Ctrl-C itself waits for the program and reports its status, as an
    // interactive shell would, whatever shell the machine has.
    env.insert("SHELL", "/bin/sh");
    return Start("script", {"-qec", "trap : INT; " + Command, "/dev/null"}, env);
  }
};

TEST_F(TerminalTest, ProgressIsOneLineRedrawnInPlace) {
  auto process = StartOnTerminal(std::string(LEAFSTASH_EXE) + " save --threads 3 " +
                                 Url("/slow/index.html") + " " + dest_.Path());
  const CliRun run = Finish(*process);
  EXPECT_EQ(run.code, 0) << run.out;
  EXPECT_TRUE(Contains(run.out, "\r\033[K")) << run.out;
  EXPECT_TRUE(Contains(run.out, " files, ")) << run.out;
  EXPECT_FALSE(Contains(run.out, "saved  ")) << run.out;  // no line per file
  EXPECT_TRUE(Contains(run.out, "Saved 31 files, 0 failed")) << run.out;
}

TEST_F(TerminalTest, CredentialsAreAskedOnTheTerminalOncePerSite) {
  auto process = StartOnTerminal(std::string(LEAFSTASH_EXE) + " save --threads 1 " +
                                 Url("/auth2/index.html") + " " + dest_.Path());
  ASSERT_TRUE(test::WaitUntil([&] {
    process->waitForReadyRead(50);
    return Contains(process->peek(4096).toStdString(), "User name: ");
  }));
  process->write("ann\n");
  ASSERT_TRUE(test::WaitUntil([&] {
    process->waitForReadyRead(50);
    return Contains(process->peek(4096).toStdString(), "Password: ");
  }));
  process->write("pw\n");
  const CliRun run = Finish(*process);
  EXPECT_EQ(run.code, 0) << run.out;
  EXPECT_FALSE(Contains(run.out, "pw\r\n")) << "the password was echoed";
  EXPECT_EQ(run.out.find("User name: "), run.out.rfind("User name: ")) << run.out;
  EXPECT_EQ(dest_.Read("a.gif"), "GIF");
  EXPECT_EQ(dest_.Read("b.gif"), "GIF");
}

TEST_F(TerminalTest, CtrlCAtThePasswordPromptLeavesTheTerminalAsItWas) {
  auto process = StartOnTerminal(std::string(LEAFSTASH_EXE) + " save --user ann " +
                                 Url("/auth/index.html") + " " + dest_.File("new") +
                                 "; echo status=$?; stty -a");
  ASSERT_TRUE(test::WaitUntil([&] {
    process->waitForReadyRead(50);
    return Contains(process->peek(4096).toStdString(), "Password for ann: ");
  }));
  process->write("\x03");
  const CliRun run = Finish(*process);
  EXPECT_TRUE(Contains(run.out, "status=130")) << run.out;
  EXPECT_TRUE(Contains(run.out, " echo ")) << run.out;
  EXPECT_FALSE(std::filesystem::exists(dest_.File("new")));
}

TEST_F(CliTest, AFullDiskFailsTheFileAndTheJobGoesOn) {
  // A 256 KiB file system of its own for the destination, in a mount
  // namespace; where that is not allowed, a file size limit stands in.
  test::TempDir out;
  const std::string script =
      "dir=\"$1\"; out=\"$2\"; shift 2; "
      "if unshare -Urm sh -c 'mount -t tmpfs -o size=4k tmpfs \"$0\"' \"$dir\" 2>/dev/null; then "
      "  exec unshare -Urm sh -c 'mount -t tmpfs -o size=256k tmpfs \"$1\" || exit 99; "
      "    d=\"$1\"; o=\"$2\"; shift 2; \"$@\" \"$d\"; s=$?; cp -a \"$d/.\" \"$o/\"; exit $s' "
      "    sh \"$dir\" \"$out\" \"$@\"; "
      "else trap '' XFSZ; ulimit -f 512; \"$@\" \"$dir\"; s=$?; cp -a \"$dir/.\" \"$out/\"; exit $s; fi";
  auto process = Start("sh", {"-c", script, "sh", dest_.Path(), out.Path(), LEAFSTASH_EXE, "save",
                              "--threads", "1", Url("/disk/index.html")},
                       Environment());
  const CliRun run = Finish(*process);
  ASSERT_NE(run.code, 99) << run.err;
  EXPECT_EQ(run.code, 1) << run.err;
  EXPECT_TRUE(Contains(run.err, Url("/disk/big.gif") + ": No space left on device") ||
              Contains(run.err, Url("/disk/big.gif") + ": File too large"))
      << run.err;
  EXPECT_EQ(out.Read("small.gif"), "GIF small");
  // The picture that failed is taken from the web.
  EXPECT_EQ(out.Read("INDEX.HTML"),
            "<html><img src=\"small.gif\"><img src=\"" + Url("/disk/big.gif") + "\"></html>\r\n");
  EXPECT_FALSE(std::filesystem::exists(out.File("big.gif")));
  EXPECT_FALSE(HasPartFiles(out));
}

TEST_F(CliTest, AFullDiskFailsTheArchiveAndLeavesTheFolderCopyWhole) {
  // A file system of its own for the destination, in a mount namespace:
  // room for the folder copy and a little more, so that the disk fills up
  // while the archive's records are written, or while the WACZ file is.
  for (const char* size : {"1400k", "2560k"}) {
    SCOPED_TRACE(size);
    test::TempDir dest, out;
    const std::string script =
        "size=\"$1\"; dir=\"$2\"; out=\"$3\"; shift 3; "
        "unshare -Urm sh -c 'mount -t tmpfs -o size=4k tmpfs \"$0\"' \"$dir\" 2>/dev/null || exit 98; "
        "exec unshare -Urm sh -c 'mount -t tmpfs -o size=\"$1\" tmpfs \"$2\" || exit 99; "
        "  d=\"$2\"; o=\"$3\"; shift 3; \"$@\" \"$d\"; s=$?; cp -a \"$d/.\" \"$o/\"; exit $s' "
        "  sh \"$size\" \"$dir\" \"$out\" \"$@\"";
    auto process = Start("sh", {"-c", script, "sh", size, dest.Path(), out.Path(), LEAFSTASH_EXE,
                                "save", "--warc", "--threads", "1", Url("/diskwarc/index.html")},
                         Environment());
    const CliRun run = Finish(*process);
    if (run.code == 98) GTEST_SKIP() << "no mount namespace here";
    ASSERT_NE(run.code, 99) << run.err;
    EXPECT_EQ(run.code, 1) << run.err;
    EXPECT_TRUE(Contains(run.err, "Full.wacz (the web archive): ")) << run.err;
    EXPECT_TRUE(Contains(run.err, "No space left on device")) << run.err;
    // The folder copy is whole, and nothing of the archive is left.
    EXPECT_EQ(out.Read("big.gif"), std::string(1u << 20, 'x'));
    EXPECT_EQ(out.Read("INDEX.HTML"), "<html><title>Full</title><img src=\"big.gif\"></html>\r\n");
    for (const std::string& name : Names(out))
      EXPECT_TRUE(name == "INDEX.HTML" || name == "big.gif" || name == "lfsta4.log") << name;
  }
}

TEST_F(CliTest, RegistrationSwitchesEndWithoutAWindow) {
  QProcessEnvironment env = Environment();
  env.remove("DISPLAY");
  env.insert("QT_QPA_PLATFORM", "xcb");  // a window could not open
  env.insert("LEAFSTASH_REGISTRY", QString::fromStdString(dest_.File("registry.json")));
  const auto run = [&](const std::string& Switch) {
    auto process = Start(LEAFSTASH_EXE, {Switch}, env);
    return Finish(*process);
  };
  EXPECT_EQ(run("/regserver").code, 0);
  EXPECT_TRUE(Contains(dest_.Read("registry.json"), "Leafstash.LSApp"));
  EXPECT_EQ(run("-UNREGSERVER").code, 0);
  EXPECT_FALSE(Contains(dest_.Read("registry.json"), "lsapp"));

  dest_.Write("file", "");
  env.insert("LEAFSTASH_REGISTRY", QString::fromStdString(dest_.File("file/registry.json")));
  const CliRun failed = run("-RegServer");
  EXPECT_EQ(failed.code, 1);
  EXPECT_TRUE(Contains(failed.err, "Error creating system registry entry")) << failed.err;
}

TEST_F(CliTest, HelpVersionAndNoWidgets) {
  const CliRun help = Run({"save", "--help"});
  EXPECT_EQ(help.code, 0);
  EXPECT_EQ(help.out.rfind("Usage: leafstash save", 0), 0u);
  EXPECT_TRUE(Contains(help.out, "--internal-links"));
  const CliRun version = Run({"--version"});
  EXPECT_EQ(version.code, 0);
  EXPECT_EQ(version.out.rfind("leafstash ", 0), 0u);
  // The command line runs without a display, where a window could not open.
  QProcessEnvironment env = Environment();
  env.remove("DISPLAY");
  env.remove("WAYLAND_DISPLAY");
  env.insert("QT_QPA_PLATFORM", "xcb");
  auto process = Start(LEAFSTASH_EXE, {"save", Url("/ok/index.html"), dest_.Path()}, env);
  const CliRun run = Finish(*process);
  EXPECT_EQ(run.code, 0) << run.err;
  EXPECT_TRUE(std::filesystem::exists(dest_.File("INDEX.HTML")));
}

}  // namespace
}  // namespace leafstash
