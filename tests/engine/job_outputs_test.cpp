// The one-file copy and the web archive a job keeps beside its folder:
// what they hold, read back the way other programs read them, and what
// becomes of the job when one cannot be written.
#include <QEventLoop>
#include <QTimer>
#include <gtest/gtest.h>
#include <openssl/sha.h>
#include <sys/stat.h>

#include <filesystem>
#include <thread>
#include <nlohmann/json.hpp>

#include "archive/digest.h"
#include "core/process_values.h"
#include "driver_suite.h"
#include "engine/save_job.h"
#include "html/page_refs.h"
#include "wacz_reader.h"

namespace leafstash {
namespace {

using httplib::Request;
using httplib::Response;

const std::string kSheet = "@import \"second.css\";\nbody { background: url(p/b.png) }\n";
const std::string kPicture(300, 'a');

class JobOutputsTest : public test::DriverSuite<JobOutputsTest> {
 public:
  static void Route(httplib::Server& s) {
    s.Get("/page.html", [](const Request&, Response& r) {
      r.set_header("Set-Cookie", "seen=fromserver; Path=/");
      r.set_content(
          "<html><head><title>Garden journal</title>"
          "<link rel=stylesheet href=\"main.css\" media=\"screen\"></head><body>"
          "<img src=\"p/a.png\"><img src=\"r1\"><img src=\"missing.png\"><img src=\"p/big.png\">"
          "<img src=\"huge404.png\">"
          "<iframe src=\"f1.html\"></iframe><a href=\"linked.html#top\">on</a></body></html>",
          "text/html");
    });
    // Sent compressed: the server compresses text for clients that take it.
    s.Get("/main.css", [](const Request&, Response& r) { r.set_content(kSheet, "text/css"); });
    s.Get("/second.css", [](const Request&, Response& r) {
      r.set_content("@font-face { font-family: F; src: url(font.woff2) }\nh1 { font-family: F }\n",
                    "text/css");
    });
    s.Get("/font.woff2", [](const Request&, Response& r) { r.set_content("wOF2font", "font/woff2"); });
    s.Get("/p/a.png", [](const Request&, Response& r) { r.set_content(kPicture, "image/png"); });
    s.Get("/p/b.png", [](const Request&, Response& r) { r.set_content("bb", "image/png"); });
    s.Get("/p/big.png", [](const Request&, Response& r) {
      r.set_content(std::string(4096, 'z'), "image/png");
    });
    s.Get("/r1", [](const Request&, Response& r) {
      r.set_redirect("/r2", 301);
      r.set_content("moved", "text/plain");
    });
    s.Get("/missing.png", [](const Request&, Response& r) {
      r.status = 404;
      r.set_content("not here", "text/plain");
    });
    s.Get("/huge404.png", [](const Request&, Response& r) {
      r.status = 404;
      r.set_content(std::string(3u << 20, 'n'), "image/png");
    });
    s.Get("/tricky.html", [](const Request&, Response& r) {
      r.set_content(
          "<html><head><title>Tricky</title>"
          "<link rel=\"alternate stylesheet\" title=\"Alt\" href=\"second.css\">"
          "<style>@import \"second.css\"; @import \"http://elsewhere.invalid/far.css\";\n"
          "p { color: red }</style></head>"
          "<body><iframe srcdoc='<p title=\"x\">it&#39;s</p>'></iframe></body></html>",
          "text/html");
    });
    s.Get("/r2", [](const Request&, Response& r) { r.set_redirect("/p/b.png", 302); });
    s.Get("/f1.html", [](const Request&, Response& r) {
      r.set_content("<p title=\"a &amp; b\">one</p><iframe src=\"f2.html\"></iframe>", "text/html");
    });
    s.Get("/f2.html", [](const Request&, Response& r) {
      r.set_content("<p>two \"deep\"</p><img src=\"p/a.png\">", "text/html");
    });
    s.Get("/slow.html", [](const Request&, Response& r) {
      r.set_content("<img src=\"slow.png\">", "text/html");
    });
    s.Get("/slow.png", [](const Request&, Response& r) {
      std::this_thread::sleep_for(std::chrono::milliseconds(1500));
      r.set_content("late", "image/png");
    });
    s.Get("/linked.html", [](const Request&, Response& r) {
      // In chunks: the archive keeps the body without them, and says so.
      r.set_chunked_content_provider("text/html", [](size_t offset, httplib::DataSink& sink) {
        if (offset > 0) return sink.done(), true;
        const std::string page = "<title>The linked page</title>";
        return sink.write(page.data(), page.size());
      });
    });
  }

 protected:
  TSaveRequest MakeRequest(bool SingleFile, bool Archive) {
    TSaveRequest request;
    request.PageURL = Url("/page.html");
    request.PageTitle = "Garden journal";
    request.DestPath = dest_.Path();
    request.Options = Process().Settings;
    request.Links = {{Url("/linked.html"), "Linked"}};
    request.Handover.Cookies.push_back({"sid", "secretvalue", "127.0.0.1"});
    request.Outputs.SingleFile = SingleFile;
    request.Outputs.WebArchive = Archive;
    request.Outputs.InlineLimit = 1024;
    return request;
  }

  // Runs the job to its end; with AbortAfterMs, the user aborts it then.
  static TJobOutcome Run(TSaveRequest Request, int AbortAfterMs = -1) {
    TSaveJob job(std::move(Request));
    QEventLoop loop;
    QObject::connect(&job, &TSaveJob::Finished, &loop, &QEventLoop::quit);
    QTimer::singleShot(20000, &loop, &QEventLoop::quit);
    if (!job.Prepare()) return job.Outcome();
    job.Start();
    if (AbortAfterMs >= 0) QTimer::singleShot(AbortAfterMs, &job, [&job] { job.Abort(); });
    if (!job.IsFinished()) loop.exec();
    EXPECT_TRUE(job.IsFinished());
    return job.Outcome();
  }

  // Files of the folder whose names begin with a dot: work files.
  std::vector<std::string> HiddenFiles() const {
    std::vector<std::string> hidden;
    for (const auto& entry : std::filesystem::directory_iterator(dest_.Path()))
      if (entry.path().filename().string()[0] == '.') hidden.push_back(entry.path().filename());
    return hidden;
  }
};

std::string Sha1Label(const std::string& Bytes) {
  unsigned char digest[SHA_DIGEST_LENGTH];
  SHA1(reinterpret_cast<const unsigned char*>(Bytes.data()), Bytes.size(), digest);
  return "sha1:" + Base32(std::string_view(reinterpret_cast<char*>(digest), sizeof digest));
}

std::string Sha256Hex(const std::string& Bytes) {
  unsigned char digest[SHA256_DIGEST_LENGTH];
  SHA256(reinterpret_cast<const unsigned char*>(Bytes.data()), Bytes.size(), digest);
  return "sha256:" + HexOf(std::string_view(reinterpret_cast<char*>(digest), sizeof digest));
}

TEST(DigestTest, Base32AsArchivesWriteIt) {
  EXPECT_EQ(Base32(""), "");
  EXPECT_EQ(Base32("f"), "MY======");
  EXPECT_EQ(Base32("fooba"), "MZXW6YTB");
  EXPECT_EQ(Base32("foobar"), "MZXW6YTBOI======");
}

TEST_F(JobOutputsTest, TheArchiveRecordsEveryExchangeAsItCameWithoutTheCookies) {
  for (const bool keepCookies : {false, true}) {
    SCOPED_TRACE(keepCookies ? "cookies kept" : "cookies left out");
    TSaveRequest request = MakeRequest(false, true);
    request.Outputs.ArchiveCookies = keepCookies;
    const TJobOutcome outcome = Run(std::move(request));
    EXPECT_EQ(outcome.End, TJobEnd::PartlySaved);  // missing.png
    ASSERT_EQ(outcome.ArchivePath, dest_.File("Garden journal.wacz"));
    EXPECT_TRUE(HiddenFiles().empty()) << "work files left behind";

    const auto members = test::ReadZip(outcome.ArchivePath);
    ASSERT_TRUE(members);
    EXPECT_EQ(test::ZipMethods(outcome.ArchivePath)["archive/data.warc.gz"], ZIP_CM_STORE);
    const std::string& warc = members->at("archive/data.warc.gz");
    const std::vector<test::WarcRecord> records = test::ReadWarc(warc);
    ASSERT_FALSE(records.empty());
    EXPECT_EQ(records[0].Field("WARC-Type"), "warcinfo");

    // Every record's digests hold, and each response has its request.
    std::map<std::string, const test::WarcRecord*> byId;
    for (const auto& record : records) byId[record.Field("WARC-Record-ID")] = &record;
    std::map<std::string, std::vector<const test::WarcRecord*>> responses;  // by address
    for (const auto& record : records) {
      const std::string type = record.Field("WARC-Type");
      if (type == "warcinfo") continue;
      EXPECT_EQ(record.Field("WARC-Block-Digest"), Sha1Label(record.Block));
      EXPECT_EQ(record.Field("WARC-IP-Address"), "127.0.0.1");
      const test::WarcRecord* other = byId[record.Field("WARC-Concurrent-To")];
      ASSERT_TRUE(other) << "unlinked " << type << " of " << record.Field("WARC-Target-URI");
      EXPECT_EQ(other->Field("WARC-Concurrent-To"), record.Field("WARC-Record-ID"));
      EXPECT_EQ(other->Field("WARC-Target-URI"), record.Field("WARC-Target-URI"));
      const std::string head = record.HttpHead();
      EXPECT_EQ(head.find("Authorization"), std::string::npos);
      if (type == "request") {
        EXPECT_EQ(head.find("secretvalue") != std::string::npos, keepCookies) << head;
        continue;
      }
      ASSERT_EQ(type, "response");
      EXPECT_EQ(record.Field("WARC-Payload-Digest"), Sha1Label(record.Payload()));
      EXPECT_EQ(head.find("fromserver") != std::string::npos,
                keepCookies && record.Field("WARC-Target-URI") == Url("/page.html"));
      responses[record.Field("WARC-Target-URI")].push_back(&record);
    }
    // The redirects and the 404 are there with their status; the sheet as
    // it came, compressed.
    const auto status = [&](const std::string& Path) {
      const auto found = responses.find(Url(Path));
      return found == responses.end() ? std::string() : found->second[0]->Block.substr(9, 3);
    };
    EXPECT_EQ(status("/r1"), "301");
    // A refusal's body is read for the record up to 1 MiB, and says so.
    const test::WarcRecord& huge = *responses[Url("/huge404.png")][0];
    EXPECT_EQ(huge.Field("WARC-Truncated"), "disconnect");
    EXPECT_LE(huge.Payload().size(), 1u << 20);
    // The bodies of a redirection and of a refusal, read for the record.
    for (const auto& [path, body] : {std::pair{"/r1", "moved"}, {"/missing.png", "not here"}}) {
      const test::WarcRecord& record = *responses[Url(path)][0];
      const auto plain = test::Gunzip(record.Payload(), 0);  // compressed by the server
      ASSERT_TRUE(plain) << path;
      EXPECT_EQ(plain->first, body) << path;
      EXPECT_EQ(record.Field("WARC-Truncated"), "") << path;
    }
    EXPECT_EQ(status("/r2"), "302");
    EXPECT_EQ(status("/p/b.png"), "200");
    EXPECT_EQ(status("/missing.png"), "404");
    EXPECT_EQ(status("/linked.html"), "200");
    ASSERT_EQ(responses[Url("/main.css")].size(), 1u);
    const test::WarcRecord& sheet = *responses[Url("/main.css")][0];
    EXPECT_NE(sheet.HttpHead().find("Content-Encoding: gzip"), std::string::npos);
    const auto plain = test::Gunzip(sheet.Payload(), 0);
    ASSERT_TRUE(plain);
    EXPECT_EQ(plain->first, kSheet);
    EXPECT_EQ(responses[Url("/p/a.png")][0]->Payload(), kPicture);
    const test::WarcRecord& chunked = *responses[Url("/linked.html")][0];
    const auto page = test::Gunzip(chunked.Payload(), 0);  // compressed by the server
    ASSERT_TRUE(page);
    EXPECT_EQ(page->first, "<title>The linked page</title>");
    EXPECT_NE(chunked.HttpHead().find("X-Archive-Orig-Transfer-Encoding: chunked\r\n"),
              std::string::npos) << chunked.HttpHead();

    // The index finds each response at its record.
    std::size_t lines = 0;
    std::istringstream index(members->at("indexes/index.cdxj"));
    std::string previous;
    for (std::string line; std::getline(index, line); ++lines) {
      EXPECT_LE(previous, line) << "the index is sorted";
      EXPECT_EQ(line.rfind("1,0,0,127:" + std::to_string(server_->Port()) + ")/", 0), 0u) << line;
      previous = line;
      const auto fields = nlohmann::json::parse(line.substr(line.find('{')));
      const std::size_t offset = std::stoull(fields["offset"].get<std::string>());
      const auto at = std::find_if(records.begin(), records.end(),
                                   [&](const auto& r) { return r.Offset == offset; });
      ASSERT_NE(at, records.end());
      EXPECT_EQ(std::to_string(at->Length), fields["length"].get<std::string>());
      EXPECT_EQ(at->Field("WARC-Target-URI"), fields["url"].get<std::string>());
      EXPECT_EQ(at->Field("WARC-Payload-Digest"), fields["digest"].get<std::string>());
    }
    EXPECT_EQ(lines, (records.size() - 1) / 2);

    // The pages, with their titles; the package's digests.
    const std::string pages = members->at("pages/pages.jsonl");
    EXPECT_NE(pages.find("\"url\":\"" + Url("/page.html") + "\",\"title\":\"Garden journal\""),
              std::string::npos) << pages;
    EXPECT_NE(pages.find("\"title\":\"The linked page\""), std::string::npos) << pages;
    const auto package = nlohmann::json::parse(members->at("datapackage.json"));
    EXPECT_EQ(package["wacz_version"], "1.1.1");
    ASSERT_EQ(package["resources"].size(), 3u);
    for (const auto& resource : package["resources"]) {
      const std::string& bytes = members->at(resource["path"].get<std::string>());
      EXPECT_EQ(resource["hash"], Sha256Hex(bytes)) << resource["path"];
      EXPECT_EQ(resource["bytes"], bytes.size());
    }
  }
}

TEST_F(JobOutputsTest, TheOneFileCopyHoldsWhatThePageShowsAndLinksToTheWeb) {
  const TJobOutcome outcome = Run(MakeRequest(true, false));
  ASSERT_EQ(outcome.SingleFilePath, dest_.File("Garden journal.html"));
  EXPECT_TRUE(HiddenFiles().empty());
  std::ifstream in(outcome.SingleFilePath);
  const std::string copy((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());

  // The sheet, its import and the import's font are all in one style block.
  const std::size_t style = copy.find("<style media=\"screen\">");
  ASSERT_NE(style, std::string::npos) << copy;
  const std::size_t styleEnd = copy.find("</style>", style);
  const std::string css = copy.substr(style, styleEnd - style);
  EXPECT_EQ(css.find("@import"), std::string::npos);
  EXPECT_NE(css.find("src: url(data:font/woff2;base64,d09GMmZvbnQ=)"), std::string::npos) << css;
  EXPECT_NE(css.find("url(data:image/png;base64,YmI=)"), std::string::npos) << css;
  // A picture over the limit, a file that failed and the linked page stay
  // web addresses.
  EXPECT_NE(copy.find("src=\"" + Url("/p/big.png") + "\""), std::string::npos);
  EXPECT_NE(copy.find("src=\"" + Url("/missing.png") + "\""), std::string::npos);
  EXPECT_NE(copy.find("href=\"" + Url("/linked.html") + "#top\""), std::string::npos);

  // Frames in frames: each level's page read back from its srcdoc is the
  // page with its picture inside.
  std::vector<TResourceRef> refs = ScanPageRefs(copy);
  std::string frame;
  for (const auto& ref : refs)
    if (ref.Role == TRefRole::SrcDoc) frame = ref.Url;
  ASSERT_NE(frame.find("<p title=\"a &amp; b\">one</p>"), std::string::npos) << frame;
  std::string inner;
  for (const auto& ref : ScanPageRefs(frame))
    if (ref.Role == TRefRole::SrcDoc) inner = ref.Url;
  EXPECT_NE(inner.find("<img src=\"data:image/png;base64,YWFh"), std::string::npos) << inner;

  // Nothing in it leads to a file.
  for (const auto& ref : refs) {
    if (ref.Role == TRefRole::SrcDoc || ref.Url.empty()) continue;
    EXPECT_TRUE(ref.Url.rfind("data:", 0) == 0 || ref.Url.rfind("http://", 0) == 0) << ref.Url;
  }
}

TEST_F(JobOutputsTest, AnOutputThatCannotBeWrittenFailsTheJobButNotTheFolderCopy) {
  // Folders stand where the outputs would go.
  ASSERT_EQ(::mkdir(dest_.File("Garden journal.html").c_str(), 0755), 0);
  ASSERT_EQ(::mkdir(dest_.File("Garden journal.wacz").c_str(), 0755), 0);
  const TJobOutcome outcome = Run(MakeRequest(true, true));
  EXPECT_EQ(outcome.End, TJobEnd::PartlySaved);
  EXPECT_TRUE(outcome.SingleFilePath.empty());
  EXPECT_TRUE(outcome.ArchivePath.empty());
  const auto has = [&](const std::string& Text) {
    return std::any_of(outcome.Failures.begin(), outcome.Failures.end(),
                       [&](const std::string& F) { return F.find(Text) != std::string::npos; });
  };
  EXPECT_TRUE(has(dest_.File("Garden journal.html") + " (the one-file copy): Is a directory"));
  EXPECT_TRUE(has(dest_.File("Garden journal.wacz") + " (the web archive): "));
  EXPECT_TRUE(std::filesystem::is_directory(dest_.File("Garden journal.wacz")));
  EXPECT_TRUE(HiddenFiles().empty());
  // The folder copy is whole.
  EXPECT_TRUE(std::filesystem::exists(dest_.File("INDEX.HTML")));
  EXPECT_EQ(std::filesystem::file_size(dest_.File("a.png")), kPicture.size());
}

TEST_F(JobOutputsTest, AJobThatReusesFilesArchivesOnlyWhatItFetched) {
  Run(MakeRequest(false, false));
  server_->ClearRequests();
  Process().Settings.SetSkipExisting(true);
  TSaveRequest request = MakeRequest(false, true);
  request.Options = Process().Settings;
  const TJobOutcome outcome = Run(std::move(request));
  ASSERT_FALSE(outcome.ArchivePath.empty());
  const auto members = test::ReadZip(outcome.ArchivePath);
  ASSERT_TRUE(members);
  std::set<std::string> recorded;
  for (const auto& record : test::ReadWarc(members->at("archive/data.warc.gz")))
    if (record.Field("WARC-Type") == "response") recorded.insert(record.Field("WARC-Target-URI"));
  std::set<std::string> fetched;
  for (const auto& q : server_->Requests()) fetched.insert(Url(q.path));
  EXPECT_EQ(recorded, fetched);
  EXPECT_EQ(recorded.count(Url("/p/a.png")), 0u);
  const std::string pages = members->at("pages/pages.jsonl");
  EXPECT_NE(pages.find("not fetched again:\\n" + Url("/")), std::string::npos) << pages;
  EXPECT_NE(pages.find(Url("/p/a.png")), std::string::npos) << pages;
}

TEST_F(JobOutputsTest, ThePageAsTheBrowserHandedItOverIsArchivedAtItsAddress) {
  TSaveRequest request = MakeRequest(false, true);
  const std::string shown = "<html><title>As shown</title><img src=\"p/a.png\"><script>go()</script>";
  request.Handover.Documents = {{Url("/page.html"), shown}};
  const TJobOutcome outcome = Run(std::move(request));
  ASSERT_FALSE(outcome.ArchivePath.empty());
  const auto members = test::ReadZip(outcome.ArchivePath);
  ASSERT_TRUE(members);
  std::vector<std::string> kinds;
  for (const auto& record : test::ReadWarc(members->at("archive/data.warc.gz"))) {
    if (record.Field("WARC-Target-URI") == Url("/page.html")) {
      kinds.push_back(record.Field("WARC-Type"));
      EXPECT_EQ(record.Block, shown);  // as it was handed over, its script too
      EXPECT_EQ(record.Field("WARC-Payload-Digest"), Sha1Label(shown));
      EXPECT_EQ(record.Field("Content-Type"), "text/html; charset=utf-8");
    }
  }
  EXPECT_EQ(kinds, std::vector<std::string>{"resource"});  // not fetched again
  EXPECT_NE(members->at("indexes/index.cdxj").find("\"url\":\"" + Url("/page.html") + "\""),
            std::string::npos);
}

TEST_F(JobOutputsTest, AnAbortedJobKeepsNeitherOutput) {
  TSaveRequest request = MakeRequest(true, true);
  request.PageURL = Url("/slow.html");
  request.Links.clear();
  const TJobOutcome outcome = Run(std::move(request), 300);
  EXPECT_EQ(outcome.End, TJobEnd::Aborted);
  EXPECT_TRUE(outcome.SingleFilePath.empty());
  EXPECT_TRUE(outcome.ArchivePath.empty());
  EXPECT_FALSE(std::filesystem::exists(dest_.File("Garden journal.wacz")));
  EXPECT_FALSE(std::filesystem::exists(dest_.File("Garden journal.html")));
  EXPECT_TRUE(HiddenFiles().empty());
}

TEST_F(JobOutputsTest, TheOneFileCopyKeepsWhatBrowsersWouldOtherwiseDropOrMisread) {
  TSaveRequest request = MakeRequest(true, false);
  request.PageURL = Url("/tricky.html");
  request.Links.clear();
  const TJobOutcome outcome = Run(std::move(request));
  ASSERT_EQ(outcome.SingleFilePath, dest_.File("Garden journal.html"));
  std::ifstream in(outcome.SingleFilePath);
  const std::string copy((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  // An alternate sheet stays an alternate sheet, not one that applies.
  EXPECT_NE(copy.find("<link rel=\"alternate stylesheet\" title=\"Alt\" href=\"data:text/css;base64,"),
            std::string::npos) << copy;
  // The import that stays on the web comes before every rule, or it would
  // be ignored; the one from the folder is in place.
  const std::size_t style = copy.find("<style>");
  ASSERT_NE(style, std::string::npos) << copy;
  EXPECT_EQ(copy.find("@import url(\"http://elsewhere.invalid/far.css\");", style), style + 7) << copy;
  EXPECT_EQ(copy.find("@import \"second.css\""), std::string::npos);
  EXPECT_LT(copy.find("@font-face", style), copy.find("p { color: red }", style));
  // A srcdoc in single quotes reads back as it was.
  std::string frame;
  for (const auto& ref : ScanPageRefs(copy))
    if (ref.Role == TRefRole::SrcDoc) frame = ref.Url;
  EXPECT_EQ(frame, "<p title=\"x\">it's</p>");
}

TEST_F(JobOutputsTest, NoPasswordInTheAddressGoesIntoEitherOutput) {
  TSaveRequest request = MakeRequest(true, true);
  const std::string address = Url("/page.html");
  request.PageURL = address.substr(0, 7) + "ann:secretpw@" + address.substr(7);
  const TJobOutcome outcome = Run(std::move(request));
  ASSERT_FALSE(outcome.ArchivePath.empty());
  ASSERT_FALSE(outcome.SingleFilePath.empty());
  const auto members = test::ReadZip(outcome.ArchivePath);
  ASSERT_TRUE(members);
  std::string everything;
  for (const auto& [name, data] : *members) everything += data;
  for (const auto& record : test::ReadWarc(members->at("archive/data.warc.gz")))
    everything += record.Block + record.Field("WARC-Target-URI");
  std::ifstream in(outcome.SingleFilePath);
  everything.append(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  const std::size_t leak = everything.find("secretpw");
  EXPECT_EQ(leak, std::string::npos) << everything.substr(leak == std::string::npos ? 0 : leak - 200, 300);
  EXPECT_NE(everything.find(address), std::string::npos);  // the address is there, bare
}

}  // namespace
}  // namespace leafstash
