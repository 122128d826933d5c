#include "engine/url_entry.h"

#include <cstring>

#include "html/text_utils.h"

namespace leafstash {
namespace {

constexpr std::size_t kTextOffsets[] = {0, 251, 502, 753, 1004};
constexpr std::size_t kKindOffset = 1255, kStateOffset = 1256, kCodeOffset = 1260;

void PutText(unsigned char* Field, std::string_view Text) {
  const std::string_view cut = Utf8Prefix(Text, kLogTextMax);
  Field[0] = static_cast<unsigned char>(cut.size());
  std::memcpy(Field + 1, cut.data(), cut.size());
}

}  // namespace

void EncodeLogRecord(const TURLEntry& Entry, unsigned char* Out) {
  std::memset(Out, 0, kLogRecordSize);
  const std::string* texts[] = {&Entry.EntryURL, &Entry.ActualURL, &Entry.Referrer,
                                &Entry.LinkTitle, &Entry.LocalName};
  for (std::size_t k = 0; k < 5; ++k) PutText(Out + kTextOffsets[k], *texts[k]);
  Out[kKindOffset] = static_cast<unsigned char>(Entry.Kind);
  Out[kStateOffset] = static_cast<unsigned char>(Entry.State);
  const auto code = static_cast<std::uint32_t>(Entry.ResponseCode);
  for (int k = 0; k < 4; ++k) Out[kCodeOffset + k] = static_cast<unsigned char>(code >> (8 * k));
}

std::optional<TURLEntry> DecodeLogRecord(const unsigned char* In) {
  TURLEntry entry;
  std::string* texts[] = {&entry.EntryURL, &entry.ActualURL, &entry.Referrer,
                          &entry.LinkTitle, &entry.LocalName};
  for (std::size_t k = 0; k < 5; ++k) {
    const unsigned char* field = In + kTextOffsets[k];
    if (field[0] > kLogTextMax) return std::nullopt;
    texts[k]->assign(reinterpret_cast<const char*>(field + 1), field[0]);
  }
  if (In[kKindOffset] > static_cast<unsigned char>(TURLKind::Page) ||
      In[kStateOffset] > static_cast<unsigned char>(TURLState::Done))
    return std::nullopt;
  if (!IsPlainFileName(entry.LocalName)) return std::nullopt;
  entry.Kind = static_cast<TURLKind>(In[kKindOffset]);
  entry.State = static_cast<TURLState>(In[kStateOffset]);
  std::uint32_t code = 0;
  for (int k = 3; k >= 0; --k) code = (code << 8) | In[kCodeOffset + k];
  entry.ResponseCode = static_cast<std::int32_t>(code);
  return entry;
}

bool IsPlainFileName(std::string_view Name) {
  if (Name.empty() || Name == "." || Name == "..") return false;
  for (unsigned char c : Name)
    if (c < 32 || c == 127 || c == '/' || c == '\\') return false;
  return true;
}

}  // namespace leafstash
