#include "core/settings.h"

#include <algorithm>
#include <cstring>

#include "platform/files/file_utils.h"
#include "html/text_utils.h"

namespace leafstash {

std::string TSettings::Text(std::size_t Offset, std::size_t Max) const {
  // A length byte beyond the field reads as the field's maximum.
  const std::size_t length = std::min<std::size_t>(bytes_[Offset], Max);
  return std::string(reinterpret_cast<const char*>(&bytes_[Offset + 1]), length);
}

void TSettings::SetText(std::size_t Offset, std::size_t Max, std::string_view Value) {
  const std::string_view cut = Utf8Prefix(Value, Max);
  bytes_[Offset] = static_cast<std::uint8_t>(cut.size());
  std::memcpy(&bytes_[Offset + 1], cut.data(), cut.size());
}

std::int32_t TSettings::Int(std::size_t Offset) const {
  std::uint32_t v = 0;
  for (int k = 3; k >= 0; --k) v = (v << 8) | bytes_[Offset + k];
  return static_cast<std::int32_t>(v);
}

void TSettings::SetInt(std::size_t Offset, std::int32_t V) {
  const std::uint32_t u = static_cast<std::uint32_t>(V);
  for (int k = 0; k < 4; ++k) bytes_[Offset + k] = static_cast<std::uint8_t>(u >> (8 * k));
}

double TSettings::LastCheckDate() const {
  std::uint64_t bits = 0;
  for (int k = 7; k >= 0; --k) bits = (bits << 8) | bytes_[416 + k];
  double d;
  std::memcpy(&d, &bits, sizeof d);
  return d;
}

void TSettings::SetLastCheckDate(double V) {
  std::uint64_t bits;
  std::memcpy(&bits, &V, sizeof bits);
  for (int k = 0; k < 8; ++k) bytes_[416 + k] = static_cast<std::uint8_t>(bits >> (8 * k));
}

TSettings ShownOptions(const TSettings& Stored) {
  TSettings shown = Stored;
  if (Stored.SkipSeconds() <= 0) {
    shown.SetAutoSkip(true);
    shown.SetSkipSeconds(60);
  }
  shown.SetSkipSeconds(std::clamp(shown.SkipSeconds(), 1, 1000));
  shown.SetMaxThreads(Stored.MaxThreads() <= 0 ? 5 : std::min(Stored.MaxThreads(), 100));
  if (Stored.CheckIntervalDays() <= 0) {
    shown.SetCheckVersion(true);
    shown.SetCheckIntervalDays(30);
  }
  shown.SetCheckIntervalDays(std::clamp(shown.CheckIntervalDays(), 1, 1000));
  return shown;
}

bool LoadSettingsFile(const std::string& Path, TSettings& Settings) {
  if (!PathExists(Path)) return true;
  Settings.Clear();
  try {
    const std::optional<std::string> data = ReadFileNoFollow(Path);
    if (!data || data->size() < TSettings::kSize) return true;
    TSettings::Bytes image;
    std::memcpy(image.data(), data->data(), TSettings::kSize);
    Settings.SetImage(image);
    return true;
  } catch (const TFileError&) {
    return false;  // an unreadable file gives the defaults
  }
}

bool SaveSettingsFile(const std::string& Path, const TSettings& Settings) {
  try {
    const auto& image = Settings.Image();
    WriteFileAtomically(
        Path, std::string_view(reinterpret_cast<const char*>(image.data()), image.size()),
        0600);
    return true;
  } catch (const TFileError&) {
    return false;
  }
}

}  // namespace leafstash
