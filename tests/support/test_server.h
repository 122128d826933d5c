// An HTTP server on 127.0.0.1 in the test process, on a thread of its own;
// routes are set up before Start. Requests are recorded for the tests.
#pragma once

#include <httplib.h>

#include <atomic>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace leafstash::test {

// Answers Body only to the user "ann" with the password "pw" (Basic);
// anyone else gets a 401 that asks for them.
inline void AnswerOnlyAnn(const httplib::Request& Q, httplib::Response& R,
                          const std::string& Body, const char* Type) {
  if (Q.get_header_value("Authorization") == "Basic YW5uOnB3") {
    R.set_content(Body, Type);
  } else {
    R.status = 401;
    R.set_header("WWW-Authenticate", "Basic realm=\"x\"");
  }
}

struct RecordedRequest {
  std::string method, path, body;
  httplib::Headers headers;
  std::string Header(const std::string& Name) const {
    auto it = headers.find(Name);
    return it == headers.end() ? std::string() : it->second;
  }
};

template <typename ServerType = httplib::Server>
class BasicTestServer {
 public:
  template <typename... Args>
  explicit BasicTestServer(Args&&... ServerArgs) : server_(std::forward<Args>(ServerArgs)...) {
    server_.new_task_queue = [] { return new httplib::ThreadPool(64); };
    server_.set_tcp_nodelay(true);
    // Idle connections close soon, so that stopping the server is quick.
    server_.set_keep_alive_timeout(1);
    // Requests are listed in the order they arrive; the body, read later,
    // is filled in once the answer has gone out.
    server_.set_pre_routing_handler([this](const httplib::Request& req, httplib::Response&) {
      std::lock_guard<std::mutex> lock(mutex_);
      arrived_[&req] = requests_.size();
      requests_.push_back({req.method, req.path, {}, req.headers});
      return httplib::Server::HandlerResponse::Unhandled;
    });
    server_.set_logger([this](const httplib::Request& req, const httplib::Response&) {
      std::lock_guard<std::mutex> lock(mutex_);
      auto it = arrived_.find(&req);
      if (it == arrived_.end()) {
        requests_.push_back({req.method, req.path, req.body, req.headers});
        return;
      }
      if (it->second != kNotListed) requests_[it->second].body = req.body;
      arrived_.erase(it);
    });
  }
  ~BasicTestServer() { Stop(); }

  ServerType& Routes() { return server_; }

  void Start() {
    port_ = server_.bind_to_any_port("127.0.0.1");
    thread_ = std::thread([this] { server_.listen_after_bind(); });
    while (!server_.is_running()) std::this_thread::yield();
  }
  void Stop() {
    if (thread_.joinable()) {
      server_.stop();
      thread_.join();
    }
  }

  int Port() const { return port_; }
  std::string Url(const std::string& Path, const std::string& Scheme = "http") const {
    return Scheme + "://127.0.0.1:" + std::to_string(port_) + Path;
  }

  std::vector<RecordedRequest> Requests() {
    std::lock_guard<std::mutex> lock(mutex_);
    return requests_;
  }
  void ClearRequests() {
    std::lock_guard<std::mutex> lock(mutex_);
    requests_.clear();
    // Requests still being answered belong to the earlier list.
    for (auto& [request, index] : arrived_) index = kNotListed;
  }

 private:
  ServerType server_;
  std::thread thread_;
  int port_ = 0;
  std::mutex mutex_;
  std::vector<RecordedRequest> requests_;
  static constexpr std::size_t kNotListed = static_cast<std::size_t>(-1);
  std::map<const httplib::Request*, std::size_t> arrived_;
};

using TestServer = BasicTestServer<httplib::Server>;

}  // namespace leafstash::test
