// The web archive of a job: every HTTP exchange its downloads make, as the
// request went out and the response came in, and the documents the browser
// handed over, kept as WARC records and packed at the end into a WACZ file
// with its index, its list of pages and its digests. Records are written
// by a thread of their own while the job goes on; bodies wait on disk, not
// in memory.
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "platform/urlmon/exchange_tap.h"

namespace leafstash {

struct TWebArchiveOptions {
  std::string Folder;    // where its work files go, ending in "/"
  std::string Software;  // the program and its version
  std::string Title;     // the page's title
  // Cookie headers stay in the records (left out by default: an archive is
  // shared more often than a folder).
  bool KeepCookies = false;
};

class TWebArchive final : public TExchangeRecorder {
 public:
  // Starts the archive's work file in the folder; nullptr with the reason
  // in Why when it cannot be made.
  static std::unique_ptr<TWebArchive> Begin(TWebArchiveOptions Options, std::string& Why);
  // An archive not finished leaves nothing behind.
  ~TWebArchive() override;

  std::unique_ptr<TExchangeTap> Open(const std::string& Url) override;
  // A document the browser handed over, as a resource record of its address.
  void AddResource(const std::string& Url, const std::string& ContentType,
                   std::string_view Content);
  // A page the archive lists for replay: the page itself, then the linked
  // pages taken along.
  void AddPage(const std::string& Url, const std::string& Title);
  // A file an earlier job left and this one kept without fetching it.
  void AddReused(const std::string& Url);
  // Writes the records still waiting and the WACZ file at Path; false
  // with the reason in Why, and then no file is left under that name.
  bool Finish(const std::string& Path, std::string& Why);

  // Gives the archive up: nothing more is recorded or written, and the
  // records waiting are dropped. Downloads that still hold the archive as
  // their recorder get no more taps from it.
  void Abandon();

  const TWebArchiveOptions& Options() const;

  struct TState;

 private:
  explicit TWebArchive(std::shared_ptr<TState> State);
  std::shared_ptr<TState> state_;
};

}  // namespace leafstash
