#include "engine/job_outputs.h"

#include <cerrno>
#include <algorithm>
#include <cstring>

#include "engine/single_file.h"
#include "html/page_refs.h"
#include "html/text_utils.h"
#include "platform/files/file_utils.h"
#include "html/url_utils.h"

#ifndef LEAFSTASH_VERSION
#define LEAFSTASH_VERSION "0"
#endif

namespace leafstash {
namespace {

bool NameTaken(const TURLListMan& Table, const std::string& Name) {
  return Table.FindByLocalName(Name).has_value();
}

// Percent escapes decoded: a local link back to the file name it stands for.
std::string Unescape(std::string_view Link) {
  std::string out;
  for (std::size_t i = 0; i < Link.size(); ++i) {
    const auto hex = [](char c) {
      return c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10
                                            : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                                                   : -1;
    };
    if (Link[i] == '%' && i + 2 < Link.size() + 0 && hex(Link[i + 1]) >= 0 && hex(Link[i + 2]) >= 0) {
      out += static_cast<char>(hex(Link[i + 1]) * 16 + hex(Link[i + 2]));
      i += 2;
    } else {
      out += Link[i];
    }
  }
  return out;
}

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
  for (int n = 2; NameTaken(Table, name + ".html") || NameTaken(Table, name + ".wacz"); ++n)
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

void TOutputWriters::Discard() { archive_.reset(); }

std::vector<std::string> TOutputWriters::FinishInPlace(const TURLListMan& Table) {
  std::vector<std::string> failures;
  std::string title = pageTitle_;
  if (const auto page = Table.PageEntry(); (title.empty() || title == pageUrl_) && page)
    if (const auto saved = ReadFileNoFollow(folder_ + Table.Item(*page).LocalName))
      title = TitleOfPage(*saved);
  if (title.empty()) title = pageTitle_;
  stem_ = OutputStem(title, Table);
  std::string why;
  if (outputs_.SingleFile) {
    singleFileWritten_ = WriteSingleFileCopy(Table, why);
    if (!singleFileWritten_)
      failures.push_back(SingleFilePath() + " (the one-file copy): " + why);
  }
  if (outputs_.WebArchive) {
    if (archive_) {
      archive_->AddPage(pageUrl_, title);
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
  if (!archive_) return {};
  std::string why;
  archiveWritten_ = archive_->Finish(ArchivePath(), why);
  archive_.reset();
  return archiveWritten_ ? std::string() : ArchivePath() + " (the web archive): " + why;
}

bool TOutputWriters::WriteSingleFileCopy(const TURLListMan& Table, std::string& Why) const {
  const auto page = Table.PageEntry();
  if (!page || Table.Item(*page).State != TURLState::Done) {
    Why = "the page itself was not saved";
    return false;
  }
  const auto lookup = [&](std::string_view Link) -> std::optional<TSavedFile> {
    const std::optional<std::size_t> index = Table.FindByLocalName(Unescape(Link));
    if (!index) return std::nullopt;
    const TURLEntry& entry = Table.Item(*index);
    TSavedFile file;
    file.WebAddress = entry.ActualURL.empty() ? entry.EntryURL : entry.ActualURL;
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
