#include "host/client_connection.h"

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

#include "host/host_relay.h"
#include "core/ls_app.h"
#include "host/page_snapshot.h"
#include "core/process_values.h"

namespace leafstash {

TClientConnection::TClientConnection(int Fd, QObject* Parent)
    : QObject(Parent), fd_(Fd), notifier_(Fd, QSocketNotifier::Read) {
  ::fcntl(fd_, F_SETFL, ::fcntl(fd_, F_GETFL) | O_NONBLOCK);
  connect(&notifier_, &QSocketNotifier::activated, this, &TClientConnection::ReadAvailable);
}

TClientConnection::~TClientConnection() {
  if (fd_ >= 0) ::close(fd_);
}

std::string TClientConnection::Serve(const std::string& Request) {
  TComServer& server = ComServer();
  if (server.ClassObjectUsed) return EncodeAnswer(E_UNEXPECTED, kOnePagePerStart);
  TSnapshot snapshot;
  try {
    snapshot = ReadSnapshot(Request);
  } catch (const SnapshotError& e) {
    return EncodeAnswer(E_INVALIDARG, e.what());
  }
  // What the browser handed over besides the window waits for the job.
  Process().Handover = std::move(snapshot.Handover);
  object_ = server.CreateObject();
  const HRESULT status = object_->Start(snapshot.Window);
  return EncodeAnswer(status, SUCCEEDED(status) ? "" : object_->ErrorText());
}

void TClientConnection::ReadAvailable() {
  char chunk[1 << 16];
  bool atEnd = false;
  while (true) {
    const ssize_t got = ::read(fd_, chunk, sizeof chunk);
    if (got > 0) {
      reader_.Feed(chunk, static_cast<std::size_t>(got));
      continue;
    }
    if (got < 0 && errno == EINTR) continue;
    atEnd = got == 0 || (errno != EAGAIN && errno != EWOULDBLOCK);
    break;
  }
  // Start may run for a while; the connection waits meanwhile.
  notifier_.setEnabled(false);
  std::string request;
  TFrameStatus status;
  while ((status = reader_.Next(request, atEnd)) == TFrameStatus::Message) {
    if (!WriteAll(fd_, FrameMessage(Serve(request)))) {
      atEnd = true;
      break;
    }
  }
  if (atEnd || status != TFrameStatus::Pending) {
    Closed();
    return;
  }
  notifier_.setEnabled(true);
}

void TClientConnection::Closed() {
  notifier_.setEnabled(false);
  ::close(fd_);
  fd_ = -1;
  TComServer& server = ComServer();
  if (TLSApp* object = object_) {
    object_ = nullptr;
    object->Release();
  } else if (server.ObjectCount == 0 && server.EndProcess) {
    server.EndProcess();
  }
}

}  // namespace leafstash
