// libcurl's multi-socket interface driven by the Qt event loop: socket
// notifiers for the sockets curl watches and one timer for curl's timeout.
// curl is only called from event-loop handlers, never from its callbacks.
#pragma once

#include <QObject>
#include <QTimer>
#include <curl/curl.h>
#include <unordered_map>

namespace leafstash {

// Whoever owns an easy handle the engine runs: told when its transfer is
// over, or when the engine goes away with it.
class TCurlTransfer {
 public:
  virtual ~TCurlTransfer() = default;
  virtual void TransferDone(CURLcode Result) = 0;
  virtual void TransferDropped() = 0;
};

class CurlEngine : public QObject {
 public:
  // The engine of the process, made with the application as its parent.
  static CurlEngine& Instance();
  ~CurlEngine() override;

  // Starts and ends the transfer of an easy handle owned by Owner.
  void AddTransfer(CURL* Easy, TCurlTransfer* Owner);
  void RemoveTransfer(CURL* Easy);
  // The running transfer of Easy goes on for another owner.
  void HandOver(CURL* Easy, TCurlTransfer* Owner) { transfers_[Easy] = Owner; }

 private:
  CurlEngine();
  static int OnSocket(CURL* Easy, curl_socket_t Socket, int What, void* Engine, void* Info);
  static int OnTimer(CURLM* Multi, long Milliseconds, void* Engine);
  void SocketReady(curl_socket_t Socket, int Flags);
  void Act(curl_socket_t Socket, int Flags);
  void CollectFinished();

  struct Watch;
  CURLM* multi_ = nullptr;
  QTimer timer_;
  std::unordered_map<CURL*, TCurlTransfer*> transfers_;
};

}  // namespace leafstash
