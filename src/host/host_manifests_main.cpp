// Writes the browsers' host manifests for a program installed at a given
// path, for an installation to put where every user's browser finds them:
//   leafstash-host-manifests EXE-PATH FOLDER
// gives FOLDER/chromium.json (Chromium and Google Chrome) and
// FOLDER/firefox.json.
#include <cerrno>
#include <cstdio>
#include <exception>
#include <string>

#include "host/browser_hosts.h"
#include "platform/files/file_utils.h"

int main(int argc, char** argv) {
  if (argc != 3 || argv[1][0] != '/') {
    std::fputs("Usage: leafstash-host-manifests EXE-PATH FOLDER (EXE-PATH absolute)\n", stderr);
    return 2;
  }
  const std::string folder = leafstash::WithSlash(argv[2]);
  try {
    if (!leafstash::MakeFolders(folder)) throw leafstash::TFileError(folder, ENOTDIR);
    leafstash::WriteFileAtomically(folder + "chromium.json",
                                   leafstash::HostManifestText(argv[1], false), 0644, false);
    leafstash::WriteFileAtomically(folder + "firefox.json",
                                   leafstash::HostManifestText(argv[1], true), 0644, false);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "leafstash-host-manifests: %s\n", e.what());
    return 1;
  }
  return 0;
}
