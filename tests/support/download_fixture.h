// A site for the download tests and a recorder of a component's events.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "compress.h"
#include "download/ie_download.h"
#include "qt_wait.h"
#include "temp_dir.h"
#include "test_server.h"
#include "platform/urlmon/urlmon.h"

namespace leafstash::test {

// What a completion event told; the sender itself is valid only during it.
struct Completion {
  TBSCB* sender;
  std::string url;
  bool hasStream;
  std::string body;
  HRESULT result;
};

struct ProgressNote {
  ULONG code;
  std::string text;
  ULONG progress, max;
};

// Records every event of a component.
struct Recorder {
  explicit Recorder(TIEDownload& D) {
    D.OnComplete = [this](TBSCB* sender, TStream* stream, HRESULT result) {
      completions.push_back({sender, WideToAnsi(sender->Url()), stream != nullptr,
                             stream ? stream->ReadAll() : "", result});
      codes.push_back(sender->ResponseCode());
    };
    D.OnProgress = [this](TBSCB*, ULONG progress, ULONG max, ULONG code, LPCWSTR text,
                          const std::string&, const std::string&, const std::string&) {
      progress_.push_back({code, WideToAnsi(text), progress, max});
    };
    D.OnBeginningTransaction = [this](TBSCB*, LPCWSTR, LPCWSTR, DWORD, LPWSTR& headers) {
      requestHeaders.push_back(WideToAnsi(headers));
      return S_OK;
    };
  }
  std::vector<Completion> completions;
  std::vector<DWORD> codes;
  std::vector<ProgressNote> progress_;
  std::vector<std::string> requestHeaders;

  bool WaitFor(std::size_t Count, int LimitMs = 10000) {
    return WaitUntil([&] { return completions.size() >= Count; }, LimitMs);
  }
  std::vector<ULONG> Codes() const {
    std::vector<ULONG> out;
    for (const auto& p : progress_) out.push_back(p.code);
    return out;
  }
};

// The site the tests download from.
class DownloadSite : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    server_ = new TestServer();
    Route(server_->Routes());
    server_->Start();
  }
  static void TearDownTestSuite() {
    delete server_;
    server_ = nullptr;
  }
  void SetUp() override { server_->ClearRequests(); }
  void TearDown() override {
    // Every bind has stopped and let go of its objects.
    EXPECT_TRUE(WaitUntil([] { return ActiveBindCount() == 0; }, 5000));
  }

  static std::string Url(const std::string& Path) { return server_->Url(Path); }
  static TestServer& Server() { return *server_; }

  static std::string Pattern(std::size_t Size) {
    std::string body(Size, '\0');
    for (std::size_t i = 0; i < Size; ++i) body[i] = static_cast<char>('a' + i % 26);
    return body;
  }

 private:
  static void Route(httplib::Server& s) {
    using httplib::Request;
    using httplib::Response;
    s.Get("/hello", [](const Request&, Response& r) { r.set_content("hello world", "text/plain"); });
    s.Get("/page", [](const Request&, Response& r) {
      r.set_content("<html></html>", "Text/HTML; charset=utf-8");
    });
    s.Get("/missing", [](const Request&, Response& r) {
      r.status = 404;
      r.set_content("not here", "text/plain");
    });
    s.Get("/missing-empty", [](const Request&, Response& r) {
      r.status = 404;
      r.set_header("Content-Length", "0");
    });
    s.Get("/broken", [](const Request&, Response& r) {
      r.status = 500;
      r.set_content("server trouble", "text/plain");
    });
    s.Get("/empty", [](const Request&, Response& r) { r.set_content("", "text/plain"); });
    s.Get("/headers", [](const Request&, Response& r) { r.set_content("ok", "text/plain"); });
    s.Get(R"(/hop/(\d+))", [](const Request& q, Response& r) {
      const int n = std::stoi(q.matches[1]);
      if (n > 0)
        r.set_redirect("/hop/" + std::to_string(n - 1), 302);
      else
        r.set_content("arrived", "text/plain");
    });
    // Redirections that carry a body, as real servers send them.
    s.Get(R"(/moved/(\d+))", [](const Request& q, Response& r) {
      r.status = std::stoi(q.matches[1]);
      r.set_header("Location", "/hop/0");
      r.set_content("<html><body><h1>Moved</h1>" + std::string(100000, ' ') + "</body></html>",
                    "text/html");
    });
    s.Get("/moved-twice/first", [](const Request&, Response& r) {
      r.status = 301;
      r.set_header("Location", "second?x=1");  // relative to this address
      r.set_content("moved", "text/plain");
    });
    s.Get("/moved-twice/second", [](const Request&, Response& r) {
      r.status = 302;
      r.set_header("Location", "../hop/0");
      r.set_content("moved again", "text/plain");
    });
    s.Post("/post-hop", [](const Request&, Response& r) { r.set_redirect("/hop/1", 302); });
    s.Get("/to-file", [](const Request&, Response& r) { r.set_redirect("file:///etc/passwd", 302); });
    s.Post("/echo", [](const Request& q, Response& r) { r.set_content(q.body, "application/octet-stream"); });
    s.Put("/echo", [](const Request& q, Response& r) { r.set_content(q.body, "application/octet-stream"); });
    // 2000 pattern bytes; the server answers "Range: bytes=N-" itself.
    s.Get("/ranged", [](const Request&, Response& r) {
      r.set_content(Pattern(2000), "application/octet-stream");
    });
    // Answers without a length are never cut to a range.
    const auto whole = [](int Status, const char* ContentRange) {
      return [Status, ContentRange](const Request&, Response& r) {
        r.status = Status;
        r.set_header("Accept-Ranges", "bytes");
        if (ContentRange) r.set_header("Content-Range", ContentRange);
        r.set_chunked_content_provider("application/octet-stream",
                                       [](std::size_t offset, httplib::DataSink& sink) {
                                         if (offset == 0) {
                                           const std::string body = Pattern(2000);
                                           sink.write(body.data(), body.size());
                                         } else {
                                           sink.done();
                                         }
                                         return true;
                                       });
      };
    };
    s.Get("/whole", whole(200, nullptr));
    s.Get("/wrong-range", whole(206, "bytes 0-1999/2000"));
    s.Get("/secret", [](const Request& q, Response& r) {
      // ann:pw in Basic form.
      if (q.get_header_value("Authorization") == "Basic YW5uOnB3") {
        r.set_content("the secret", "text/plain");
      } else {
        r.status = 401;
        r.set_header("WWW-Authenticate", "Basic realm=\"test\"");
        r.set_content("who are you", "text/plain");
      }
    });
    // After the credentials, a redirection to another host name.
    s.Get("/secret-away", [](const Request& q, Response& r) {
      if (q.get_header_value("Authorization") == "Basic YW5uOnB3") {
        r.set_redirect("http://localhost:" + std::to_string(server_->Port()) + "/show-auth", 302);
      } else {
        r.status = 401;
        r.set_header("WWW-Authenticate", "Basic realm=\"test\"");
      }
    });
    s.Get("/show-auth", [](const Request& q, Response& r) {
      r.set_content("[" + q.get_header_value("Authorization") + "]", "application/octet-stream");
    });
    s.Get("/never", [](const Request&, Response& r) {
      r.status = 401;
      r.set_header("WWW-Authenticate", "Basic realm=\"none\"");
      r.set_content("no", "text/plain");
    });
    s.Get("/stall", [](const Request&, Response& r) {
      // Not a text type, so the server does not compress (and hold back) it.
      r.set_chunked_content_provider("application/octet-stream",
                                     [](std::size_t offset, httplib::DataSink& sink) {
        if (offset == 0) {
          sink.write("start", 5);
          return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1500));
        sink.done();
        return true;
      });
    });
    s.Get("/trickle", [](const Request&, Response& r) {
      // Twelve pieces of 2 KiB, 100 ms apart: longer than a 400 ms time-out
      // in all.
      r.set_chunked_content_provider("application/octet-stream",
                                     [](std::size_t offset, httplib::DataSink& sink) {
        if (offset >= 12 * 2048) {
          sink.done();
          return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        const std::string piece(2048, 'x');
        sink.write(piece.data(), piece.size());
        return true;
      });
    });
    s.Get("/drip", [](const Request&, Response& r) {
      // A byte every 100 ms, up to 50 bytes.
      r.set_chunked_content_provider("application/octet-stream",
                                     [](std::size_t offset, httplib::DataSink& sink) {
        if (offset >= 50) {
          sink.done();
          return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        return sink.write("x", 1);
      });
    });
    // 64 MiB of zeros sent as about 64 KiB of gzip.
    s.Get("/bomb", [](const Request&, Response& r) {
      r.set_header("Content-Encoding", "gzip");
      r.set_content(Compress(std::string(64u << 20, '\0')), "application/octet-stream");
    });
    s.Get("/gzip-cut", [](const Request&, Response& r) {
      // Whole as a transfer, but the gzip data stops halfway.
      r.set_header("Content-Encoding", "gzip");
      const std::string data = Compress(Pattern(100000) + std::string(1, '\x01'));
      r.set_content(data.substr(0, data.size() / 2), "application/octet-stream");
    });
    s.Get("/gzipped", [](const Request&, Response& r) {
      r.set_header("Content-Encoding", "gzip");
      r.set_content(Compress(Pattern(3u << 20)), "application/octet-stream");
    });
    s.Get("/large", [](const Request&, Response& r) {
      r.set_content(Pattern(3u << 20), "application/octet-stream");
    });
  }

  static inline TestServer* server_ = nullptr;
};

}  // namespace leafstash::test
