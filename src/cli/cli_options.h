// The arguments of `leafstash save`, and how they set the options record.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "engine/job_driver.h"
#include "core/settings.h"

namespace leafstash {

struct TCliOptions {
  std::string Url;
  std::string Folder;  // empty: the current folder
  bool NoPictures = false;
  bool SameSitePictures = false;
  bool SkipExisting = false;
  std::optional<std::string> Filter;
  std::optional<int> TimeoutSeconds;  // 0: no time-out
  std::optional<int> Threads;
  std::optional<std::string> User;
  std::optional<std::string> CookiesFile;  // cookies.txt of the session to use
  std::optional<std::string> UserAgent;
  std::vector<std::string> Links;
  TLinkChoice TakeLinks = TLinkChoice::None;
  bool SingleFile = false;
  bool WebArchive = false;
  bool ArchiveCookies = false;
  bool Quiet = false;
  bool Help = false;
  bool Version = false;
};

// The options, or a one-line message naming what is wrong.
struct TCliParse {
  std::optional<TCliOptions> Options;
  std::string Error;
};

// Parses what follows "save". Options may stand before, between and after
// the two operands; "--name=value" and "--name value" are both accepted;
// "--" ends the options.
TCliParse ParseSaveArguments(const std::vector<std::string>& Arguments);

std::string SaveUsage();

// The options record as the start window would set it: the stored values
// read as the window reads them (auto-skip at 60 seconds and 5 downloads
// when none are stored), then what the command line gives.
void ApplyCliOptions(const TCliOptions& Options, TSettings& Settings);

}  // namespace leafstash
