// The program's end of a browser's connection, left to it by the native
// messaging host (host_relay.h). The first request, a page snapshot, creates
// LSApp and calls Start with the window built from it; the answer carries
// Start's result. Later requests are refused: the class object is
// single-use. The end of the connection is the client releasing its
// reference; a client that never asked leaves nothing to wait for, so the
// process ends.
#pragma once

#include <QObject>
#include <QSocketNotifier>
#include <string>

#include "host/framing.h"

namespace leafstash {

class TLSApp;

class TClientConnection : public QObject {
 public:
  // Takes over Fd and serves it from the event loop.
  explicit TClientConnection(int Fd, QObject* Parent = nullptr);
  ~TClientConnection() override;

  // The answer to one request (also what a test can call directly).
  std::string Serve(const std::string& Request);

 private:
  void ReadAvailable();
  void Closed();

  int fd_;
  QSocketNotifier notifier_;
  TFrameReader reader_;
  TLSApp* object_ = nullptr;  // the client's reference, while it holds it
};

}  // namespace leafstash
