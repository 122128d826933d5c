// The one-file copy of a saved page: the folder copy's page with every
// file it uses written into it (pictures, fonts and scripts as data:
// addresses, style sheets as <style> blocks with their imports in place,
// frames as srcdoc), and links to everything else pointing at the web.
// It is written as it is made, a block of a file at a time.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace leafstash {

// What a local link of the folder copy leads to.
struct TSavedFile {
  std::string WebAddress;  // where it came from
  std::string Path;        // the file to take in; empty: link to the web
  std::string Type;        // its MIME type
};
// The file a local link (as written in the copy) names; nothing when the
// folder copy holds no such file.
using TSavedFileLookup = std::function<std::optional<TSavedFile>(std::string_view Link)>;

// The type a file is given in a data: address, from its name's extension
// (the engine names each file after the type its server gave);
// application/octet-stream when the name tells none.
std::string TypeOfFileName(const std::string& Name);

// Writes the one-file copy of the page at PagePath to OutPath (under a
// work name, renamed when complete). Files larger than InlineLimit stay web
// addresses. False with the reason in Why; nothing is then left at OutPath
// but what was there before.
bool WriteSingleFile(const std::string& PagePath, const std::string& OutPath,
                     const TSavedFileLookup& Lookup, std::uint64_t InlineLimit, std::string& Why);

}  // namespace leafstash
