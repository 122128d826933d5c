// The browsers' record of our native messaging host: one manifest per
// browser, in the current user's folders, naming the executable and the
// one extension allowed to start it. Chromium and Google Chrome look in
// their config folder's NativeMessagingHosts/, Firefox in
// ~/.mozilla/native-messaging-hosts/.
#pragma once

#include <string>
#include <vector>

namespace leafstash {

inline constexpr const char* kHostName = "leafstash.lsapp";
// The extension's identity: Chromium derives its ID from the key in the
// extension's manifest; Firefox takes the ID the manifest states.
inline constexpr const char* kChromiumExtensionId = "dagglggjdjckjnjddbnkalgjbhcoaomp";
inline constexpr const char* kFirefoxExtensionId = "leafstash@leafstash.example";

struct TBrowserHost {
  // ForEveryUser: the system-wide record names this program already.
  enum class TOutcome { Written, ForEveryUser, NotInstalled, Failed };
  std::string Browser;   // "Chromium", "Google Chrome", "Firefox"
  std::string Manifest;  // where the manifest goes
  TOutcome Outcome = TOutcome::NotInstalled;
  std::string Error;     // why it failed
};

// The manifest that names ExePath as the host, for Firefox or for the
// Chromium family.
std::string HostManifestText(const std::string& ExePath, bool Firefox);

// Writes the manifest for ExePath for every browser whose config folder
// exists (its manifest folder is made when missing); browsers that are not
// installed get nothing, nor do those whose system-wide manifest (the one
// the Debian package installs) names ExePath already. Each file is replaced whole; a symbolic link where
// the manifest goes is replaced, never followed.
std::vector<TBrowserHost> InstallBrowserHosts(const std::string& ExePath);
// Removes the manifests (a link there is removed, not what it points to).
void RemoveBrowserHosts();
// One line for a browser: what was written, skipped or failed.
std::string DescribeBrowserHost(const TBrowserHost& Host);

}  // namespace leafstash
