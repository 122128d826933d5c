// libcurl's multi-socket interface driven by the Qt event loop: socket
// notifiers for the sockets curl watches and one timer for curl's timeout.
// curl is only called from event-loop handlers, never from its callbacks.
#pragma once

#include <QObject>
#include <QTimer>
#include <curl/curl.h>
#include <unordered_map>

namespace leafstash {

class BindOperation;

class CurlEngine : public QObject {
 public:
  // The engine of the process, made with the application as its parent.
  static CurlEngine& Instance();
  ~CurlEngine() override;

  // Starts and ends the transfer of an easy handle owned by Operation.
  void AddTransfer(CURL* Easy, BindOperation* Operation);
  void RemoveTransfer(CURL* Easy);

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
  std::unordered_map<CURL*, BindOperation*> transfers_;
};

}  // namespace leafstash
