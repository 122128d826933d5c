// A hash index from one text field of the URL table's entries to the entry
// that holds it: open addressing over entry numbers, so a lookup touches
// the slot array and the one entry it compares with. Each key stands for
// at most one entry.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/url_entry.h"

namespace leafstash {

class TEntryIndex {
 public:
  // Field is the indexed text of an entry; Caseless folds ASCII letters.
  TEntryIndex(const std::vector<TURLEntry>& Entries, std::string TURLEntry::*Field,
              bool Caseless)
      : entries_(Entries), field_(Field), caseless_(Caseless) {}

  std::optional<std::size_t> Find(std::string_view Key) const;
  // Indexes entry Index under its current field text (replacing an entry
  // already indexed under that text).
  void Insert(std::size_t Index);
  // Removes entry Index, indexed under its current field text.
  void Erase(std::size_t Index);

 private:
  struct Slot {
    std::uint32_t hash = 0;
    std::uint32_t entry = kFree;
  };
  static constexpr std::uint32_t kFree = 0xFFFFFFFFu;

  std::uint32_t Hash(std::string_view Key) const;
  bool Same(std::string_view A, std::string_view B) const;
  std::string_view KeyOf(std::uint32_t Entry) const { return entries_[Entry].*field_; }
  void Grow();

  const std::vector<TURLEntry>& entries_;
  std::string TURLEntry::*field_;
  bool caseless_;
  std::vector<Slot> slots_;  // size a power of two, at most three quarters full
  std::size_t used_ = 0;
};

}  // namespace leafstash
