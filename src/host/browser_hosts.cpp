#include "host/browser_hosts.h"

#include <algorithm>
#include <cstdlib>
#include <nlohmann/json.hpp>
#include <unistd.h>

#include "platform/files/file_utils.h"

namespace leafstash {
namespace {

struct TBrowser {
  const char* Name;
  std::vector<std::string> ConfigFolders;  // one is there when it is installed
  std::string ManifestFolder;
  bool Firefox;
  std::string SystemFolder;  // where an installed package registers for every user
};

std::vector<TBrowser> Browsers() {
  const std::string config = UserFolder("XDG_CONFIG_HOME", ".config");
  const std::string mozilla = HomeFolder() + ".mozilla/";
  // A new Firefox profile lives in the config folder, an old one in
  // ~/.mozilla; either way Firefox looks for hosts in ~/.mozilla only.
  return {
      {"Chromium", {config + "chromium/"}, config + "chromium/NativeMessagingHosts/", false,
       "/etc/chromium/native-messaging-hosts/"},
      {"Google Chrome", {config + "google-chrome/"},
       config + "google-chrome/NativeMessagingHosts/", false,
       "/etc/opt/chrome/native-messaging-hosts/"},
      {"Firefox", {mozilla, config + "mozilla/"}, mozilla + "native-messaging-hosts/", true,
       "/usr/lib/mozilla/native-messaging-hosts/"},
  };
}

}  // namespace

std::string HostManifestText(const std::string& ExePath, bool Firefox) {
  nlohmann::json manifest = {
      {"name", kHostName},
      {"description", "Leafstash: keeps a web page for reading offline"},
      {"path", ExePath},
      {"type", "stdio"},
  };
  if (Firefox) {
    manifest["allowed_extensions"] = {kFirefoxExtensionId};
  } else {
    manifest["allowed_origins"] = {std::string("chrome-extension://") + kChromiumExtensionId + "/"};
  }
  return manifest.dump(2) + "\n";
}

namespace {

std::string ManifestPath(const TBrowser& Browser) {
  return Browser.ManifestFolder + kHostName + ".json";
}

// True when the file at Path holds exactly Text.
bool ReadsAs(const std::string& Path, const std::string& Text) {
  try {
    return ReadFileNoFollow(Path) == Text;
  } catch (const TFileError&) {
    return false;
  }
}

}  // namespace

std::vector<TBrowserHost> InstallBrowserHosts(const std::string& ExePath) {
  std::vector<TBrowserHost> hosts;
  for (const TBrowser& browser : Browsers()) {
    TBrowserHost& host = hosts.emplace_back();
    host.Browser = browser.Name;
    host.Manifest = ManifestPath(browser);
    if (std::none_of(browser.ConfigFolders.begin(), browser.ConfigFolders.end(), IsFolder))
      continue;
    // The package has registered this very program for every user: a
    // record of the user's own would only outlive the package.
    const std::string manifest = HostManifestText(ExePath, browser.Firefox);
    const std::string system = browser.SystemFolder + kHostName + ".json";
    if (ReadsAs(system, manifest)) {
      if (ReadsAs(host.Manifest, manifest)) ::unlink(host.Manifest.c_str());
      host.Manifest = system;
      host.Outcome = TBrowserHost::TOutcome::ForEveryUser;
      continue;
    }
    try {
      if (!MakeFolders(browser.ManifestFolder))
        throw TFileError(browser.ManifestFolder, ENOTDIR);
      // A path that is not UTF-8 cannot be written into JSON.
      WriteFileAtomically(host.Manifest, manifest, 0644);
      host.Outcome = TBrowserHost::TOutcome::Written;
    } catch (const std::exception& e) {
      host.Outcome = TBrowserHost::TOutcome::Failed;
      host.Error = e.what();
    }
  }
  return hosts;
}

void RemoveBrowserHosts() {
  for (const TBrowser& browser : Browsers()) ::unlink(ManifestPath(browser).c_str());
}

std::string DescribeBrowserHost(const TBrowserHost& Host) {
  switch (Host.Outcome) {
    case TBrowserHost::TOutcome::Written:
      return Host.Browser + ": " + Host.Manifest;
    case TBrowserHost::TOutcome::ForEveryUser:
      return Host.Browser + ": " + Host.Manifest + " (for every user)";
    case TBrowserHost::TOutcome::NotInstalled:
      return Host.Browser + ": not installed, nothing written";
    case TBrowserHost::TOutcome::Failed:
      return Host.Browser + ": cannot write the host manifest: " + Host.Error;
  }
  return Host.Browser;
}

}  // namespace leafstash
