#include "cli/cli_options.h"

#include <algorithm>
#include <charconv>
#include <functional>
#include <map>

namespace leafstash {
namespace {

constexpr std::size_t kMaxFilter = 200;
constexpr std::size_t kMaxUserName = 50;

std::optional<int> Number(const std::string& Text, int Low, int High) {
  int value = 0;
  const char* end = Text.data() + Text.size();
  const auto [at, error] = std::from_chars(Text.data(), end, value);
  if (error != std::errc() || at != end || value < Low || value > High) return std::nullopt;
  return value;
}

}  // namespace

TCliParse ParseSaveArguments(const std::vector<std::string>& Arguments) {
  TCliOptions options;
  std::vector<std::string> operands;
  std::string error;
  using Flag = std::function<void()>;
  using Valued = std::function<bool(const std::string&)>;  // false: bad value (error set)
  const std::map<std::string, Flag> flags = {
      {"--no-pictures", [&] { options.NoPictures = true; }},
      {"--same-site-pictures", [&] { options.SameSitePictures = true; }},
      {"--skip-existing", [&] { options.SkipExisting = true; }},
      {"--all-links", [&] {
         if (options.TakeLinks == TLinkChoice::None) options.TakeLinks = TLinkChoice::All;
       }},
      {"--internal-links", [&] { options.TakeLinks = TLinkChoice::Internal; }},
      {"--single-file", [&] { options.SingleFile = true; }},
      {"--warc", [&] { options.WebArchive = true; }},
      {"--warc-keep-cookies", [&] { options.WebArchive = options.ArchiveCookies = true; }},
      {"--quiet", [&] { options.Quiet = true; }},
      {"--help", [&] { options.Help = true; }},
      {"-h", [&] { options.Help = true; }},
      {"--version", [&] { options.Version = true; }},
  };
  const std::map<std::string, Valued> valued = {
      {"--filter", [&](const std::string& v) {
         if (v.size() > kMaxFilter) error = "--filter takes at most 200 characters";
         options.Filter = v;
         return error.empty();
       }},
      {"--timeout", [&](const std::string& v) {
         options.TimeoutSeconds = Number(v, 0, 1000);
         if (!options.TimeoutSeconds) error = "--timeout takes seconds from 0 to 1000, not '" + v + "'";
         return error.empty();
       }},
      {"--threads", [&](const std::string& v) {
         options.Threads = Number(v, 1, 100);
         if (!options.Threads) error = "--threads takes a number from 1 to 100, not '" + v + "'";
         return error.empty();
       }},
      {"--user", [&](const std::string& v) {
         if (v.empty() || v.size() > kMaxUserName) error = "--user takes a name of 1 to 50 characters";
         options.User = v;
         return error.empty();
       }},
      {"--cookies", [&](const std::string& v) {
         if (v.empty()) error = "--cookies takes a file name";
         options.CookiesFile = v;
         return error.empty();
       }},
      {"--user-agent", [&](const std::string& v) {
         const bool clean = std::none_of(v.begin(), v.end(), [](char c) {
           return static_cast<unsigned char>(c) < 32 || c == 127;
         });
         if (v.empty() || !clean) error = "--user-agent takes one line of text";
         options.UserAgent = v;
         return error.empty();
       }},
      {"--link", [&](const std::string& v) {
         options.Links.push_back(v);
         return true;
       }},
  };

  bool optionsEnded = false;
  for (std::size_t i = 0; i < Arguments.size(); ++i) {
    const std::string& argument = Arguments[i];
    if (optionsEnded || argument.size() < 2 || argument[0] != '-') {
      operands.push_back(argument);
      continue;
    }
    if (argument == "--") {
      optionsEnded = true;
      continue;
    }
    const std::size_t equals = argument.find('=');
    const std::string name = argument.substr(0, equals);
    if (auto flag = flags.find(name); flag != flags.end()) {
      if (equals != std::string::npos) return {std::nullopt, name + " takes no value"};
      flag->second();
      continue;
    }
    auto option = valued.find(name);
    if (option == valued.end()) return {std::nullopt, "unknown option " + name};
    std::string value;
    if (equals != std::string::npos) {
      value = argument.substr(equals + 1);
    } else if (i + 1 < Arguments.size()) {
      value = Arguments[++i];
    } else {
      return {std::nullopt, name + " needs a value"};
    }
    if (!option->second(value)) return {std::nullopt, error};
  }
  if (options.Help || options.Version) return {options, ""};
  if (operands.empty()) return {std::nullopt, "no address given"};
  if (operands.size() > 2) return {std::nullopt, "too many arguments: '" + operands[2] + "'"};
  options.Url = operands[0];
  if (operands.size() == 2) options.Folder = operands[1];
  return {options, ""};
}

std::string SaveUsage() {
  return "Usage: leafstash save [OPTION]... URL [FOLDER]\n"
         "Saves the page at URL with its frames, pictures, style sheets and scripts\n"
         "into FOLDER (default: the current folder) and rewrites its links so that\n"
         "the copy reads offline. The page itself is saved as INDEX.HTML.\n"
         "\n"
         "  --no-pictures          do not save pictures\n"
         "  --same-site-pictures   save only pictures of the page's own site\n"
         "  --filter WORDS         skip pictures whose address holds one of the\n"
         "                         comma-separated WORDS\n"
         "  --skip-existing        reuse what an earlier save into FOLDER finished\n"
         "  --timeout SECONDS      give a download up after SECONDS without data\n"
         "                         (1 to 1000; 0: never)\n"
         "  --threads N            downloads at once (1 to 100)\n"
         "  --user NAME            user name for sites that ask for one; the password\n"
         "                         comes from LEAFSTASH_PASSWORD or is asked for\n"
         "  --cookies FILE         send the cookies of FILE (cookies.txt, as browsers'\n"
         "                         exporters, curl and Wget write it) as a browser\n"
         "                         would send them; they are kept in memory only\n"
         "  --user-agent TEXT      name the program to servers as TEXT\n"
         "  --link URL             save this linked page too (may be repeated)\n"
         "  --all-links            save every page the page links to\n"
         "  --internal-links       save every page of its own site the page links to\n"
         "  --single-file          also keep the page as one HTML file with its files\n"
         "                         inside, named after its title, beside INDEX.HTML\n"
         "  --warc                 keep a web archive (WACZ) of what the servers\n"
         "                         answered, named after the title, beside INDEX.HTML\n"
         "  --warc-keep-cookies    keep the Cookie headers sent in the web archive\n"
         "                         (left out by default)\n"
         "  --quiet                print errors only\n"
         "  --help                 show this help\n"
         "  --version              show the version\n"
         "\n"
         "Options not given come from the settings the start window stores.\n"
         "Exit status: 0 all saved; 1 the page was saved but some files failed;\n"
         "2 bad arguments; 3 the job could not run or the page failed;\n"
         "130 or 143 interrupted (Ctrl-C, SIGTERM).\n";
}

void ApplyCliOptions(const TCliOptions& Options, TSettings& Settings) {
  Settings = ShownOptions(Settings);

  Settings.SetSavePictures(!Options.NoPictures);
  if (Options.SameSitePictures) Settings.SetLocalPicturesOnly(true);
  if (Options.Filter) {
    Settings.SetUseURLFilter(true);
    Settings.SetURLFilter(*Options.Filter);
  }
  if (Options.SkipExisting) Settings.SetSkipExisting(true);
  if (Options.TimeoutSeconds) {
    Settings.SetAutoSkip(*Options.TimeoutSeconds > 0);
    if (*Options.TimeoutSeconds > 0) Settings.SetSkipSeconds(*Options.TimeoutSeconds);
  }
  if (Options.Threads) Settings.SetMaxThreads(*Options.Threads);
  if (Options.User) Settings.SetUserName(*Options.User);
}

}  // namespace leafstash
