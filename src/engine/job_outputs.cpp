#include "engine/job_outputs.h"

#include <algorithm>

#include "engine/single_file.h"
#include "html/page_refs.h"
#include "html/text_utils.h"
#include "html/url_utils.h"
#include "platform/files/file_utils.h"

#ifndef LEAFSTASH_VERSION
#define LEAFSTASH_VERSION "0"
#endif

namespace leafstash {
namespace {

// The text of the page's <title>, its references decoded and its blanks
// run together.
std::string TitleOfPage(std::string_view Html) {
  const std::string lower = LowerCopy(Html.substr(0, std::min<std::size_t>(Html.size(), 64u << 10)));
  const std::size_t open = lower.find("<title");
  if (open == std::string::npos) return {};
  const std::size_t start = lower.find('>', open);
  const std::size_t end = start == std::string::npos ? start : lower.find("</title", start);
  if (end == std::string::npos) return {};
  std::string title;
  for (const char c : DecodeRefText(Html.substr(start + 1, end - start - 1), TRefContext::HtmlAttribute)) {
    const bool blank = c == ' ' || c == '\t' || c == '\n' || c == '\r';
    if (blank && (title.empty() || title.back() == ' ')) continue;
    title += blank ? ' ' : c;
  }
  return std::string(TrimView(title));
}

}  // namespace

std::string OutputStem(const std::string& Title, const TURLListMan& Table) {
  std::string stem(TrimView(TitleToFolderName(Title)));
  if (stem.empty()) stem = "page";
  std::string name = stem;
  for (int n = 2; Table.FindByLocalName(name + ".html") || Table.FindByLocalName(name + ".wacz");
       ++n)
    name = stem + " (" + std::to_string(n) + ")";
  return name;
}

TOutputWriters::TOutputWriters(TJobOutputs Outputs, std::string Folder, std::string PageUrl,
                               std::string PageTitle)
    : outputs_(Outputs),
      folder_(std::move(Folder)),
      pageUrl_(std::move(PageUrl)),
      pageTitle_(std::move(PageTitle)) {}

TOutputWriters::~TOutputWriters() = default;

void TOutputWriters::Begin(const TURLListMan& Table) {
  if (!outputs_.WebArchive) return;
  TWebArchiveOptions options;
  options.Folder = folder_;
  options.Software = std::string("Leafstash ") + LEAFSTASH_VERSION;
  options.Title = pageTitle_;
  options.KeepCookies = outputs_.ArchiveCookies;
  std::string why;
  archive_ = TWebArchive::Begin(std::move(options), why);
  if (!archive_) archiveFailure_ = why;
  // What the earlier job left is kept, not fetched: the archive says so.
  if (archive_)
    for (std::size_t i = 0; i < Table.Count(); ++i)
      if (Table.Item(i).State == TURLState::Done) archive_->AddReused(Table.Item(i).EntryURL);
}

// The archive object stays until the writers go (after the job's
// downloads): a download still running may hold it as its recorder.
void TOutputWriters::Discard() {
  if (archive_) archive_->Abandon();
}

std::vector<std::string> TOutputWriters::FinishInPlace(const TURLListMan& Table) {
  std::vector<std::string> failures;
  // The command line knows no title but the address: the saved page's own
  // title, if any, names the outputs then.
  std::string title = pageTitle_ == pageUrl_ ? std::string() : pageTitle_;
  if (const auto page = Table.PageEntry(); title.empty() && page)
    if (const auto saved = ReadFileNoFollow(folder_ + Table.Item(*page).LocalName))
      title = TitleOfPage(*saved);
  stem_ = OutputStem(title, Table);
  std::string why;
  if (outputs_.SingleFile) {
    singleFileWritten_ = WriteSingleFileCopy(Table, why);
    if (!singleFileWritten_)
      failures.push_back(SingleFilePath() + " (the one-file copy): " + why);
  }
  if (outputs_.WebArchive) {
    if (archive_) {
      // Under the address the archive recorded it at.
      const auto page = Table.PageEntry();
      const std::string address = page ? Table.Item(*page).EntryURL : pageUrl_;
      archive_->AddPage(address, title.empty() ? address : title);
      for (std::size_t i = 0; i < Table.Count(); ++i) {
        const TURLEntry& entry = Table.Item(i);
        if (!Table.IsNavigation(i) || Table.PageEntry() == i) continue;
        std::string linkedTitle;
        if (entry.State == TURLState::Done)
          if (const auto saved = ReadFileNoFollow(folder_ + entry.LocalName))
            linkedTitle = TitleOfPage(*saved);
        if (linkedTitle.empty()) linkedTitle = entry.LinkTitle.empty() ? entry.EntryURL : entry.LinkTitle;
        archive_->AddPage(entry.EntryURL, linkedTitle);
      }
    } else {
      failures.push_back(ArchivePath() + " (the web archive): " + archiveFailure_);
    }
  }
  return failures;
}

std::string TOutputWriters::FinishArchive() {
  if (!archive_ || packed_) return {};
  packed_ = true;
  std::string why;
  archiveWritten_ = archive_->Finish(ArchivePath(), why);
  return archiveWritten_ ? std::string() : ArchivePath() + " (the web archive): " + why;
}

bool TOutputWriters::WriteSingleFileCopy(const TURLListMan& Table, std::string& Why) const {
  const auto page = Table.PageEntry();
  if (!page || Table.Item(*page).State != TURLState::Done) {
    Why = "the page itself was not saved";
    return false;
  }
  const auto lookup = [&](std::string_view Link) -> std::optional<TSavedFile> {
    const std::optional<std::size_t> index = Table.FindByLocalName(DecodePercent(Link));
    if (!index) return std::nullopt;
    const TURLEntry& entry = Table.Item(*index);
    TSavedFile file;
    file.WebAddress = WithoutCredentials(entry.ActualURL.empty() ? entry.EntryURL : entry.ActualURL);
    if (entry.State == TURLState::Done && !Table.IsNavigation(*index)) {
      file.Path = folder_ + entry.LocalName;
      file.Type = TypeOfFileName(entry.LocalName);
    }
    return file;
  };
  return WriteSingleFile(folder_ + Table.Item(*page).LocalName, SingleFilePath(), lookup,
                         outputs_.InlineLimit, Why);
}

}  // namespace leafstash
