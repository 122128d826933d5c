#include "engine/url_list.h"

#include <algorithm>

#include "core/process_values.h"
#include "html/text_utils.h"
#include "html/url_utils.h"

namespace leafstash {
namespace {

// A local name keeps room for a counter prefix and a 5-byte extension
// within the 250 bytes of a log record.
constexpr std::size_t kMaxNameWithPrefix = kLogTextMax - 5;
constexpr std::size_t kMaxBaseName = kMaxNameWithPrefix - 11;

constexpr std::string_view kLogName = "lfsta4.log";

std::string ComposeName(const std::string& Prefix, const std::string& Base) {
  if (Prefix.size() + Base.size() <= kMaxNameWithPrefix) return Prefix + Base;
  const std::size_t room = Prefix.size() < kMaxNameWithPrefix ? kMaxNameWithPrefix - Prefix.size() : 0;
  return Prefix + std::string(Utf8Prefix(Base, room));
}

}  // namespace

TURLListMan::TURLListMan() { LoadFilterWords(); }

TURLListMan::~TURLListMan() {
  CloseJournal();
  if (discardLog_) return;
  try {
    SaveLog();
  } catch (const std::exception& e) {
    if (Process().ReportError) Process().ReportError(e.what());
  }
}

void TURLListMan::LoadFilterWords() {
  filterWords_.clear();
  const std::string filter = Process().Settings.URLFilter();
  const std::size_t count = CountTokens(filter, ",");
  for (std::size_t k = 1; k <= count; ++k) {
    const std::string word = Trim(GetToken(k, filter, ","));
    if (!word.empty()) filterWords_.push_back(LowerCopy(word));
  }
}

bool TURLListMan::Accepts(std::string_view Address, std::string_view Base,
                          TURLKind Kind) const {
  const TSettings& settings = Process().Settings;
  if (!IsHttpUrl(Address)) return false;
  const bool picture = Kind == TURLKind::Picture;
  if (picture && !settings.SavePictures()) return false;
  if (byURL_.Find(Address)) return false;
  if (picture && settings.LocalPicturesOnly()) {
    const std::string root = GetSiteRoot(Address);
    if (root != GetSiteRoot(Base) && root != GetSiteRoot(Process().PageURL)) return false;
  }
  if (picture && settings.UseURLFilter()) {
    for (const std::string& word : filterWords_)
      if (Address.find(word) != std::string_view::npos) return false;
  }
  return true;
}

bool TURLListMan::Add(std::string_view Address, std::string_view Base,
                      std::string_view Title, std::string_view LocalName,
                      TURLKind Kind, TURLState State) {
  if (Address.empty()) return false;
  const std::string address = EncodeAddress(ResolveUrl(Base, StripFragment(Address)));
  if (!Accepts(address, Base, Kind)) return false;

  TURLEntry entry;
  entry.EntryURL = address;
  entry.ActualURL = address;
  entry.Referrer = std::string(Base);
  entry.LinkTitle = std::string(Title);
  entry.Kind = Kind;
  entry.State = State;
  entry.LocalName =
      MakeLocalName(LocalName.empty() ? DecodePercent(GetLastSegment(address), true) : LocalName);

  const std::size_t index = entries_.size();
  entries_.push_back(std::move(entry));
  byURL_.Insert(index);
  byName_.Insert(index);
  ++stateCount_[static_cast<std::size_t>(State)];
  if (Base.empty()) ++topLevel_;
  Journal(index);
  return true;
}

std::string TURLListMan::MakeLocalName(std::string_view Segment,
                                       std::optional<std::size_t> Self) {
  std::string base(Segment);
  StripChars(base, LocalNameStripSet());
  if (base.empty() || base == "." || base == "..") {
    base.assign(1, 'f').append(std::to_string(nameCounter_++));
  }
  base = std::string(Utf8Prefix(base, kMaxBaseName));

  // One walk over the table: every entry that has the current name puts a
  // counter before it, and the walk goes on with the new name after that
  // entry. A name the walk leaves with may still be an earlier entry's (or
  // the log's): then counters go before it until no entry has it.
  std::string prefix;
  std::string name = ComposeName(prefix, base);
  std::size_t from = 0;
  bool walking = true;
  while (true) {
    const std::optional<std::size_t> holder = FindName(name, 0, Self);
    if (!holder && !SameTextAscii(name, kLogName)) break;
    if (walking && holder && *holder >= from)
      from = *holder + 1;
    else
      walking = false;
    prefix.insert(0, std::to_string(nameCounter_++));
    name = ComposeName(prefix, base);
  }
  return name;
}

void TURLListMan::Rename(std::size_t Index, std::string_view Segment) {
  std::string name = MakeLocalName(Segment, Index);
  byName_.Erase(Index);
  entries_.at(Index).LocalName = std::move(name);
  byName_.Insert(Index);
  Journal(Index);
}

void TURLListMan::AddExtension(std::size_t Index, std::string_view Extension) {
  const std::size_t room = kMaxBaseName - std::min(kMaxBaseName, Extension.size());
  std::string name(Utf8Prefix(entries_.at(Index).LocalName, room));
  name.append(Extension);
  Rename(Index, name);
}

std::optional<std::size_t> TURLListMan::FindName(std::string_view Name, std::size_t From,
                                                 std::optional<std::size_t> Self) const {
  const std::optional<std::size_t> at = byName_.Find(Name);
  if (!at || *at < From || at == Self) return std::nullopt;
  return at;
}

bool TURLListMan::NameTaken(std::string_view Name, std::optional<std::size_t> Self) const {
  return SameTextAscii(Name, kLogName) || FindName(Name, 0, Self).has_value();
}

void TURLListMan::AddPageAndFrames() {
  TProcessValues& process = Process();
  if (process.Settings.SkipExisting()) LoadLog();
  Add(process.PageURL, "", process.PageTitle, "INDEX.HTML", TURLKind::Page,
      TURLState::Queued);
  // The frames are read from the browser; a window that cannot tell them
  // leaves the job with the page alone.
  try {
    const Variant& window = process.BrowserWindow;
    const std::int64_t length = window.Get("parent").Get("frames").Get("Length").ToInteger();
    for (std::int64_t i = 0; i < length; ++i) {
      const Variant frame = window.Get("parent").Get("frames").Invoke("Item", {Variant(i)});
      const std::string title = frame.Get("document").Get("Title").ToText();
      const std::string location = frame.Get("location").ToText();
      Add(location, "", title, "", TURLKind::Page, TURLState::Queued);
    }
  } catch (const AutomationError&) {
  }
}

std::optional<std::size_t> TURLListMan::PageEntry() const {
  const std::string& page = Process().PageURL;
  if (page.empty()) return std::nullopt;
  const auto index = byURL_.Find(EncodeAddress(ResolveUrl("", StripFragment(page))));
  if (!index || !entries_[*index].Referrer.empty()) return std::nullopt;
  return index;
}

void TURLListMan::MarkLinkedPage(std::string_view Address) {
  if (const auto index = byURL_.Find(EncodeAddress(ResolveUrl("", StripFragment(Address)))))
    linkedPages_.insert(*index);
}

bool TURLListMan::IsNavigation(std::size_t Index) const {
  return linkedPages_.count(Index) != 0 || PageEntry() == Index;
}

std::optional<std::size_t> TURLListMan::FindFirstInState(TURLState State) const {
  const std::size_t s = static_cast<std::size_t>(State);
  if (stateCount_[s] == 0) return std::nullopt;
  for (std::size_t i = firstInState_[s]; i < entries_.size(); ++i) {
    if (entries_[i].State == State) {
      firstInState_[s] = i;
      return i;
    }
  }
  return std::nullopt;
}

std::optional<std::size_t> TURLListMan::FindByURL(std::string_view Address) const {
  return byURL_.Find(Address);
}

void TURLListMan::SetState(std::size_t Index, TURLState State) {
  TURLEntry& entry = entries_.at(Index);
  --stateCount_[static_cast<std::size_t>(entry.State)];
  entry.State = State;
  const std::size_t s = static_cast<std::size_t>(State);
  ++stateCount_[s];
  firstInState_[s] = std::min(firstInState_[s], Index);
  Journal(Index);
}

}  // namespace leafstash
