// Free functions on address text: fragments, splitting into site root,
// directories and last segment, extensions, resolving links against the
// page they stand in, folder names from titles and quick classifications.
// All are pure functions of 8-bit (UTF-8) text and never fail.
#pragma once

#include <string>
#include <string_view>

namespace leafstash {

// The text before the first "#" (the whole Url when it has none).
std::string StripFragment(std::string_view Url);
// The text from the first "#" on, "#" included; empty when there is none.
std::string GetFragment(std::string_view Url);

struct UrlPathParts {
  std::string Root;    // through the first "/" after the scheme's "://"
  std::string Middle;  // the directories, ending in "/" (possibly empty)
  std::string Last;    // file name with query and fragment
};

// Root is empty when no "/" follows the scheme; Middle is then the whole Url.
UrlPathParts SplitUrlPath(std::string_view Url);
std::string GetSiteRoot(std::string_view Url);
std::string GetBaseDirectory(std::string_view Url);
std::string GetLastSegment(std::string_view Url);

// Extension of the named resource without its dot, case kept; the address
// is first cut at its first byte outside the address character set
// ("?", "#", "~", "%", ... cut; every byte of 0x80 and above is kept).
std::string GetUrlExtension(std::string_view Url);

// True when Link begins with a scheme name ("http:", "data:", "mailto:"):
// a letter, then letters, digits, "+", "-" or ".", two characters at least,
// then ":".
bool HasUrlScheme(std::string_view Link);

// The absolute form of Link read in the page at Base. Backslashes become
// "/"; links with a scheme are kept; "//host/x" takes the scheme of Base;
// "/x" starts at the site root, "#x" at Base, anything else at the
// directory of Base (taken before its query). "../" climbs one directory
// and stops at the site root. "./", case, query and fragment stay.
std::string ResolveUrl(std::string_view Base, std::string_view Link);

// A base address taken apart once, for resolving many links against it.
struct TUrlBase {
  explicit TUrlBase(std::string_view Base);
  std::string Address;    // with "/" for "\"
  std::string Scheme;     // "http:", empty when it has none
  std::string Root;       // what "../" never climbs above
  std::string Directory;  // where relative links start
  std::string Document;   // the address without its query and fragment
};
std::string ResolveUrl(const TUrlBase& Base, std::string_view Link);
// The same into Result, whose memory is reused.
void ResolveUrlInto(const TUrlBase& Base, std::string_view Link, std::string& Result);

// The title with every character not allowed in a folder name removed:
// keeps space, "-", "_", ASCII letters and digits and every valid non-ASCII
// UTF-8 character; drops the rest, including bytes of broken sequences.
// The result is cut to kMaxFolderNameBytes, never inside a character.
inline constexpr std::size_t kMaxFolderNameBytes = 200;
std::string TitleToFolderName(std::string_view Title);

// Turns a link as the scanner reports it into the address text it stands
// for: removes TAB, LF and CR, trims bytes of 32 and below and decodes the
// character references &amp; &lt; &gt; &quot; &apos; &#NN; &#xHH;.
std::string CleanLink(std::string_view Link);
// Text with the character references CleanLink decodes decoded, and
// nothing else changed.
std::string DecodeCharacterReferences(std::string_view Text);
// True when CleanLink would give Link back unchanged.
bool IsCleanLink(std::string_view Link);

// The address as a browser requests it: control bytes, blanks, '"', "<",
// ">", "`", "{", "}" and every byte of 0x80 and above (UTF-8) percent-
// encoded, and the hex digits of escapes in upper case; the rest as
// written. So an address written with raw UTF-8 and the same address
// percent-encoded are one text.
std::string EncodeAddress(std::string_view Address);

// Each "%HH" made the byte it stands for (with OnlyNonAscii, only bytes of
// 0x80 and above: a name as an address with UTF-8 reads); the rest, "+"
// included, as written.
std::string DecodePercent(std::string_view Text, bool OnlyNonAscii = false);

// The address without the user name and password its authority may carry
// ("http://ann:pw@host/" becomes "http://host/"): what is written where
// others read it.
std::string WithoutCredentials(std::string_view Url);

bool IsNotMailto(std::string_view Url);
bool IsNotScript(std::string_view Url);
bool IsHttpUrl(std::string_view Url);

}  // namespace leafstash
