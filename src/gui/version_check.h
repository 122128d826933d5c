// The new-version check: once per start, when it is switched on and its
// interval has passed, the version file is fetched from the home page into
// the local version file; a first line naming another version is shown.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "download/ie_download.h"

class QWidget;

namespace leafstash {

// The running version's full name, as version files write it.
inline constexpr const char* kVersionName = "Leafstash 4.0";
// The most of a version file that is ever downloaded.
inline constexpr std::uint64_t kMaxVersionFile = 64 * 1024;

// Today as the settings count dates: whole days since 30 December 1899.
double TodayAsDayCount();

// The line to announce for a version file's first line: only a line of
// the form "Leafstash <digits>.<digits>" (the name in any letter case) that
// is not exactly the running version's name; empty for anything else.
std::string NewVersionLine(std::string_view Text);

class TNewVersionCheck {
 public:
  // Message boxes are shown over Parent.
  explicit TNewVersionCheck(QWidget* Parent);

  // Starts the check when the options ask for one: reads the switch, the
  // interval and the last check's date from the process's options, the
  // home page and the version file's path from the process's values.
  // Returns at once; the answer is handled by IEDVerComplete.
  void CheckNewVersion();
  // A download of this check is under way.
  bool Running() const { return IEDVer.ActiveCount() > 0; }

  TIEDownload IEDVer;

 private:
  void IEDVerComplete(TBSCB* Sender, TStream* Stream, HRESULT Result);
  // Counts what has arrived and stops a download that grows past a
  // version file's size.
  void IEDVerData(TBSCB* Sender, unsigned char*& Buffer, ULONG& BufLength);
  // Keeps today as the last check's date, in memory and in the settings file.
  void RecordCheckDate();

  QWidget* parent_;
  std::uint64_t received_ = 0;
};

}  // namespace leafstash
