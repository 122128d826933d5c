// One address taken apart into its components, with a classification of
// the resource it names by its file extension.
#pragma once

#include <string>
#include <string_view>

namespace leafstash {

enum class THREFKind {
  Unknown,
  Folder,
  Page,
  Picture,
  Applet,
  Binary,
  StyleSheet,
  Script,
  AspPage,
  PhpPage,
  CgiScript,
};

class THREF {
 public:
  THREF() = default;
  explicit THREF(std::string_view Address);
  THREF(const THREF& Other);
  THREF& operator=(const THREF& Other);

  // Normalises and splits Address; every field is set anew.
  void SetAddress(std::string_view Address);
  // Scheme, user info, host, port, home prefix, decoded path and file name,
  // query; never the fragment.
  std::string ComposeAddress() const;
  THREFKind GetKind() const;
  // Takes over the other record's composed address.
  void Assign(const THREF& Other);

  std::string UserName;
  std::string HomePrefix;
  std::string Password;
  std::string FileName;
  std::string Extension;     // with its dot: ".html"
  std::string ExtensionKey;  // upper case, dot-terminated: ".HTML."; "." if none
  std::string Query;
  std::string Scheme;        // "http://", "mailto:"
  std::string Address;
  std::string Port;
  std::string DefaultPort;
  std::string Path;          // "/a/b/"
  std::string Host;
  std::string Fragment;

 private:
  void Clear();
  void SplitAddress(std::string T);
};

// Trims, turns "\" into "/" and "'" into '"', and collapses each "/./"
// met in one left-to-right pass into "/".
std::string NormalizeAddress(std::string_view Text);
// "+" becomes a space; "%HH" becomes the byte 0xHH when it is 1 to 255;
// any other "%" sequence (up to two characters after it) is dropped.
std::string DecodeEscapes(std::string_view Text);

}  // namespace leafstash
