// What a bind shows of each HTTP exchange it makes, for a record of the
// job's traffic: the request as it went out and the response as it came
// in, before any decoding. A bind asks its callback for a recorder
// (IExchangeRecording); without one nothing is shown.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

#include "platform/com.h"

namespace leafstash {

// One exchange, from the request to the end of its response. Every call is
// made on the thread of the event loop, in this order: RequestSent,
// ResponseBegan, ResponseData for each block, Ended (which also comes when
// no response came).
class TExchangeTap {
 public:
  virtual ~TExchangeTap() = default;
  // The request line and headers as sent (ending in the blank line), and
  // the request's body.
  virtual void RequestSent(std::string_view Head, std::string_view Body) = 0;
  // The final response's status line and headers as received (ending in
  // the blank line), and the address of the server that answered.
  virtual void ResponseBegan(std::string_view Head, std::string_view IpAddress) = 0;
  // Body bytes as they came over the wire: content coding kept.
  virtual void ResponseData(const char* Data, std::size_t Size) = 0;
  // The exchange is over; Complete: the whole body came.
  virtual void Ended(bool Complete) = 0;
};

class TExchangeRecorder {
 public:
  virtual ~TExchangeRecorder() = default;
  // A tap for an exchange with Url that is about to begin.
  virtual std::unique_ptr<TExchangeTap> Open(const std::string& Url) = 0;
};

// Our own interface: a bind-status callback that wants the exchanges of its
// bind recorded.
inline constexpr IID IID_IExchangeRecording = {
    0x3D8F2B61, 0x7A1C, 0x4E55, {0xB2, 0x0E, 0x91, 0x6A, 0x4C, 0x33, 0xD8, 0x17}};

class IExchangeRecording : public IUnknown {
 public:
  virtual TExchangeRecorder* ExchangeRecorder() = 0;
};

}  // namespace leafstash
