// Finding the references of a style sheet: url() in any spelling, the
// quoted address of @import, and the quoted addresses of image-set().
// Comments and other strings are passed over; the walk never goes back.
#include <array>

#include "html/byte_search.h"
#include "html/page_refs.h"
#include "html/text_utils.h"
#include "html/url_utils.h"

namespace leafstash {
namespace {

bool IsNameByte(unsigned char C) {
  return IsAsciiLetter(C) || IsAsciiDigit(C) || C == '-' || C == '_' || C >= 0x80;
}

// The text with its CSS escapes decoded: "\" and up to six hex digits (and
// one blank after them) is that character, "\" and a line break nothing,
// "\" and any other byte that byte.
std::string DecodeCssEscapes(std::string_view Text) {
  if (Text.find('\\') == std::string_view::npos) return std::string(Text);
  std::string out;
  for (std::size_t i = 0; i < Text.size();) {
    if (Text[i] != '\\' || i + 1 >= Text.size()) {
      out += Text[i++];
      continue;
    }
    ++i;
    std::uint32_t cp = 0;
    std::size_t digits = 0;
    while (digits < 6 && i < Text.size() && HexDigitValue(static_cast<unsigned char>(Text[i])) >= 0) {
      cp = cp * 16 + static_cast<std::uint32_t>(HexDigitValue(static_cast<unsigned char>(Text[i])));
      ++i;
      ++digits;
    }
    if (digits > 0) {
      if (cp == 0 || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) cp = 0xFFFD;
      AppendUtf8(out, cp);
      if (i < Text.size() && IsMarkupSpace(Text[i])) ++i;
    } else if (Text[i] != '\n' && Text[i] != '\r' && Text[i] != '\f') {
      out += Text[i++];
    } else {
      ++i;
    }
  }
  return out;
}

// The bytes the walk stops at, searched sixteen at a time; inside an
// @import, an @font-face or an image-set() also those that end them.
constexpr std::array<char, 6> kStops = {'/', '"', '\'', '\\', '@', '('};
constexpr std::array<bool, 256> kStopsInside = [] {
  std::array<bool, 256> stops{};
  for (unsigned char c : std::string_view("/\"'\\@(;{})")) stops[c] = true;
  return stops;
}();

class CssScan {
 public:
  CssScan(std::string_view Css, std::size_t Offset, TRefContext Context, std::uint32_t Tag,
          std::vector<TResourceRef>& Out)
      : css_(Css), offset_(Offset), context_(Context), tag_(Tag), out_(Out) {}

  void Run() {
    const std::size_t n = css_.size();
    const unsigned char* p = reinterpret_cast<const unsigned char*>(css_.data());
    std::size_t i = 0;
    while (i < n) {
      // Most bytes of a sheet are names, numbers, blanks and punctuation
      // that only matter inside an @import, an @font-face or an
      // image-set(): passed over in one tight loop.
      if (importing_ || naming_ || fontFacePending_ || fontFace_ || imageSet_) {
        while (i < n && !kStopsInside[p[i]]) ++i;
      } else {
        i = FindFirstOf(p, i, n, kStops);
      }
      if (i >= n) break;
      const char c = css_[i];
      if (c == '/') {
        if (i + 1 < n && css_[i + 1] == '*') {
          const std::size_t end = css_.find("*/", i + 2);
          i = end == std::string_view::npos ? n : end + 2;
        } else {
          ++i;
        }
      } else if (c == '"' || c == '\'') {
        const std::size_t end = StringEnd(i);
        if (importing_ && !imported_) {
          imported_ = true;
          Emit(i + 1, end, TRefRole::StyleSheet);
        } else if (imageSet_ && parens_ == 1) {
          Emit(i + 1, end, TRefRole::Picture);
        }
        i = end < n ? end + 1 : n;
      } else if (c == '\\') {
        i += 2;
      } else if (c == '@') {
        std::size_t j = i + 1;
        while (j < n && IsNameByte(p[j])) ++j;
        const std::string_view word = css_.substr(i + 1, j - i - 1);
        if (SameTextAscii(word, "import")) importing_ = true, imported_ = false;
        // The address of a namespace or a document rule names no file.
        if (SameTextAscii(word, "namespace") || SameTextAscii(word, "-moz-document")) naming_ = true;
        if (SameTextAscii(word, "font-face") && !fontFace_) fontFacePending_ = true, depth_ = 0;
        i = j;
      } else if (c == ';') {
        importing_ = naming_ = false;
        ++i;
      } else if (c == '{') {
        importing_ = naming_ = false;
        ++depth_;
        if (fontFacePending_) fontFace_ = true, fontFacePending_ = false;
        ++i;
      } else if (c == '}') {
        if (depth_ > 0 && --depth_ == 0) fontFace_ = false;
        ++i;
      } else if (c == '(') {
        // The function's name is the run of name bytes just before it.
        std::size_t k = i;
        while (k > 0 && IsNameByte(p[k - 1])) --k;
        const std::string_view name = css_.substr(k, i - k);
        if (SameTextAscii(name, "url")) {
          i = Url(i + 1);
          continue;
        }
        if (imageSet_) {
          ++parens_;
        } else if (SameTextAscii(name, "image-set") || SameTextAscii(name, "-webkit-image-set")) {
          imageSet_ = true;
          parens_ = 1;
        }
        ++i;
      } else {  // ')' inside image-set()
        if (--parens_ == 0) imageSet_ = false;
        ++i;
      }
    }
  }

 private:
  // The offset of the quote that closes the string opening at Open (or of
  // the line break or end that cuts it short).
  std::size_t StringEnd(std::size_t Open) const {
    const char quote = css_[Open];
    std::size_t j = Open + 1;
    while (j < css_.size() && css_[j] != quote && css_[j] != '\n') j += css_[j] == '\\' ? 2 : 1;
    return std::min(j, css_.size());
  }

  // Reads the url() whose argument starts at From; returns the offset
  // after its ")".
  std::size_t Url(std::size_t From) {
    const std::size_t n = css_.size();
    std::size_t j = From;
    while (j < n && IsMarkupSpace(css_[j])) ++j;
    std::size_t start = j, end = j;
    if (j < n && (css_[j] == '"' || css_[j] == '\'')) {
      start = j + 1;
      end = StringEnd(j);
      j = end;
    } else {
      while (j < n && css_[j] != ')') j += css_[j] == '\\' ? 2 : 1;
      j = std::min(j, n);
      end = j;
      while (end > start && IsMarkupSpace(css_[end - 1])) --end;
    }
    const TRefRole role = importing_   ? TRefRole::StyleSheet
                          : fontFace_ ? TRefRole::Resource
                                      : TRefRole::Picture;
    if (importing_) imported_ = true;
    if (!naming_) Emit(start, end, role);
    const std::size_t close = css_.find(')', j);
    return close == std::string_view::npos ? n : close + 1;
  }

  void Emit(std::size_t Start, std::size_t End, TRefRole Role) {
    if (End <= Start) return;
    std::string url = DecodeRefText(css_.substr(Start, End - Start), context_);
    // Fragments of the page itself and inline data stay as they are.
    if (url.empty() || url[0] == '#' || SameTextAscii(std::string_view(url).substr(0, 5), "data:")) return;
    out_.push_back({offset_ + Start, End - Start, std::move(url), Role, context_, tag_});
  }

  std::string_view css_;
  std::size_t offset_;
  TRefContext context_;
  std::uint32_t tag_;
  std::vector<TResourceRef>& out_;
  bool importing_ = false;        // inside the prelude of an @import
  bool imported_ = false;         // that @import's address was found
  bool naming_ = false;           // inside the prelude of an @namespace
  bool fontFacePending_ = false;  // an @font-face whose block is to come
  bool fontFace_ = false;         // inside an @font-face block
  int depth_ = 0;                 // braces open inside it
  bool imageSet_ = false;         // inside image-set()
  int parens_ = 0;                // parentheses open inside it
};

}  // namespace

std::string DecodeRefText(std::string_view Raw, TRefContext Context) {
  if (Context == TRefContext::HtmlAttribute) return CleanLink(Raw);
  std::string url = DecodeCssEscapes(Raw);
  if (Context == TRefContext::CssInAttribute) {
    // Quotes written as references inside the attribute.
    url = CleanLink(url);
    if (url.size() >= 2 && (url.front() == '"' || url.front() == '\'') && url.back() == url.front())
      url = url.substr(1, url.size() - 2);
  }
  if (!url.empty() && (static_cast<unsigned char>(url.front()) <= 32 ||
                       static_cast<unsigned char>(url.back()) <= 32))
    url = Trim(url);
  return url;
}

void ScanCssRefs(std::string_view Css, std::size_t Offset, TRefContext Context,
                 std::uint32_t Tag, std::vector<TResourceRef>& Out) {
  // Room for a reference every 128 bytes, as busy sheets have them, so the
  // list seldom grows while it is filled.
  Out.reserve(Out.size() + Css.size() / 128);
  CssScan(Css, Offset, Context, Tag, Out).Run();
}

}  // namespace leafstash
