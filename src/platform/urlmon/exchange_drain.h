// The rest of an answer that a bind no longer wants (a redirection it
// follows, a refusal its callback turned down), read only for the record
// of the exchange: the transfer and the tap are handed over, the body goes
// to the tap as it comes, and the drain ends itself when the body is over,
// past a size or a time limit, or when the engine goes.
#pragma once

#include <QTimer>
#include <curl/curl.h>
#include <memory>

#include "platform/urlmon/curl_engine.h"
#include "platform/urlmon/exchange_tap.h"

namespace leafstash {

class TExchangeDrain final : public TCurlTransfer {
 public:
  // The most of a body read this way, and for how long.
  static constexpr std::uint64_t kMaxBytes = 1u << 20;
  static constexpr int kMaxMs = 10000;

  // Takes over Easy (running, perhaps paused, in the engine) with its
  // header list, and Tap; the drain owns itself from here.
  static void Start(CURL* Easy, curl_slist* Headers, std::unique_ptr<TExchangeTap> Tap);

  void TransferDone(CURLcode Result) override;
  void TransferDropped() override;

 private:
  TExchangeDrain(CURL* Easy, curl_slist* Headers, std::unique_ptr<TExchangeTap> Tap);
  ~TExchangeDrain() override;
  static std::size_t OnBody(char* Data, std::size_t Size, std::size_t Count, void* Self);
  static std::size_t OnHeader(char*, std::size_t Size, std::size_t Count, void*) { return Size * Count; }
  // Ends the drain from the event loop, once: the tap learns whether the
  // whole body came, and the drain goes.
  void Finish(bool Complete);

  CURL* easy_;
  curl_slist* headers_;
  std::unique_ptr<TExchangeTap> tap_;
  std::uint64_t read_ = 0;
  bool finishing_ = false;
  bool complete_ = false;
  QTimer limit_;
};

}  // namespace leafstash
