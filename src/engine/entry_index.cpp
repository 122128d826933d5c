#include "engine/entry_index.h"

#include <functional>

#include "html/text_utils.h"

namespace leafstash {

std::uint32_t TEntryIndex::Hash(std::string_view Key) const {
  if (!caseless_) {
    const std::size_t h = std::hash<std::string_view>()(Key);
    return static_cast<std::uint32_t>(h ^ (h >> 32));
  }
  std::uint64_t h = 1469598103934665603ull;  // FNV-1a over the folded bytes
  for (unsigned char c : Key) {
    if (IsAsciiUpper(c)) c = static_cast<unsigned char>(c + 32);
    h = (h ^ c) * 1099511628211ull;
  }
  return static_cast<std::uint32_t>(h ^ (h >> 32));
}

bool TEntryIndex::Same(std::string_view A, std::string_view B) const {
  return caseless_ ? SameTextAscii(A, B) : A == B;
}

std::optional<std::size_t> TEntryIndex::Find(std::string_view Key) const {
  if (slots_.empty()) return std::nullopt;
  const std::uint32_t hash = Hash(Key);
  const std::size_t mask = slots_.size() - 1;
  for (std::size_t i = hash & mask;; i = (i + 1) & mask) {
    const Slot& slot = slots_[i];
    if (slot.entry == kFree) return std::nullopt;
    if (slot.hash == hash && Same(KeyOf(slot.entry), Key)) return slot.entry;
  }
}

void TEntryIndex::Insert(std::size_t Index) {
  if ((used_ + 1) * 4 > slots_.size() * 3) Grow();
  const std::string_view key = KeyOf(static_cast<std::uint32_t>(Index));
  const std::uint32_t hash = Hash(key);
  const std::size_t mask = slots_.size() - 1;
  for (std::size_t i = hash & mask;; i = (i + 1) & mask) {
    Slot& slot = slots_[i];
    if (slot.entry == kFree) {
      slot = {hash, static_cast<std::uint32_t>(Index)};
      ++used_;
      return;
    }
    if (slot.hash == hash && Same(KeyOf(slot.entry), key)) {
      slot.entry = static_cast<std::uint32_t>(Index);
      return;
    }
  }
}

void TEntryIndex::Erase(std::size_t Index) {
  if (slots_.empty()) return;
  const std::uint32_t hash = Hash(KeyOf(static_cast<std::uint32_t>(Index)));
  const std::size_t mask = slots_.size() - 1;
  std::size_t i = hash & mask;
  while (slots_[i].entry != Index) {
    if (slots_[i].entry == kFree) return;
    i = (i + 1) & mask;
  }
  // Backward-shift deletion keeps every probe chain unbroken.
  std::size_t hole = i;
  for (std::size_t j = (i + 1) & mask; slots_[j].entry != kFree; j = (j + 1) & mask) {
    const std::size_t home = slots_[j].hash & mask;
    const bool movable = hole <= j ? (home <= hole || home > j) : (home <= hole && home > j);
    if (movable) {
      slots_[hole] = slots_[j];
      hole = j;
    }
  }
  slots_[hole] = Slot{};
  --used_;
}

void TEntryIndex::Grow() {
  std::vector<Slot> old = std::move(slots_);
  slots_.assign(old.empty() ? 64 : old.size() * 2, Slot{});
  const std::size_t mask = slots_.size() - 1;
  for (const Slot& slot : old) {
    if (slot.entry == kFree) continue;
    std::size_t i = slot.hash & mask;
    while (slots_[i].entry != kFree) i = (i + 1) & mask;
    slots_[i] = slot;
  }
}

}  // namespace leafstash
