// The options record: 552 bytes, little-endian, stored whole as the
// settings file. Fields are read and written at their offsets in the byte
// image, so reserved and padding bytes stay exactly as they were loaded.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace leafstash {

class TSettings {
 public:
  static constexpr std::size_t kSize = 552;
  using Bytes = std::array<std::uint8_t, kSize>;

  TSettings() { bytes_.fill(0); }

  const Bytes& Image() const { return bytes_; }
  void SetImage(const Bytes& Image) { bytes_ = Image; }
  void Clear() { bytes_.fill(0); }

  // Texts longer than their field are cut (never inside a UTF-8 character).
  std::string Folder() const { return Text(68, 100); }
  void SetFolder(std::string_view V) { SetText(68, 100, V); }
  bool UseSubFolder() const { return Flag(169); }
  void SetUseSubFolder(bool V) { SetFlag(169, V); }
  bool SavePictures() const { return Flag(170); }
  void SetSavePictures(bool V) { SetFlag(170, V); }
  std::int32_t LinkColumnWidth() const { return Int(172); }
  void SetLinkColumnWidth(std::int32_t V) { SetInt(172, V); }
  std::int32_t TextColumnWidth() const { return Int(176); }
  void SetTextColumnWidth(std::int32_t V) { SetInt(176, V); }
  std::int32_t WindowHeight() const { return Int(180); }
  void SetWindowHeight(std::int32_t V) { SetInt(180, V); }
  std::int32_t WindowWidth() const { return Int(184); }
  void SetWindowWidth(std::int32_t V) { SetInt(184, V); }
  bool LocalPicturesOnly() const { return Flag(192); }
  void SetLocalPicturesOnly(bool V) { SetFlag(192, V); }
  bool UseURLFilter() const { return Flag(193); }
  void SetUseURLFilter(bool V) { SetFlag(193, V); }
  std::string URLFilter() const { return Text(194, 200); }
  void SetURLFilter(std::string_view V) { SetText(194, 200, V); }
  bool SkipExisting() const { return Flag(395); }
  void SetSkipExisting(bool V) { SetFlag(395, V); }
  bool AutoSkip() const { return Flag(396); }
  void SetAutoSkip(bool V) { SetFlag(396, V); }
  std::int32_t SkipSeconds() const { return Int(400); }
  void SetSkipSeconds(std::int32_t V) { SetInt(400, V); }
  std::int32_t MaxThreads() const { return Int(404); }
  void SetMaxThreads(std::int32_t V) { SetInt(404, V); }
  bool CheckVersion() const { return Flag(408); }
  void SetCheckVersion(bool V) { SetFlag(408, V); }
  std::int32_t CheckIntervalDays() const { return Int(412); }
  void SetCheckIntervalDays(std::int32_t V) { SetInt(412, V); }
  // Days since 30 December 1899.
  double LastCheckDate() const;
  void SetLastCheckDate(double V);
  std::string UserName() const { return Text(424, 50); }
  void SetUserName(std::string_view V) { SetText(424, 50, V); }
  std::string Password() const { return Text(475, 50); }
  void SetPassword(std::string_view V) { SetText(475, 50, V); }
  std::string Language() const { return Text(526, 20); }
  void SetLanguage(std::string_view V) { SetText(526, 20, V); }

 private:
  std::string Text(std::size_t Offset, std::size_t Max) const;
  void SetText(std::size_t Offset, std::size_t Max, std::string_view Value);
  bool Flag(std::size_t Offset) const { return bytes_[Offset] != 0; }
  void SetFlag(std::size_t Offset, bool V) { bytes_[Offset] = V ? 1 : 0; }
  std::int32_t Int(std::size_t Offset) const;
  void SetInt(std::size_t Offset, std::int32_t V);

  Bytes bytes_;
};

// The options as the start window shows them: no seconds stored means
// auto-skip on at 60, no thread count means 5, no check interval means the
// check on every 30 days; numbers outside their ranges go to the nearest end.
TSettings ShownOptions(const TSettings& Stored);

// Reads the settings file: a missing file leaves Settings as it is; an
// empty, short or unreadable one gives all zeros; of a longer one the first
// record counts. False only when a file is there but could not be read.
bool LoadSettingsFile(const std::string& Path, TSettings& Settings);

// Writes the whole record as the file's only content, readable by the user
// alone (it holds a password). False when the write failed; the file is then
// as it was.
bool SaveSettingsFile(const std::string& Path, const TSettings& Settings);

}  // namespace leafstash
