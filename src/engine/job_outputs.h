// What a job keeps besides its folder: the web archive of its exchanges
// and the one-file copy of the page. Both are named after the page and
// written beside INDEX.HTML once the folder copy is complete; a failure of
// either leaves the folder copy as it is and becomes a line of the job's
// summary.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "archive/web_archive.h"
#include "engine/url_list.h"

namespace leafstash {

struct TJobOutputs {
  // The largest file the one-file copy takes in; larger ones stay web
  // addresses.
  static constexpr std::uint64_t kDefaultInlineLimit = 20ull << 20;

  bool SingleFile = false;
  bool WebArchive = false;
  bool ArchiveCookies = false;  // keep Cookie headers in the archive
  std::uint64_t InlineLimit = kDefaultInlineLimit;
};

// The name both outputs take in Folder: the page's title as the start
// window names a subfolder ("page" when the title gives nothing), made
// different from every file of Table (ASCII case ignored) by a number.
std::string OutputStem(const std::string& Title, const TURLListMan& Table);

class TOutputWriters {
 public:
  TOutputWriters(TJobOutputs Outputs, std::string Folder, std::string PageUrl,
                 std::string PageTitle);
  ~TOutputWriters();

  // Before the downloads: starts the archive and notes the files an
  // earlier job left. A failure is kept for the summary.
  void Begin(const TURLListMan& Table);
  // The recorder of the downloads' exchanges; null without an archive.
  TWebArchive* Archive() const { return archive_.get(); }
  // After the rewrite: names the outputs after the page (after the saved
  // page's own title when the job was given none but its address), writes
  // the one-file copy and gives the archive its pages. Returns a line for
  // each output that has failed.
  std::vector<std::string> FinishInPlace(const TURLListMan& Table);
  // The archive is still to be packed (by FinishArchive).
  bool ArchivePending() const { return archive_ && outputs_.WebArchive && !packed_; }
  // Waits for the archive's records and packs them into its WACZ file: a
  // while for a large job, so a job calls it on a thread of its own.
  // Returns the failure line, or nothing.
  std::string FinishArchive();
  // An aborted job keeps neither.
  void Discard();

  bool SingleFileWritten() const { return singleFileWritten_; }
  bool ArchiveWritten() const { return archiveWritten_; }
  std::string SingleFilePath() const { return folder_ + stem_ + ".html"; }
  std::string ArchivePath() const { return folder_ + stem_ + ".wacz"; }

 private:
  bool WriteSingleFileCopy(const TURLListMan& Table, std::string& Why) const;

  TJobOutputs outputs_;
  std::string folder_, pageUrl_, pageTitle_, stem_;
  std::unique_ptr<TWebArchive> archive_;
  std::string archiveFailure_;
  bool singleFileWritten_ = false;
  bool archiveWritten_ = false;
  bool packed_ = false;  // FinishArchive has run
};

}  // namespace leafstash
