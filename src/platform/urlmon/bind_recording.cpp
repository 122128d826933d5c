// The record of a bind's exchanges: the tap of each request, fed the
// request as curl sends it, and ended (or handed to a drain) with the
// transfer.
#include "platform/urlmon/bind_operation.h"
#include "platform/urlmon/exchange_drain.h"

namespace leafstash {

void BindOperation::OpenTap(const std::string& RequestUrl) {
  if (!recorder_) return;
  tap_ = recorder_->Open(RequestUrl);
  if (!tap_) return;
  tapUrl_ = RequestUrl;
  sentHead_.clear();
  tapResponded_ = false;
  // The request as sent comes only through curl's debug channel.
  curl_easy_setopt(easy_, CURLOPT_DEBUGFUNCTION, &BindOperation::OnDebug);
  curl_easy_setopt(easy_, CURLOPT_DEBUGDATA, this);
  curl_easy_setopt(easy_, CURLOPT_VERBOSE, 1L);
}

int BindOperation::OnDebug(CURL*, curl_infotype Type, char* Data, std::size_t Size, void* Self) {
  auto* op = static_cast<BindOperation*>(Self);
  if (Type != CURLINFO_HEADER_OUT || !op->tap_ || op->aborted_) return 0;
  if (op->tapResponded_) {
    // curl asks again inside the same transfer (an authentication
    // handshake): the answer before is an exchange of its own.
    op->tap_->Ended(true);
    op->tap_ = op->recorder_->Open(op->tapUrl_);
    op->tapResponded_ = false;
    if (!op->tap_) return 0;
  }
  op->sentHead_.append(Data, Size);
  if (op->sentHead_.size() >= 4 && op->sentHead_.compare(op->sentHead_.size() - 4, 4, "\r\n\r\n") == 0) {
    op->tap_->RequestSent(op->sentHead_, op->body_);
    op->sentHead_.clear();
  }
  return 0;
}

void BindOperation::EndTap() {
  if (tap_ && easy_ && tapResponded_ && !transferDone_ && !aborted_ && body_.empty() &&
      status_ >= 300 && contentLength_ <= TExchangeDrain::kMaxBytes) {
    // A redirection followed or an answer turned down: the record of the
    // exchange still gets the body the server sent, read on its own.
    TExchangeDrain::Start(easy_, headerList_, std::move(tap_));
    easy_ = nullptr;
    headerList_ = nullptr;
  }
  if (tap_) {
    const auto tap = std::move(tap_);
    tap->Ended(transferDone_ && transferResult_ == CURLE_OK);
  }
}

}  // namespace leafstash
