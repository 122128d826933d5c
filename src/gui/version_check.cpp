#include "gui/version_check.h"

#include <QDate>
#include <QMessageBox>
#include <cerrno>
#include <cstdio>

#include "gui/app_title.h"
#include "gui/error_box.h"
#include "platform/files/file_utils.h"
#include "core/process_values.h"
#include "core/settings.h"
#include "html/text_utils.h"
#include "html/url_utils.h"

namespace leafstash {
namespace {

constexpr std::string_view kProductPrefix = "Leafstash ";

bool IsDigitsRun(std::string_view Text) {
  if (Text.empty()) return false;
  for (const unsigned char c : Text)
    if (c < '0' || c > '9') return false;
  return true;
}

}  // namespace

double TodayAsDayCount() {
  return static_cast<double>(QDate(1899, 12, 30).daysTo(QDate::currentDate()));
}

std::string NewVersionLine(std::string_view Text) {
  const std::string_view line = Text.substr(0, Text.find_first_of("\r\n"));
  if (line.size() <= kProductPrefix.size() ||
      !SameTextAscii(line.substr(0, kProductPrefix.size()), kProductPrefix))
    return {};
  const std::string_view number = line.substr(kProductPrefix.size());
  const std::size_t point = number.find('.');
  if (point == std::string_view::npos || !IsDigitsRun(number.substr(0, point)) ||
      !IsDigitsRun(number.substr(point + 1)))
    return {};
  if (line == kVersionName) return {};
  return std::string(line);
}

TNewVersionCheck::TNewVersionCheck(QWidget* Parent) : parent_(Parent) {
  // The component's own defaults are this download's: Ansi, Get,
  // asynchronous, always from the server and not into the cache, no URL
  // encoding, no inherited handle, no range, the form content type.
  IEDVer.UserAgent = "Mozilla/4.0 (compatible; MSIE 5.0; Win32)";
  // A minute without data, in the component's milliseconds.
  IEDVer.TimeOut = 60000;
  IEDVer.OnComplete = [this](TBSCB* Sender, TStream* Stream, HRESULT Result) {
    IEDVerComplete(Sender, Stream, Result);
  };
  IEDVer.OnData = [this](TBSCB* Sender, unsigned char*& Buffer, ULONG& BufLength) {
    IEDVerData(Sender, Buffer, BufLength);
  };
}

void TNewVersionCheck::CheckNewVersion() {
  const TProcessValues& process = Process();
  const TSettings options = ShownOptions(process.Settings);
  if (!options.CheckVersion() || process.VersionFile.empty() || !IsHttpUrl(process.SiteURL))
    return;
  // A last check dated after today (a clock set wrong once) does not put
  // the next one off until that day.
  const double elapsed = TodayAsDayCount() - options.LastCheckDate();
  if (elapsed >= 0 && options.CheckIntervalDays() >= elapsed) return;
  // An old file that stays would be resumed, and its content shown as new.
  if (std::remove(process.VersionFile.c_str()) != 0 && errno != ENOENT) return;
  received_ = 0;
  IEDVer.DownloadToFile(process.SiteURL + "lfsta.ver", process.VersionFile);
}

void TNewVersionCheck::IEDVerData(TBSCB* Sender, unsigned char*&, ULONG& BufLength) {
  // A version file is one line; a larger answer is no version file.
  if (received_ + BufLength > kMaxVersionFile) {
    BufLength = 0;
    IEDVer.CancelDownload(Sender);
    return;
  }
  received_ += BufLength;
}

void TNewVersionCheck::IEDVerComplete(TBSCB* Sender, TStream*, HRESULT Result) {
  // The server answered, whatever it said: the check is done until the
  // interval has passed again. No answer at all (no network, a time-out)
  // leaves it due.
  if (Sender->ResponseCode() != 0) RecordCheckDate();
  // Failures are silent; so is any answer but the file itself, such as an
  // error page sent with another status.
  if (Result != S_OK || Sender->ResponseCode() != 200) return;
  const std::string& path = Process().VersionFile;
  if (!PathExists(path)) return;
  std::optional<std::string> text;
  try {
    text = ReadFileNoFollow(path);
  } catch (const TFileError& e) {
    ShowErrorBox(parent_, e.what());
    return;
  }
  const std::string line = NewVersionLine(text.value_or(std::string()));
  if (line.empty()) return;
  QMessageBox box(QMessageBox::Information, AsCaption(ApplicationTitle()),
                  QString::fromStdString(line + " is available."), QMessageBox::Ok, parent_);
  box.setTextFormat(Qt::PlainText);
  box.exec();
}

void TNewVersionCheck::RecordCheckDate() {
  TProcessValues& process = Process();
  const double today = TodayAsDayCount();
  process.Settings.SetLastCheckDate(today);
  // Only the date changes in the file; options the user has not chosen to
  // keep stay out of it, and a file that cannot be read is left alone.
  TSettings stored;
  if (!LoadSettingsFile(process.SettingsFile, stored)) return;
  stored.SetLastCheckDate(today);
  SaveSettingsFile(process.SettingsFile, stored);
}

}  // namespace leafstash
