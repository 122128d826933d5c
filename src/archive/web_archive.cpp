#include "archive/web_archive.h"

#include <algorithm>
#include <condition_variable>
#include <ctime>
#include <deque>
#include <mutex>
#include <thread>
#include <unistd.h>
#include <vector>
#include <zlib.h>

#include "archive/raw_file.h"
#include "archive/spool.h"
#include "archive/wacz_container.h"
#include "archive/warc_writer.h"
#include "html/text_utils.h"
#include "html/url_utils.h"

namespace leafstash {
namespace {

// The time now as WARC dates write it and as index keys write it.
struct TStamp {
  std::string Iso;       // 2026-12-10T04:30:00Z
  std::string Digits14;  // 20261210043000
};

TStamp Now() {
  const std::time_t now = std::time(nullptr);
  std::tm utc{};
  gmtime_r(&now, &utc);
  char iso[32], digits[16];
  std::strftime(iso, sizeof iso, "%Y-%m-%dT%H:%M:%SZ", &utc);
  std::strftime(digits, sizeof digits, "%Y%m%d%H%M%S", &utc);
  return {iso, digits};
}

bool StartsWithNoCase(std::string_view Text, std::string_view Prefix) {
  return Text.size() >= Prefix.size() && SameTextAscii(Text.substr(0, Prefix.size()), Prefix);
}

// Calls Visit with each line of a head, its line break included.
template <typename Visit>
void ForEachHeadLine(std::string_view Head, Visit visit) {
  for (std::size_t at = 0; at < Head.size();) {
    std::size_t end = Head.find('\n', at);
    end = end == std::string_view::npos ? Head.size() : end + 1;
    visit(Head.substr(at, end - at));
    at = end;
  }
}

// The head as the archive keeps it: without the lines whose names are in
// Drop (lower case, with their colon), the credentials and, unless kept,
// the cookies. curl hands a chunked body over with its chunks undone, so
// the head names the coding as one that was, or readers would undo the
// chunks once more.
std::string RecordedHead(std::string_view Head, std::initializer_list<std::string_view> Drop) {
  constexpr std::string_view kChunked = "transfer-encoding:";
  std::string out;
  out.reserve(Head.size() + 32);
  ForEachHeadLine(Head, [&](std::string_view Line) {
    for (const std::string_view name : Drop)
      if (StartsWithNoCase(Line, name)) return;
    if (StartsWithNoCase(Line, kChunked)) {
      out.append("X-Archive-Orig-Transfer-Encoding:");
      Line.remove_prefix(kChunked.size());
    }
    out.append(Line);
  });
  return out;
}

// The value of header Name (lower case, with its colon) in Head.
std::string HeaderValue(std::string_view Head, std::string_view Name) {
  std::string value;
  ForEachHeadLine(Head, [&](std::string_view Line) {
    if (value.empty() && StartsWithNoCase(Line, Name)) value = TrimView(Line.substr(Name.size()));
  });
  return value;
}

std::string BareType(std::string_view ContentType) {
  return LowerCopy(TrimView(ContentType.substr(0, ContentType.find(';'))));
}

// Text compresses well; pictures, media and coded bodies do not, and are
// only framed, which keeps a large download as fast as without an archive.
int LevelFor(const std::string& Mime, bool Coded) {
  if (Coded) return Z_NO_COMPRESSION;
  if (Mime.rfind("text/", 0) == 0 || Mime.find("javascript") != std::string::npos ||
      Mime.find("json") != std::string::npos || Mime.find("xml") != std::string::npos)
    return 6;
  return Z_NO_COMPRESSION;
}

// One exchange, or one handed-over document, waiting to be written.
struct TExchange {
  bool Resource = false;
  std::string Url;
  TStamp Date;
  std::string Ip;
  std::string RequestHead, RequestBody;
  std::string ResponseHead;  // a resource: its content type
  int Status = 0;
  std::string Mime;
  bool Coded = false;
  bool Truncated = false;
  std::unique_ptr<TSpool> Body;
};

}  // namespace

struct TWebArchive::TState {
  TWebArchiveOptions Options;
  std::atomic<std::uint64_t> SpoolBudget{0};
  std::unique_ptr<TWarcWriter> Writer;
  std::string WarcinfoId;
  TStamp Started;

  std::mutex Mutex;
  std::condition_variable Wake;
  std::deque<std::unique_ptr<TExchange>> Queue;
  bool Stopping = false;  // the worker ends when the queue is empty
  bool Closed = false;    // nothing more is taken
  std::string Error;      // the first failure
  std::atomic<bool> Failed{false};
  std::thread Worker;

  // The worker's alone until it has ended.
  std::vector<TIndexEntry> Index;
  // The event loop's.
  std::vector<TPageEntry> Pages;
  std::vector<std::string> Reused;

  void Fail(const std::string& Why) {
    {
      std::lock_guard lock(Mutex);
      if (Error.empty()) Error = Why;
    }
    Failed = true;
    Wake.notify_one();
  }
  void Enqueue(std::unique_ptr<TExchange> Exchange) {
    {
      std::lock_guard lock(Mutex);
      if (Closed || !Error.empty()) return;
      Queue.push_back(std::move(Exchange));
    }
    Wake.notify_one();
  }
  void Run();
  bool WriteExchange(TExchange& X, std::string& Why);
  // Writes what waits, then lets the worker end.
  void Stop() {
    {
      std::lock_guard lock(Mutex);
      Stopping = Closed = true;
    }
    Wake.notify_one();
    if (Worker.joinable()) Worker.join();
  }
  // Lets the worker end with what waits unwritten: the archive is given up.
  void Abandon() {
    std::deque<std::unique_ptr<TExchange>> dropped;
    {
      std::lock_guard lock(Mutex);
      Stopping = Closed = true;
      dropped.swap(Queue);
    }
    Wake.notify_one();
    if (Worker.joinable()) Worker.join();
  }
};

void TWebArchive::TState::Run() {
  bool released = false;
  for (;;) {
    std::unique_ptr<TExchange> next;
    {
      std::unique_lock lock(Mutex);
      Wake.wait(lock, [&] { return Stopping || !Queue.empty() || (!Error.empty() && !released); });
      if (!Error.empty() && !released) {
        // A failed archive gives its disk space back at once: on a full
        // disk the folder copy still needs it.
        released = true;
        Queue.clear();
        (void)!::ftruncate(Writer->Fd(), 0);
        continue;
      }
      if (Queue.empty()) return;
      next = std::move(Queue.front());
      Queue.pop_front();
      if (!Error.empty()) continue;
    }
    std::string why;
    if (!WriteExchange(*next, why)) Fail(why);
  }
}

bool TWebArchive::TState::WriteExchange(TExchange& X, std::string& Why) {
  TDigest payload(TDigest::TKind::Sha1), block(TDigest::TKind::Sha1);
  if (!X.Resource) block.Update(X.ResponseHead);
  if (X.Body &&
      !X.Body->ReadAll([&](std::string_view Part) { payload.Update(Part); block.Update(Part); }, Why))
    return false;
  const std::string payloadDigest = Sha1Label(payload.Finish());
  const std::string blockDigest = Sha1Label(block.Finish());
  const std::uint64_t bodySize = X.Body ? X.Body->Size() : 0;
  const std::string responseId = "<" + RandomUuidUrn() + ">";
  TRecordPlace place;

  if (X.Resource) {
    const TWarcFields fields = {
        {"WARC-Type", "resource"},          {"WARC-Record-ID", responseId},
        {"WARC-Date", X.Date.Iso},          {"WARC-Target-URI", X.Url},
        {"WARC-Warcinfo-ID", WarcinfoId},   {"WARC-Block-Digest", blockDigest},
        {"WARC-Payload-Digest", payloadDigest}, {"Content-Type", X.ResponseHead}};
    if (!Writer->Write(WarcHead(fields, bodySize), "", X.Body.get(), LevelFor(X.Mime, false),
                       place, Why))
      return false;
  } else {
    const std::string requestId = "<" + RandomUuidUrn() + ">";
    TDigest requestBlock(TDigest::TKind::Sha1);
    requestBlock.Update(X.RequestHead);
    requestBlock.Update(X.RequestBody);
    TWarcFields request = {{"WARC-Type", "request"},   {"WARC-Record-ID", requestId},
                           {"WARC-Date", X.Date.Iso},  {"WARC-Target-URI", X.Url}};
    if (!X.Ip.empty()) request.emplace_back("WARC-IP-Address", X.Ip);
    request.insert(request.end(),
                   {{"WARC-Concurrent-To", responseId},
                    {"WARC-Warcinfo-ID", WarcinfoId},
                    {"WARC-Block-Digest", Sha1Label(requestBlock.Finish())},
                    {"Content-Type", "application/http;msgtype=request"}});
    TRecordPlace requestPlace;
    if (!Writer->Write(WarcHead(request, X.RequestHead.size() + X.RequestBody.size()),
                       X.RequestHead + X.RequestBody, nullptr, 6, requestPlace, Why))
      return false;
    TWarcFields response = {{"WARC-Type", "response"},  {"WARC-Record-ID", responseId},
                            {"WARC-Date", X.Date.Iso},  {"WARC-Target-URI", X.Url}};
    if (!X.Ip.empty()) response.emplace_back("WARC-IP-Address", X.Ip);
    response.insert(response.end(), {{"WARC-Concurrent-To", requestId},
                                     {"WARC-Warcinfo-ID", WarcinfoId},
                                     {"WARC-Block-Digest", blockDigest},
                                     {"WARC-Payload-Digest", payloadDigest},
                                     {"Content-Type", "application/http;msgtype=response"}});
    if (X.Truncated) response.emplace_back("WARC-Truncated", "disconnect");
    if (!Writer->Write(WarcHead(response, X.ResponseHead.size() + bodySize), X.ResponseHead,
                       X.Body.get(), LevelFor(X.Mime, X.Coded), place, Why))
      return false;
  }
  Index.push_back({X.Url, X.Date.Digits14, X.Mime, X.Status, payloadDigest, place.Offset,
                   place.Length});
  return true;
}

namespace {

class TTap final : public TExchangeTap {
 public:
  TTap(std::shared_ptr<TWebArchive::TState> State, const std::string& Url)
      : state_(std::move(State)), exchange_(std::make_unique<TExchange>()) {
    exchange_->Url = WithoutCredentials(Url);
    exchange_->Date = Now();
  }

  void RequestSent(std::string_view Head, std::string_view Body) override {
    exchange_->Date = Now();
    exchange_->RequestHead =
        state_->Options.KeepCookies
            ? RecordedHead(Head, {"authorization:", "proxy-authorization:"})
            : RecordedHead(Head, {"authorization:", "proxy-authorization:", "cookie:"});
    exchange_->RequestBody.assign(Body);
  }

  void ResponseBegan(std::string_view Head, std::string_view IpAddress) override {
    TExchange& x = *exchange_;
    x.ResponseHead = state_->Options.KeepCookies
                         ? RecordedHead(Head, {})
                         : RecordedHead(Head, {"set-cookie:", "set-cookie2:"});
    x.Ip.assign(IpAddress);
    const std::size_t space = Head.find(' ');
    x.Status = space == std::string_view::npos ? 0 : std::atoi(std::string(Head.substr(space + 1, 3)).c_str());
    x.Mime = BareType(HeaderValue(Head, "content-type:"));
    const std::string coding = HeaderValue(Head, "content-encoding:");
    x.Coded = !coding.empty() && coding != "identity";
    const std::string length = HeaderValue(Head, "content-length:");
    expected_ = length.empty() ? -1 : std::atoll(length.c_str());
    x.Body = std::make_unique<TSpool>(state_->Options.Folder, state_->SpoolBudget);
    responded_ = true;
  }

  void ResponseData(const char* Data, std::size_t Size) override {
    if (failed_ || !exchange_->Body) return;
    if (state_->Failed) {
      // The archive is given up: its spools give their room back.
      failed_ = true;
      exchange_->Body.reset();
      return;
    }
    std::string why;
    if (!exchange_->Body->Append(Data, Size, why)) {
      failed_ = true;
      state_->Fail(why);
    }
  }

  void Ended(bool Complete) override {
    if (failed_ || !responded_) return;  // nothing was answered: no exchange to keep
    const auto received = static_cast<long long>(exchange_->Body->Size());
    exchange_->Truncated = !Complete && (expected_ < 0 || received < expected_);
    state_->Enqueue(std::move(exchange_));
  }

 private:
  std::shared_ptr<TWebArchive::TState> state_;
  std::unique_ptr<TExchange> exchange_;
  long long expected_ = -1;
  bool responded_ = false;
  bool failed_ = false;
};

}  // namespace

TWebArchive::TWebArchive(std::shared_ptr<TState> State) : state_(std::move(State)) {}

TWebArchive::~TWebArchive() { state_->Abandon(); }

void TWebArchive::Abandon() { state_->Abandon(); }

const TWebArchiveOptions& TWebArchive::Options() const { return state_->Options; }

std::unique_ptr<TWebArchive> TWebArchive::Begin(TWebArchiveOptions Options, std::string& Why) {
  auto state = std::make_shared<TState>();
  state->Options = std::move(Options);
  state->Started = Now();
  const int fd = OpenNamelessFile(state->Options.Folder, Why);
  if (fd < 0) return nullptr;
  state->Writer = std::make_unique<TWarcWriter>(fd);
  state->WarcinfoId = "<" + RandomUuidUrn() + ">";
  // Which program wrote the records, and in which WARC version.
  const std::string info = "software: " + state->Options.Software +
                           "\r\nformat: WARC File Format 1.1\r\n";
  const TWarcFields fields = {{"WARC-Type", "warcinfo"},
                              {"WARC-Record-ID", state->WarcinfoId},
                              {"WARC-Date", state->Started.Iso},
                              {"WARC-Filename", "data.warc.gz"},
                              {"Content-Type", "application/warc-fields"}};
  TRecordPlace place;
  if (!state->Writer->Write(WarcHead(fields, info.size()), info, nullptr, 6, place, Why))
    return nullptr;
  state->Worker = std::thread([raw = state.get()] { raw->Run(); });
  return std::unique_ptr<TWebArchive>(new TWebArchive(std::move(state)));
}

std::unique_ptr<TExchangeTap> TWebArchive::Open(const std::string& Url) {
  {
    std::lock_guard lock(state_->Mutex);
    if (state_->Closed || state_->Failed) return nullptr;
  }
  return std::make_unique<TTap>(state_, Url);
}

void TWebArchive::AddResource(const std::string& Url, const std::string& ContentType,
                              std::string_view Content) {
  auto x = std::make_unique<TExchange>();
  x->Resource = true;
  x->Url = WithoutCredentials(Url);
  x->Date = Now();
  x->ResponseHead = ContentType;
  x->Mime = BareType(ContentType);
  x->Body = std::make_unique<TSpool>(state_->Options.Folder, state_->SpoolBudget);
  std::string why;
  if (!x->Body->Append(Content.data(), Content.size(), why)) return state_->Fail(why);
  state_->Enqueue(std::move(x));
}

void TWebArchive::AddPage(const std::string& Url, const std::string& Title) {
  const std::string address = WithoutCredentials(Url);
  for (const TPageEntry& page : state_->Pages)
    if (page.Url == address) return;
  state_->Pages.push_back({address, Title, "", ""});
}

void TWebArchive::AddReused(const std::string& Url) {
  state_->Reused.push_back(WithoutCredentials(Url));
}

bool TWebArchive::Finish(const std::string& Path, std::string& Why) {
  TState& state = *state_;
  state.Stop();
  if (!state.Error.empty()) {
    Why = state.Error;
    return false;
  }
  TWaczContent content;
  content.WarcFd = state.Writer->Fd();
  content.WarcSize = state.Writer->Size();
  content.WarcSha256 = state.Writer->FinishSha256();
  content.Index = state.Index;
  content.Title = state.Options.Title;
  content.Software = state.Options.Software;
  content.Created = Now().Iso;
  for (TPageEntry page : state.Pages) {
    // A linked page is listed when the archive holds it, at the time it
    // was recorded; the page itself always is (its notes say what was
    // kept from an earlier job, perhaps the page too).
    const auto recorded = std::find_if(state.Index.begin(), state.Index.end(),
                                       [&](const TIndexEntry& E) { return E.Url == page.Url; });
    if (recorded == state.Index.end() && !content.Pages.empty()) continue;
    page.Date = state.Started.Iso;
    if (recorded != state.Index.end()) {
      const std::string& d = recorded->Timestamp;
      page.Date = d.substr(0, 4) + "-" + d.substr(4, 2) + "-" + d.substr(6, 2) + "T" +
                  d.substr(8, 2) + ":" + d.substr(10, 2) + ":" + d.substr(12, 2) + "Z";
    }
    content.Pages.push_back(std::move(page));
  }
  if (!content.Pages.empty() && !state.Reused.empty()) {
    std::string notes = "Kept from an earlier save into the same folder, not fetched again:";
    for (const std::string& url : state.Reused) notes += "\n" + url;
    content.Pages.front().Notes = notes;
  }
  return WriteWacz(Path, content, Why);
}

}  // namespace leafstash
