#include "platform/urlmon/exchange_drain.h"

namespace leafstash {

void TExchangeDrain::Start(CURL* Easy, curl_slist* Headers, std::unique_ptr<TExchangeTap> Tap) {
  new TExchangeDrain(Easy, Headers, std::move(Tap));
}

TExchangeDrain::TExchangeDrain(CURL* Easy, curl_slist* Headers, std::unique_ptr<TExchangeTap> Tap)
    : easy_(Easy), headers_(Headers), tap_(std::move(Tap)) {
  curl_easy_setopt(easy_, CURLOPT_VERBOSE, 0L);
  curl_easy_setopt(easy_, CURLOPT_HEADERFUNCTION, &TExchangeDrain::OnHeader);
  curl_easy_setopt(easy_, CURLOPT_HEADERDATA, this);
  curl_easy_setopt(easy_, CURLOPT_WRITEFUNCTION, &TExchangeDrain::OnBody);
  curl_easy_setopt(easy_, CURLOPT_WRITEDATA, this);
  curl_easy_setopt(easy_, CURLOPT_PRIVATE, nullptr);
  CurlEngine::Instance().HandOver(easy_, this);
  limit_.setSingleShot(true);
  QObject::connect(&limit_, &QTimer::timeout, [this] { Finish(false); });
  limit_.start(kMaxMs);
  // The bind may have paused it while the answer was judged.
  curl_easy_pause(easy_, CURLPAUSE_CONT);
}

TExchangeDrain::~TExchangeDrain() {
  if (easy_) {
    CurlEngine::Instance().RemoveTransfer(easy_);
    curl_easy_cleanup(easy_);
  }
  curl_slist_free_all(headers_);
}

std::size_t TExchangeDrain::OnBody(char* Data, std::size_t Size, std::size_t Count, void* Self) {
  auto* drain = static_cast<TExchangeDrain*>(Self);
  const std::size_t n = Size * Count;
  if (drain->finishing_ || drain->read_ + n > kMaxBytes) {
    // Enough: the transfer fails here and the drain ends from the engine.
    return CURL_WRITEFUNC_ERROR;
  }
  drain->read_ += n;
  drain->tap_->ResponseData(Data, n);
  return n;
}

void TExchangeDrain::TransferDone(CURLcode Result) { Finish(Result == CURLE_OK); }

void TExchangeDrain::TransferDropped() {
  // The engine is going away with its handles, and with what it would
  // have run later.
  easy_ = nullptr;
  if (!finishing_) tap_->Ended(false);
  delete this;
}

void TExchangeDrain::Finish(bool Complete) {
  if (finishing_) return;
  finishing_ = true;
  complete_ = Complete;
  limit_.stop();
  // Not from inside the engine's collection nor the timer's signal.
  QTimer::singleShot(0, &CurlEngine::Instance(), [this] {
    tap_->Ended(complete_);
    delete this;
  });
}

}  // namespace leafstash
