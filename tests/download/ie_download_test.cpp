#include <algorithm>
#include <fstream>
#include <sys/stat.h>

#include "download_fixture.h"
#include "download/progress_text.h"

namespace leafstash {
namespace {

using test::Completion;
using test::Recorder;

class DownloadTest : public test::DownloadSite {};

TEST_F(DownloadTest, DefaultsAndDerivedNumbers) {
  TIEDownload d;
  EXPECT_EQ(d.BindFlags(), 0xB3u);
  EXPECT_EQ(d.AdditionalHeader,
            std::vector<std::string>{"Content-Type: application/x-www-form-urlencoded"});
  d.SetOptions({TBindInfoOption::Asynchronous, TBindInfoOption::AsyncStorage,
                TBindInfoOption::PullData, TBindInfoOption::Resynchronize});
  EXPECT_EQ(d.BindFlags(), 0x283u);
  d.SetOptions({TBindInfoOption::Reserved_3});
  EXPECT_EQ(d.BindFlags(), 0x800000u);
  d.SetCodepage(TCodePageOption::UTF8);
  EXPECT_EQ(d.CodePageNumber(), 65001u);
  d.SetCodepage(TCodePageOption::Symbol);
  EXPECT_EQ(d.CodePageNumber(), 42u);
  d.SetMethod(TBindVerbOption::Custom);
  EXPECT_EQ(d.BindVerbNumber(), 3u);
}

TEST_F(DownloadTest, BodiesAndStatusCodes) {
  TIEDownload d;
  Recorder rec(d);
  d.Download(Url("/hello"));
  EXPECT_TRUE(rec.completions.empty());  // asynchronous: nothing before the loop runs
  ASSERT_TRUE(rec.WaitFor(1));
  EXPECT_TRUE(rec.completions[0].hasStream);
  EXPECT_EQ(rec.completions[0].body, "hello world");
  EXPECT_EQ(rec.completions[0].result, S_OK);
  EXPECT_EQ(rec.codes[0], 200u);
  EXPECT_TRUE(test::WaitUntil([&] { return d.ActiveCount() == 0; }));

  // 404: refused at the response, then the end of the binding.
  Recorder missing(d);
  d.Download(Url("/missing"));
  ASSERT_TRUE(missing.WaitFor(2));
  EXPECT_FALSE(missing.completions[0].hasStream);
  EXPECT_EQ(missing.completions[0].result, E_ABORT);
  EXPECT_EQ(missing.completions[1].result, E_ABORT);
  EXPECT_EQ(missing.completions[0].sender, missing.completions[1].sender);

  // 404 with content length 0: the length test comes first.
  Recorder missingEmpty(d);
  d.Download(Url("/missing-empty"));
  ASSERT_TRUE(missingEmpty.WaitFor(2));
  EXPECT_FALSE(missingEmpty.completions[0].hasStream);
  EXPECT_EQ(missingEmpty.completions[0].result, S_OK);

  // Content length 0 on a 200, then the second completion.
  Recorder empty(d);
  d.Download(Url("/empty"));
  ASSERT_TRUE(empty.WaitFor(2));
  EXPECT_FALSE(empty.completions[0].hasStream);
  EXPECT_EQ(empty.completions[0].result, S_OK);
  EXPECT_TRUE(empty.completions[1].hasStream);

  // 500 is delivered; the caller judges it by its code.
  Recorder broken(d);
  d.Download(Url("/broken"));
  ASSERT_TRUE(broken.WaitFor(1));
  EXPECT_EQ(broken.completions[0].body, "server trouble");
  EXPECT_EQ(broken.completions[0].result, S_OK);
  EXPECT_EQ(broken.codes[0], 500u);
}

TEST_F(DownloadTest, RequestHeaderLines) {
  TIEDownload d;
  Recorder rec(d);
  d.UserAgent = "Agent/1.0";
  d.AdditionalHeader = {"X-One: 1", "X-Two: 2"};
  d.Download(Url("/headers"));
  ASSERT_TRUE(rec.WaitFor(1));
  EXPECT_EQ(rec.requestHeaders[0], "User-agent: Agent/1.0\r\nX-One: 1\r\nX-Two: 2\r\n");
  const auto sent = Server().Requests().back();
  EXPECT_EQ(sent.Header("User-Agent"), "Agent/1.0");
  EXPECT_EQ(sent.Header("X-Two"), "2");

  // A range into memory; an empty first header line drops the list.
  d.UserAgent.clear();
  d.Range.RangeEnd = 500;
  d.AdditionalHeader = {"", "X-Three: 3"};
  d.Download(Url("/ranged"));
  ASSERT_TRUE(rec.WaitFor(2));
  EXPECT_EQ(rec.requestHeaders[1], "Range: bytes=0-500\r\n");
  EXPECT_EQ(Server().Requests().back().Header("X-Three"), "");

  d.Range = TRange{};
  d.AdditionalHeader.clear();
  d.Download(Url("/headers"));
  ASSERT_TRUE(rec.WaitFor(3));
  EXPECT_EQ(rec.requestHeaders[2], "");
}

TEST_F(DownloadTest, PartialAnswerIntoMemory) {
  TIEDownload d;
  Recorder rec(d);
  d.Range.RangeBegin = 1990;
  d.Download(Url("/ranged"));
  ASSERT_TRUE(rec.WaitFor(1));
  EXPECT_EQ(rec.codes[0], 206u);
  EXPECT_EQ(rec.completions[0].body, Pattern(2000).substr(1990));
}

TEST_F(DownloadTest, RedirectionsAndMimeType) {
  TIEDownload d;
  Recorder rec(d);
  d.Download(Url("/hop/3"));
  ASSERT_TRUE(rec.WaitFor(1));
  EXPECT_EQ(rec.completions[0].body, "arrived");
  EXPECT_EQ(rec.completions[0].url, Url("/hop/3"));  // unchanged
  std::vector<std::string> hops;
  for (const auto& p : rec.progress_)
    if (p.code == BINDSTATUS_REDIRECTING) hops.push_back(p.text);
  EXPECT_EQ(hops, (std::vector<std::string>{Url("/hop/2"), Url("/hop/1"), Url("/hop/0")}));
  EXPECT_EQ(rec.requestHeaders.size(), 4u);  // a request for each address

  // The order of the platform's notifications, with the bare MIME type.
  Recorder page(d);
  d.Download(Url("/page"));
  ASSERT_TRUE(page.WaitFor(1));
  const std::vector<ULONG> order = {BINDSTATUS_FINDINGRESOURCE, BINDSTATUS_CONNECTING,
                                    BINDSTATUS_SENDINGREQUEST, BINDSTATUS_MIMETYPEAVAILABLE,
                                    BINDSTATUS_BEGINDOWNLOADDATA, BINDSTATUS_DOWNLOADINGDATA,
                                    BINDSTATUS_ENDDOWNLOADDATA};
  EXPECT_EQ(page.Codes(), order);
  EXPECT_EQ(page.progress_[3].text, "text/html");

  // A POST that is redirected goes on with GET.
  Recorder post(d);
  d.SetMethod(TBindVerbOption::Post);
  d.PostData = "a=1";
  d.Download(Url("/post-hop"));
  ASSERT_TRUE(post.WaitFor(1));
  EXPECT_EQ(post.completions[0].body, "arrived");
  const auto requests = Server().Requests();
  ASSERT_GE(requests.size(), 3u);
  EXPECT_EQ(requests[requests.size() - 3].method, "POST");
  EXPECT_EQ(requests[requests.size() - 2].method, "GET");
}

TEST_F(DownloadTest, RedirectionsWithABodyAreFollowed) {
  TIEDownload d;
  Recorder rec(d);
  const std::vector<int> statuses = {301, 302, 303, 307, 308};
  for (int status : statuses) d.Download(Url("/moved/" + std::to_string(status)));
  d.Download(Url("/moved-twice/first"));
  ASSERT_TRUE(rec.WaitFor(statuses.size() + 1));
  for (const Completion& c : rec.completions) {
    EXPECT_EQ(c.result, S_OK) << c.url;
    EXPECT_EQ(c.body, "arrived") << c.url;
  }
  std::vector<std::string> hops;
  for (const auto& p : rec.progress_)
    if (p.code == BINDSTATUS_REDIRECTING) hops.push_back(p.text);
  EXPECT_EQ(std::count(hops.begin(), hops.end(), Url("/hop/0")), 6);
  // The relative Locations of the chain, resolved against each address.
  EXPECT_NE(std::find(hops.begin(), hops.end(), Url("/moved-twice/second?x=1")), hops.end());
}

TEST_F(DownloadTest, ACompressedBodyThatExpandsPastReasonIsStopped) {
  TIEDownload d;
  Recorder rec(d);
  d.Download(Url("/bomb"));
  d.Download(Url("/gzipped"));  // an honest compressed answer arrives whole
  d.Download(Url("/gzip-cut"));  // one that stops halfway fails
  ASSERT_TRUE(rec.WaitFor(3));
  for (const Completion& c : rec.completions) {
    if (c.url == Url("/bomb")) {
      EXPECT_EQ(c.result, E_FILE_TOO_LARGE);
      EXPECT_LT(c.body.size(), 64u << 20);
    } else if (c.url == Url("/gzip-cut")) {
      EXPECT_EQ(c.result, INET_E_DATA_NOT_AVAILABLE);
    } else {
      EXPECT_EQ(c.result, S_OK);
      EXPECT_EQ(c.body, Pattern(3u << 20));
    }
  }
}

TEST_F(DownloadTest, RedirectionsThatAreRefused) {
  TIEDownload d;
  Recorder rec(d);
  d.Download(Url("/to-file"));  // never into a local file
  d.Download(Url("/hop/21"));   // more than 20
  ASSERT_TRUE(rec.WaitFor(2));
  for (const Completion& c : rec.completions) EXPECT_EQ(c.result, INET_E_REDIRECT_FAILED);
  d.Download(Url("/hop/20"));
  ASSERT_TRUE(rec.WaitFor(3));
  EXPECT_EQ(rec.completions[2].result, S_OK);
}

TEST_F(DownloadTest, PostAndPutBodies) {
  test::TempDir dir;
  TIEDownload d;
  Recorder rec(d);
  d.SetMethod(TBindVerbOption::Post);
  d.PostData = "name=value";
  d.Download(Url("/echo"));
  ASSERT_TRUE(rec.WaitFor(1));
  EXPECT_EQ(rec.completions[0].body, std::string("name=value\0", 11));  // with its zero byte

  dir.Write("upload.bin", std::string("put\0body", 8));
  d.SetMethod(TBindVerbOption::Put);
  d.PutFileName = dir.File("upload.bin");
  d.Download(Url("/echo"));
  ASSERT_TRUE(rec.WaitFor(2));
  EXPECT_EQ(rec.completions[1].body, std::string("put\0body", 8));

  d.PutFileName = dir.File("none.bin");  // a body that cannot be read fails the bind
  d.Download(Url("/echo"));
  ASSERT_TRUE(rec.WaitFor(3));
  EXPECT_TRUE(FAILED(rec.completions[2].result));
}

TEST_F(DownloadTest, ResumingAFile) {
  test::TempDir dir;
  const std::string full = Pattern(2000);
  TIEDownload d;
  Recorder rec(d);
  std::vector<std::string> resumed;
  d.OnResume = [&](TBSCB*, const std::string& name, DWORD&) { resumed.push_back(name); };

  // 206 from the file's end: appended.
  dir.Write("a.bin", full.substr(0, 1000));
  d.DownloadToFile(Url("/ranged"), dir.File("a.bin"));
  ASSERT_TRUE(rec.WaitFor(1));
  EXPECT_EQ(rec.requestHeaders[0], "Range: bytes=1000-\r\nContent-Type: application/x-www-form-urlencoded\r\n");
  EXPECT_EQ(resumed, std::vector<std::string>{dir.File("a.bin")});
  EXPECT_EQ(rec.completions[0].body, full);
  EXPECT_EQ(dir.Read("a.bin"), full);

  // A whole answer, even one that announces ranges: the file is rewritten.
  for (const char* path : {"/whole", "/wrong-range"}) {
    dir.Write("b.bin", std::string(1000, 'Z'));
    rec.completions.clear();
    d.DownloadToFile(Url(path), dir.File("b.bin"));
    ASSERT_TRUE(rec.WaitFor(1));
    EXPECT_EQ(dir.Read("b.bin"), full) << path;
  }

  // No file yet: no range, no resume question.
  rec.completions.clear();
  d.DownloadToFile(Url("/ranged"), dir.File("c.bin"));
  ASSERT_TRUE(rec.WaitFor(1));
  EXPECT_EQ(dir.Read("c.bin"), full);
  EXPECT_EQ(resumed.size(), 3u);  // a.bin and twice b.bin
}

TEST_F(DownloadTest, ResumeAnswersStartOverAndSkip) {
  test::TempDir dir;
  TIEDownload d;
  Recorder rec(d);
  DWORD answer = 1;
  d.OnResume = [&](TBSCB*, const std::string&, DWORD& action) { action = answer; };
  dir.Write("a.bin", "old");
  d.DownloadToFile(Url("/hello"), dir.File("a.bin"));
  ASSERT_TRUE(rec.WaitFor(1));
  EXPECT_EQ(dir.Read("a.bin"), "hello world");

  answer = 2;  // skipped: only the end of the binding reports
  rec.completions.clear();
  const std::size_t before = Server().Requests().size();
  d.DownloadToFile(Url("/hello"), dir.File("a.bin"));
  ASSERT_TRUE(rec.WaitFor(1));
  test::RunFor(100);
  ASSERT_EQ(rec.completions.size(), 1u);
  EXPECT_FALSE(rec.completions[0].hasStream);
  EXPECT_EQ(rec.completions[0].result, E_ABORT);
  EXPECT_EQ(Server().Requests().size(), before);
}

TEST_F(DownloadTest, FilesThatCannotBeWritten) {
  test::TempDir dir;
  TIEDownload d;
  Recorder rec(d);
  d.DownloadToFile(Url("/hello"), dir.File("no/such/folder/a.bin"));
  d.DownloadToFile(Url("/large"), "/dev/full");  // a disk that is full
  ASSERT_TRUE(rec.WaitFor(2));
  for (const Completion& c : rec.completions) EXPECT_TRUE(FAILED(c.result)) << std::hex << c.result;
  ::mkdir(dir.File("locked").c_str(), 0500);
  if (::geteuid() != 0) {
    d.DownloadToFile(Url("/hello"), dir.File("locked/a.bin"));
    ASSERT_TRUE(rec.WaitFor(3));
    EXPECT_EQ(rec.completions[2].result, E_ACCESSDENIED);
  }
}

TEST_F(DownloadTest, BasicAuthentication) {
  TIEDownload d;
  Recorder rec(d);
  d.Username = "ann";
  d.Password = "pw";
  d.Download(Url("/secret"));
  ASSERT_TRUE(rec.WaitFor(1));
  EXPECT_EQ(rec.completions[0].body, "the secret");

  int asked = 0;
  d.Username.clear();
  d.OnAuthenticate = [&](TBSCB*, HWND&, LPWSTR& user, LPWSTR& password) {
    ++asked;
    user = CoTaskStrDup("ann");
    password = CoTaskStrDup("pw");
    return S_OK;
  };
  d.Download(Url("/secret"));
  ASSERT_TRUE(rec.WaitFor(2));
  EXPECT_EQ(rec.completions[1].body, "the secret");
  EXPECT_EQ(asked, 1);

  // A server that refuses every answer: three answers, then its 401.
  asked = 0;
  rec.completions.clear();
  rec.codes.clear();
  d.Download(Url("/never"));
  ASSERT_TRUE(rec.WaitFor(2));
  EXPECT_EQ(asked, 3);
  EXPECT_EQ(rec.completions[0].result, E_ABORT);
  EXPECT_EQ(rec.codes[0], 401u);

  // Credentials stay with the host that asked for them.
  d.OnAuthenticate = nullptr;
  d.Username = "ann";
  d.Password = "pw";
  rec.completions.clear();
  d.Download(Url("/secret-away"));
  ASSERT_TRUE(rec.WaitFor(1));
  EXPECT_EQ(rec.completions[0].body, "[]");
  d.Username.clear();
  d.Password.clear();

  // No handler and no stored credentials: the 401 is the answer.
  d.OnAuthenticate = nullptr;
  rec.completions.clear();
  d.Download(Url("/secret"));
  ASSERT_TRUE(rec.WaitFor(2));
  EXPECT_EQ(rec.completions[0].result, E_ABORT);
}

TEST_F(DownloadTest, InactivityTimeOut) {
  TIEDownload d;
  Recorder rec(d);
  d.TimeOut = 400;
  d.Download(Url("/stall"));
  d.Download(Url("/trickle"));  // never 400 ms without data, 1.2 s in all
  d.Download(Url("/drip"));     // a byte at a time is no better than a stall
  ASSERT_TRUE(rec.WaitFor(3));
  std::map<std::string, HRESULT> byPath;
  for (const Completion& c : rec.completions) byPath[c.url] = c.result;
  EXPECT_EQ(byPath[Url("/stall")], INET_E_CONNECTION_TIMEOUT);
  EXPECT_EQ(byPath[Url("/trickle")], S_OK);
  EXPECT_EQ(byPath[Url("/drip")], INET_E_CONNECTION_TIMEOUT);

  // A prompt the user takes longer to answer than the time-out is not
  // inactivity.
  rec.completions.clear();
  d.OnAuthenticate = [&](TBSCB*, HWND&, LPWSTR& user, LPWSTR& password) {
    test::RunFor(900);
    user = CoTaskStrDup("ann");
    password = CoTaskStrDup("pw");
    return S_OK;
  };
  d.Download(Url("/secret"));
  ASSERT_TRUE(rec.WaitFor(1));
  EXPECT_EQ(rec.completions[0].result, S_OK);
  EXPECT_EQ(rec.completions[0].body, "the secret");
  d.OnAuthenticate = nullptr;

  // A time-out of 0 is none at all.
  d.TimeOut = 0;
  rec.completions.clear();
  d.Download(Url("/stall"));
  ASSERT_TRUE(rec.WaitFor(1));
  EXPECT_EQ(rec.completions[0].result, S_OK);
  EXPECT_EQ(rec.completions[0].body, "start");
}

TEST_F(DownloadTest, Cancelling) {
  TIEDownload d;
  Recorder rec(d);
  d.Download(Url("/stall"));
  d.Download(Url("/stall"));
  d.Cancel();
  ASSERT_TRUE(rec.WaitFor(2));
  for (const Completion& c : rec.completions) EXPECT_EQ(c.result, E_ABORT);
  EXPECT_TRUE(d.Cancelled());

  // A new start clears the flag.
  rec.completions.clear();
  d.Download(Url("/hello"));
  EXPECT_FALSE(d.Cancelled());
  ASSERT_TRUE(rec.WaitFor(1));
  EXPECT_EQ(rec.completions[0].result, S_OK);

  // One download only, from its own events.
  rec.completions.clear();
  d.OnProgress = [&](TBSCB* sender, ULONG, ULONG, ULONG code, LPCWSTR, const std::string&,
                     const std::string&, const std::string&) {
    if (code == BINDSTATUS_BEGINDOWNLOADDATA && WideToAnsi(sender->Url()) == Url("/stall"))
      d.CancelDownload(sender);
  };
  d.Download(Url("/stall"));
  d.Download(Url("/hello"));
  ASSERT_TRUE(rec.WaitFor(2));
  std::map<std::string, HRESULT> byPath;
  for (const Completion& c : rec.completions) byPath[c.url] = c.result;
  EXPECT_EQ(byPath[Url("/stall")], E_ABORT);
  EXPECT_EQ(byPath[Url("/hello")], S_OK);
}

TEST_F(DownloadTest, InvalidAddressesAndSynchronousBinds) {
  TIEDownload d;
  Recorder rec(d);
  d.Download("no address at all");
  ASSERT_EQ(rec.completions.size(), 1u);  // before Download returned
  EXPECT_FALSE(rec.completions[0].hasStream);
  EXPECT_EQ(rec.completions[0].result, MK_E_SYNTAX);
  d.Download("gopherish://x/");
  ASSERT_EQ(rec.completions.size(), 2u);
  EXPECT_EQ(rec.completions[1].result, MK_E_SYNTAX);

  // Without Asynchronous every event fires inside the call.
  d.SetOptions({TBindInfoOption::PullData});
  rec.completions.clear();
  d.Download(Url("/hello"));
  ASSERT_EQ(rec.completions.size(), 1u);
  EXPECT_EQ(rec.completions[0].body, "hello world");
  EXPECT_EQ(d.ActiveCount(), 2u);  // only the two rejected ones stay listed
}

TEST_F(DownloadTest, AddressesWithBlanksAndBytesOutsideAscii) {
  TIEDownload d;
  Recorder rec(d);
  const std::string path = "/file name \xC3\xA9\xFF.gif";
  d.Download(Url(path));
  ASSERT_TRUE(rec.WaitFor(1));
  EXPECT_EQ(Server().Requests().back().path, "/file name \xC3\xA9\xFF.gif");  // decoded by the server
  EXPECT_EQ(rec.completions[0].url, Url(path));
  EXPECT_EQ(AnsiToWide("\xFF").size(), 1u);
  EXPECT_EQ(WideToAnsi(AnsiToWide("a\xC3\xA9\xFF\xED\xA0\x80z")), "a\xC3\xA9\xFF\xED\xA0\x80z");
}

TEST_F(DownloadTest, FiftyAtOnceAndMemoryLimit) {
  TIEDownload d;
  Recorder rec(d);
  for (int i = 0; i < 50; ++i) d.Download(Url("/hop/" + std::to_string(i % 3)));
  EXPECT_EQ(d.ActiveCount(), 50u);
  ASSERT_TRUE(rec.WaitFor(50, 20000));
  for (const Completion& c : rec.completions) {
    EXPECT_EQ(c.result, S_OK);
    EXPECT_EQ(c.body, "arrived");
  }
  EXPECT_TRUE(test::WaitUntil([&] { return d.ActiveCount() == 0; }));

  rec.completions.clear();
  d.MaxMemoryBody = 1u << 20;
  d.Download(Url("/large"));
  ASSERT_TRUE(rec.WaitFor(1));
  EXPECT_EQ(rec.completions[0].result, INET_E_DOWNLOAD_FAILURE);
}

TEST_F(DownloadTest, FileSchemeIntoAFile) {
  test::TempDir dir;
  dir.Write("source.txt", "local data");
  TIEDownload d;
  Recorder rec(d);
  d.DownloadToFile("file://" + dir.File("source.txt"), dir.File("copy.txt"));
  ASSERT_TRUE(rec.WaitFor(1));
  EXPECT_EQ(rec.completions[0].result, S_OK);
  EXPECT_EQ(dir.Read("copy.txt"), "local data");
}

TEST_F(DownloadTest, DestroyingTheComponentWhileDownloading) {
  auto d = std::make_unique<TIEDownload>();
  int completions = 0;
  d->OnComplete = [&](TBSCB*, TStream*, HRESULT) { ++completions; };
  d->Download(Url("/stall"));
  d->Download(Url("/hello"));
  test::RunFor(50);
  d.reset();  // the binds stop; no event reaches the component any more
  test::RunFor(200);
  EXPECT_LE(completions, 1);
}

TEST(ProgressText, SpeedElapsedAndRemaining) {
  EXPECT_EQ(SpeedText(12.3456), "12.34 kb/sec");
  EXPECT_EQ(SpeedText(12), "12 kb/sec");
  EXPECT_EQ(SpeedText(0.5), "0.5 kb/sec");
  EXPECT_EQ(TimeOfDayText(3723000), "1:02:03");
  EXPECT_EQ(TimeOfDayText(86400000 + 5000), "0:00:05");
  TProgressTexts t = MakeProgressTexts(true, 2000, 20000, 60000);
  EXPECT_EQ(t.ElapsedTime, "0:00:02");
  EXPECT_EQ(t.Speed, "10 kb/sec");
  EXPECT_EQ(t.EstimatedTime, "0:00:04");
  t = MakeProgressTexts(true, 0, 100, 200);  // no time yet: nothing divided by zero
  EXPECT_EQ(t.Speed, "");
  EXPECT_EQ(t.EstimatedTime, "");
  t = MakeProgressTexts(true, 10, 0, 200);
  EXPECT_EQ(t.Speed, "");
  t = MakeProgressTexts(false, 10, 10, 200);
  EXPECT_EQ(t.ElapsedTime, "");
  EXPECT_EQ(MakeProgressTexts(true, 1000, 1000, 0).EstimatedTime, "");
}

}  // namespace
}  // namespace leafstash
