// The values the whole process shares: paths, the options record, the
// shared language texts, and the values of the job the front end prepares
// (the page, its window object, the destination). One instance per process;
// tests reset it.
#pragma once

#include <functional>
#include <string>

#include "platform/browser_handover.h"
#include "core/extra_settings.h"
#include "core/language.h"
#include "core/settings.h"
#include "platform/automation/variant.h"

namespace leafstash {

class TURLListMan;

struct TProcessValues {
  std::string ExeDir, LangDir, SettingsFile, VersionFile, ExtraSettingsFile;
  TSettings Settings;
  TExtraSettings ExtraSettings;  // the options kept beside the record
  TSharedTexts Texts;
  std::string SiteURL;

  Variant BrowserWindow;  // the window object handed to Start; Null after the job
  std::string PageURL;    // trimmed address of the page
  std::string PageTitle;  // trimmed title of the page
  std::string DestPath;   // destination folder, ending in "/"
  // What the browser (or the command line) handed over with the page: its
  // documents as shown, the user agent and the session's cookies.
  TBrowserHandover Handover;
  TURLListMan* URLList = nullptr;

  // Where errors that reach the program's general error report go; the
  // front end shows them in a message box.
  std::function<void(const std::string& Message)> ReportError;
};

TProcessValues& Process();
// Back to the values of a fresh process.
void ResetProcessValues();

}  // namespace leafstash
