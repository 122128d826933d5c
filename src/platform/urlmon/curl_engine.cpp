#include "platform/urlmon/curl_engine.h"

#include <QCoreApplication>
#include <QPointer>
#include <QSocketNotifier>
#include <mutex>


namespace leafstash {

// The notifiers of one socket curl watches.
struct CurlEngine::Watch {
  QSocketNotifier* read = nullptr;
  QSocketNotifier* write = nullptr;
};

CurlEngine& CurlEngine::Instance() {
  static QPointer<CurlEngine> engine;
  if (!engine) {
    static std::once_flag global;
    std::call_once(global, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
    engine = new CurlEngine();
    engine->setParent(QCoreApplication::instance());
  }
  return *engine;
}

CurlEngine::CurlEngine() {
  multi_ = curl_multi_init();
  curl_multi_setopt(multi_, CURLMOPT_SOCKETFUNCTION, &CurlEngine::OnSocket);
  curl_multi_setopt(multi_, CURLMOPT_SOCKETDATA, this);
  curl_multi_setopt(multi_, CURLMOPT_TIMERFUNCTION, &CurlEngine::OnTimer);
  curl_multi_setopt(multi_, CURLMOPT_TIMERDATA, this);
  timer_.setSingleShot(true);
  connect(&timer_, &QTimer::timeout, this, [this] { Act(CURL_SOCKET_TIMEOUT, 0); });
}

CurlEngine::~CurlEngine() {
  // An owner may go away when it is dropped: the list is let go of first.
  const auto transfers = std::move(transfers_);
  transfers_.clear();
  for (auto& [easy, owner] : transfers) {
    curl_multi_remove_handle(multi_, easy);
    owner->TransferDropped();
  }
  curl_multi_cleanup(multi_);
}

void CurlEngine::AddTransfer(CURL* Easy, TCurlTransfer* Owner) {
  transfers_[Easy] = Owner;
  curl_multi_add_handle(multi_, Easy);
}

void CurlEngine::RemoveTransfer(CURL* Easy) {
  if (transfers_.erase(Easy)) curl_multi_remove_handle(multi_, Easy);
}

int CurlEngine::OnSocket(CURL*, curl_socket_t Socket, int What, void* EnginePtr, void* InfoPtr) {
  auto* engine = static_cast<CurlEngine*>(EnginePtr);
  auto* watch = static_cast<Watch*>(InfoPtr);
  if (What == CURL_POLL_REMOVE) {
    if (watch) {
      // The notifier may be the one whose signal is being handled.
      for (QSocketNotifier* notifier : {watch->read, watch->write}) {
        if (!notifier) continue;
        notifier->setEnabled(false);
        notifier->deleteLater();
      }
      delete watch;
      curl_multi_assign(engine->multi_, Socket, nullptr);
    }
    return 0;
  }
  if (!watch) {
    watch = new Watch;
    curl_multi_assign(engine->multi_, Socket, watch);
  }
  const auto ensure = [&](QSocketNotifier*& notifier, QSocketNotifier::Type type, int flag,
                          bool wanted) {
    if (wanted && !notifier) {
      notifier = new QSocketNotifier(Socket, type, engine);
      QObject::connect(notifier, &QSocketNotifier::activated, engine,
                       [engine, Socket, flag] { engine->SocketReady(Socket, flag); });
    }
    if (notifier) notifier->setEnabled(wanted);
  };
  ensure(watch->read, QSocketNotifier::Read, CURL_CSELECT_IN,
         What == CURL_POLL_IN || What == CURL_POLL_INOUT);
  ensure(watch->write, QSocketNotifier::Write, CURL_CSELECT_OUT,
         What == CURL_POLL_OUT || What == CURL_POLL_INOUT);
  return 0;
}

int CurlEngine::OnTimer(CURLM*, long Milliseconds, void* EnginePtr) {
  auto* engine = static_cast<CurlEngine*>(EnginePtr);
  if (Milliseconds < 0)
    engine->timer_.stop();
  else
    engine->timer_.start(static_cast<int>(Milliseconds));  // 0: at the next turn of the loop
  return 0;
}

void CurlEngine::SocketReady(curl_socket_t Socket, int Flags) { Act(Socket, Flags); }

void CurlEngine::Act(curl_socket_t Socket, int Flags) {
  int running = 0;
  curl_multi_socket_action(multi_, Socket, Flags, &running);
  CollectFinished();
}

void CurlEngine::CollectFinished() {
  int left = 0;
  while (CURLMsg* message = curl_multi_info_read(multi_, &left)) {
    if (message->msg != CURLMSG_DONE) continue;
    auto it = transfers_.find(message->easy_handle);
    if (it != transfers_.end()) it->second->TransferDone(message->data.result);
  }
}

}  // namespace leafstash
