// The job log of a URL table and the reuse of an earlier job's files.
#include <cerrno>
#include <unistd.h>
#include <vector>

#include "platform/files/file_utils.h"
#include "core/process_values.h"
#include "html/page_refs.h"
#include "engine/page_text.h"
#include "html/text_utils.h"
#include "engine/url_list.h"
#include "html/url_utils.h"

namespace leafstash {
namespace {

constexpr const char* kLogFile = "lfsta4.log";

bool IsStyleSheetName(std::string_view Name) {
  return Name.size() > 4 && SameTextAscii(Name.substr(Name.size() - 4), ".css");
}

std::string EncodeLog(const std::vector<TURLEntry>& Entries) {
  std::string data(Entries.size() * kLogRecordSize, '\0');
  for (std::size_t i = 0; i < Entries.size(); ++i)
    EncodeLogRecord(Entries[i], reinterpret_cast<unsigned char*>(data.data() + i * kLogRecordSize));
  return data;
}

}  // namespace

void TURLListMan::SaveLog() const {
  const std::string& dest = Process().DestPath;
  if (dest.empty()) return;  // no job was set up: nothing to record
  WriteFileAtomically(dest + kLogFile, EncodeLog(entries_));
}

void TURLListMan::KeepLogCurrent() {
  CloseJournal();
  const std::string& dest = Process().DestPath;
  if (dest.empty()) return;
  journal_ = WriteFileAtomicallyKeepOpen(dest + kLogFile, EncodeLog(entries_));
}

// Records are written whole with one call each, at their place in the
// table's order; a record that cannot be written ends the journal (the
// log written at the end of the job reports the error).
void TURLListMan::Journal(std::size_t Index) {
  if (journal_ < 0) return;
  unsigned char record[kLogRecordSize];
  EncodeLogRecord(entries_[Index], record);
  const off_t at = static_cast<off_t>(Index) * static_cast<off_t>(kLogRecordSize);
  ssize_t put;
  do put = ::pwrite(journal_, record, kLogRecordSize, at);
  while (put < 0 && errno == EINTR);
  if (put != static_cast<ssize_t>(kLogRecordSize)) CloseJournal();
}

void TURLListMan::CloseJournal() {
  if (journal_ >= 0) ::close(journal_);
  journal_ = -1;
}

void TURLListMan::LoadLog() {
  const std::optional<std::string> data = ReadFileNoFollow(Process().DestPath + kLogFile);
  if (!data) return;
  EarlierRecords.clear();
  // Whole records only; a record that cannot be trusted is left out.
  for (std::size_t at = 0; at + kLogRecordSize <= data->size(); at += kLogRecordSize) {
    if (auto record = DecodeLogRecord(reinterpret_cast<const unsigned char*>(data->data() + at)))
      EarlierRecords.push_back(std::move(*record));
  }
  RestoreFromLog();
}

bool TURLListMan::RecordFilePresent(const TURLEntry& Record) const {
  return IsPlainFileName(Record.LocalName) &&
         IsRegularFile(Process().DestPath + Record.LocalName);
}

void TURLListMan::RestoreFromLog() {
  // Copied: a rescan does not change the earlier records, but keep the walk
  // independent of them.
  const std::vector<TURLEntry> records = EarlierRecords;
  for (const TURLEntry& record : records) {
    if (record.State != TURLState::Done || !RecordFilePresent(record)) continue;
    // A name another entry already holds belongs to that entry's file.
    if (!NameTaken(record.LocalName, std::nullopt))
      Add(record.EntryURL, record.Referrer, record.LinkTitle, record.LocalName, record.Kind,
          TURLState::Done);
    if (record.Kind == TURLKind::Page || IsStyleSheetName(record.LocalName))
      RescanSavedPage(record);
  }
}

const TURLEntry* TURLListMan::FindLogRecordByURL(std::string_view Address) const {
  for (const TURLEntry& record : EarlierRecords)
    if (record.EntryURL == Address) return &record;
  return nullptr;
}

const TURLEntry* TURLListMan::FindLogRecordByLocalName(std::string_view Value) const {
  const std::string decoded = DecodePercent(Value);
  for (const TURLEntry& record : EarlierRecords)
    if (record.LocalName == Value || record.LocalName == decoded) return &record;
  return nullptr;
}

void TURLListMan::RescanSavedPage(const TURLEntry& Record) {
  if (!IsPlainFileName(Record.LocalName)) return;
  ScanPageURL = Record.EntryURL;
  std::optional<std::string> page;
  try {
    page = ReadFileNoFollow(Process().DestPath + Record.LocalName);
  } catch (const TFileError&) {
    return;  // a page that cannot be read has nothing to take over
  }
  // What the earlier job kept unscanned is not read now either.
  if (!page || !IsScannedPage(*page)) return;

  // A style sheet is read for its references like a page.
  std::vector<TResourceRef> refs;
  if (Record.Kind == TURLKind::Page)
    refs = ScanPageRefs(*page);
  else
    ScanCssRefs(*page, 0, TRefContext::Css, 0, refs);
  bool fetchedAgain = false;  // the page refers to the web for something now fetched
  for (const TResourceRef& ref : refs) {
    if (ref.Role != TRefRole::Picture && ref.Role != TRefRole::Frame &&
        ref.Role != TRefRole::StyleSheet && ref.Role != TRefRole::Resource)
      continue;
    const TURLKind kind = ref.Role == TRefRole::Picture ? TURLKind::Picture : TURLKind::Other;
    const std::string value = StripFragment(ref.Url);
    if (value.empty()) continue;
    const TURLEntry* found = nullptr;
    if (IsHttpUrl(value)) {
      // Left absolute by the earlier job, which could not save it then;
      // perhaps a later one did.
      found = FindLogRecordByURL(EncodeAddress(value));
      if (!found || found->State != TURLState::Done || !RecordFilePresent(*found)) {
        Add(value, ScanPageURL, "", "", kind, TURLState::Queued);
        const auto entry = FindByURL(EncodeAddress(value));
        if (entry && Item(*entry).State == TURLState::Queued) fetchedAgain = true;
        continue;
      }
      fetchedAgain = true;  // saved by now: the reference is made local
    } else {
      found = FindLogRecordByLocalName(value);
    }
    if (!found) {
      Add(value, ScanPageURL, "", "", kind, TURLState::Queued);
    } else if (found->State == TURLState::Done && RecordFilePresent(*found) &&
               !NameTaken(found->LocalName, std::nullopt)) {
      // A finished file is taken over as it is: a page among them was
      // rewritten already and must not be rewritten against its own
      // address a second time.
      Add(found->EntryURL, ScanPageURL, "", found->LocalName, found->Kind, TURLState::Done);
    } else {
      // Gone, unfinished or its name taken: fetched again under a new name.
      Add(found->EntryURL, ScanPageURL, "", "", kind, TURLState::Queued);
    }
  }
  // The page is rewritten again after the downloads, its absolute
  // references only: its local ones were written by the earlier job.
  const auto self = FindByURL(Record.EntryURL);
  if (fetchedAgain && self && Item(*self).State == TURLState::Done &&
      Item(*self).LocalName == Record.LocalName) {
    SetState(*self, TURLState::AwaitingRewrite);
    absoluteRewrites_.insert(*self);
  }
}

}  // namespace leafstash
