// The URL table of one save job: which addresses are admitted, the unique
// local file name of each, the browser page with its frames, and the job
// log that a later job into the same folder reuses.
#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "engine/entry_index.h"
#include "engine/url_entry.h"

namespace leafstash {

class TURLListMan {
 public:
  // Reads the filter words of the stored filter text.
  TURLListMan();
  // Writes the job log (when there is a destination); a failure goes to the
  // process's error report.
  ~TURLListMan();
  TURLListMan(const TURLListMan&) = delete;
  TURLListMan& operator=(const TURLListMan&) = delete;

  // Admits one address: the fragment is cut, the rest resolved against
  // Base; an empty LocalName is made from the address's last segment.
  // Returns whether the address was appended.
  bool Add(std::string_view Address, std::string_view Base, std::string_view Title,
           std::string_view LocalName, TURLKind Kind, TURLState State);
  // The admission test of Add, for an absolute address.
  bool Accepts(std::string_view Address, std::string_view Base, TURLKind Kind) const;
  // A local name from a last segment, unique in the table (ASCII case
  // ignored). Self is an entry being renamed: its own name is not taken.
  std::string MakeLocalName(std::string_view Segment,
                            std::optional<std::size_t> Self = std::nullopt);
  void LoadFilterWords();
  // Enters the browser page as INDEX.HTML and its frames; with SkipExisting
  // first takes over what the earlier job in the folder finished.
  void AddPageAndFrames();

  // The entry of the browser page (PageURL), when the table holds it.
  std::optional<std::size_t> PageEntry() const;
  // A page the browser page links to, taken along: opened as a browser
  // opens a link, not loaded as a page loads its pictures.
  void MarkLinkedPage(std::string_view Address);
  // The page itself or a linked page.
  bool IsNavigation(std::size_t Index) const;
  std::optional<std::size_t> FindFirstInState(TURLState State) const;
  std::optional<std::size_t> FindByURL(std::string_view Address) const;
  // The entry whose local name is Name, ASCII case ignored.
  std::optional<std::size_t> FindByLocalName(std::string_view Name) const {
    return FindName(Name, 0, std::nullopt);
  }
  std::size_t CountTopLevel() const { return topLevel_; }
  std::size_t CountInState(TURLState State) const {
    return stateCount_[static_cast<std::size_t>(State)];
  }
  std::size_t Count() const { return entries_.size(); }
  const TURLEntry& Item(std::size_t Index) const { return entries_.at(Index); }

  // Changes of existing entries, made by the download driver and the link
  // rewriter.
  void SetState(std::size_t Index, TURLState State);
  void SetKind(std::size_t Index, TURLKind Kind) {
    entries_.at(Index).Kind = Kind;
    Journal(Index);
  }
  void SetActualURL(std::size_t Index, std::string Address) {
    entries_.at(Index).ActualURL = std::move(Address);
    Journal(Index);
  }
  void SetResponseCode(std::size_t Index, std::int32_t Code) {
    entries_.at(Index).ResponseCode = Code;
    Journal(Index);
  }
  // Gives the entry a new local name, made unique by MakeLocalName.
  void Rename(std::size_t Index, std::string_view Segment);
  // Renames the entry to its name followed by Extension; a long name is cut
  // before the extension, so the extension stays.
  void AddExtension(std::size_t Index, std::string_view Extension);

  // The job log, lfsta4.log in the destination folder. SaveLog and LoadLog
  // throw TFileError when the file cannot be written or read.
  void SaveLog() const;
  // The table goes without writing a log (the earlier one is kept).
  void DiscardLog() { discardLog_ = true; }
  void LoadLog();
  // Keeps the job log current while the job runs: writes the whole table
  // now, then each record again in place as its entry changes or is added,
  // so that a job that is killed leaves a log of what it had finished.
  // Throws TFileError when the log cannot be written.
  void KeepLogCurrent();
  void RestoreFromLog();
  // Takes over what an earlier job's saved page or style sheet refers to.
  void RescanSavedPage(const TURLEntry& Record);
  // A page or style sheet taken over from the earlier job whose absolute
  // references are to be made local once the downloads are over.
  bool RewritesAbsoluteOnly(std::size_t Index) const { return absoluteRewrites_.count(Index) != 0; }
  // The first earlier record of Address.
  const TURLEntry* FindLogRecordByURL(std::string_view Address) const;
  // The first earlier record whose local name is Value, or is Value with
  // its percent escapes decoded.
  const TURLEntry* FindLogRecordByLocalName(std::string_view Value) const;

  const std::vector<std::string>& FilterWords() const { return filterWords_; }
  std::int32_t NameCounter() const { return nameCounter_; }

  std::string ScanPageURL;
  std::vector<TURLEntry> EarlierRecords;

 private:
  // The entry at or after From whose name is Name (ASCII case ignored),
  // other than Self; names are unique, so there is at most one.
  std::optional<std::size_t> FindName(std::string_view Name, std::size_t From,
                                      std::optional<std::size_t> Self) const;
  bool NameTaken(std::string_view Name, std::optional<std::size_t> Self) const;
  // Writes the record of entry Index in place while the log is kept
  // current.
  void Journal(std::size_t Index);
  void CloseJournal();
  // True when the earlier record's file is still in the destination folder.
  bool RecordFilePresent(const TURLEntry& Record) const;

  std::vector<TURLEntry> entries_;
  std::vector<std::string> filterWords_;
  std::int32_t nameCounter_ = 0;
  TEntryIndex byURL_{entries_, &TURLEntry::EntryURL, false};
  TEntryIndex byName_{entries_, &TURLEntry::LocalName, true};
  std::array<std::size_t, kStateCount> stateCount_{};
  // No entry before this index is in the state; lets FindFirstInState go on
  // where it stopped.
  mutable std::array<std::size_t, kStateCount> firstInState_{};
  std::size_t topLevel_ = 0;
  std::unordered_set<std::size_t> absoluteRewrites_;
  std::unordered_set<std::size_t> linkedPages_;
  bool discardLog_ = false;
  int journal_ = -1;  // the open job log while it is kept current
};

}  // namespace leafstash
