// Making a page inert, tag by tag, with the tokenizer rules the page
// scanner reads tags by.
#include "html/inert_page.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <vector>

#include "html/byte_search.h"
#include "html/tag_reader.h"
#include "html/text_utils.h"
#include "html/url_utils.h"

namespace leafstash {
namespace {

constexpr std::size_t npos = std::string_view::npos;
constexpr int kMaxSrcDocDepth = 8;
constexpr std::string_view kCharsetMeta = "<meta charset=\"utf-8\">";

constexpr std::array<std::string_view, 19> kScriptTypes = {
    "", "module", "importmap", "speculationrules", "application/ecmascript",
    "application/javascript", "application/x-ecmascript", "application/x-javascript",
    "text/ecmascript", "text/javascript", "text/javascript1.0", "text/javascript1.1",
    "text/javascript1.2", "text/javascript1.3", "text/javascript1.4", "text/javascript1.5",
    "text/jscript", "text/livescript", "text/x-javascript"};

// Attributes a browser may follow as an address.
constexpr std::array<std::string_view, 12> kAddressAttributes = {
    "href", "xlink:href", "src", "action", "formaction", "data",
    "poster", "background", "lowsrc", "dynsrc", "codebase", "ping"};

// Elements whose text is not markup.
constexpr std::array<std::string_view, 8> kRawText = {
    "script", "style", "textarea", "title", "xmp", "iframe", "noembed", "noframes"};

template <std::size_t N>
bool OneOf(std::string_view Value, const std::array<std::string_view, N>& Set) {
  for (std::string_view item : Set)
    if (Value == item) return true;
  return false;
}

bool IsJavaScriptAddress(std::string_view Raw) {
  std::string value = DecodeCharacterReferences(Raw);
  std::string clean;
  for (const char c : value)
    if (c != '\t' && c != '\n' && c != '\r') clean += c;
  std::size_t at = 0;
  while (at < clean.size() && static_cast<unsigned char>(clean[at]) <= 32) ++at;
  return clean.size() - at >= 11 && SameTextAscii(std::string_view(clean).substr(at, 11), "javascript:");
}

class InertCopy {
 public:
  InertCopy(std::string_view Html, int Depth) : text_(Html), depth_(Depth) {}

  std::string Run() {
    out_.reserve(text_.size() + kCharsetMeta.size());
    const std::size_t n = text_.size();
    WalkTags(
        text_, [this](std::size_t P) { return StartTag(P); },
        [this] {
          if (foreign_ > 0) --foreign_;
        });
    Copy(n);
    if (depth_ == 0 && !charsetWritten_) {
      // No head written out: the declaration goes first, after a doctype.
      std::size_t at = 0;
      const std::size_t lead = text_.find_first_not_of(" \t\r\n\f");
      if (lead != npos && FindCaseless(text_.substr(lead, 9), "<!DOCTYPE", 0) == 0) {
        const std::size_t close = text_.find('>', lead);
        at = close == npos ? 0 : close + 1;
      }
      // Nothing before the doctype's end was changed: offsets agree there.
      out_.insert(at, kCharsetMeta);
    }
    return std::move(out_);
  }

 private:
  // Copies the text up to To that is not yet copied.
  void Copy(std::size_t To) {
    if (To > copied_) out_.append(text_.substr(copied_, To - copied_));
    copied_ = std::max(copied_, To);
  }
  void Drop(std::size_t From, std::size_t To) {
    Copy(From);
    copied_ = std::max(copied_, To);
  }

  std::size_t StartTag(std::size_t P) {
    const std::size_t n = text_.size();
    const std::size_t nameEnd = TagNameEnd(text_, P);
    const std::string name = LowerCopy(text_.substr(P, nameEnd - P));
    attributes_.clear();
    std::size_t end = nameEnd;
    bool selfClosing = false;
    TTagAttribute attribute;
    while (NextTagAttribute(text_, end, attribute, selfClosing)) attributes_.push_back(std::move(attribute));
    if (end == npos) return n;  // a tag the text ends inside is dropped by browsers
    const std::size_t tagStart = P - 1;

    if (name == "script") {
      const bool hasContent = !(foreign_ > 0 && selfClosing);
      const std::size_t contentEnd = hasContent ? RawTextEnd(text_, name, end) : end;
      if (!RunsCode()) return contentEnd;
      std::size_t close = contentEnd;
      if (hasContent && contentEnd < n) {
        const std::size_t gt = text_.find('>', contentEnd);
        close = gt == npos ? n : gt + 1;
      }
      Drop(tagStart, close);
      return close;
    }
    if (name == "meta" && DroppedMeta()) {
      Drop(tagStart, end);
      return end;
    }
    for (const TTagAttribute& a : attributes_) Attribute(name, a);
    if (name == "head" && depth_ == 0 && !charsetWritten_) {
      Copy(end);
      out_.append(kCharsetMeta);
      charsetWritten_ = true;
    }
    if (name == "svg" || name == "math") {
      if (!selfClosing) ++foreign_;
      return end;
    }
    if (OneOf(name, kRawText)) {
      if (foreign_ > 0 && (selfClosing || name != "style")) return end;
      return RawTextEnd(text_, name, end);
    }
    return end;
  }

  const TTagAttribute* Find(std::string_view Name) const {
    for (const TTagAttribute& a : attributes_)
      if (a.Name == Name) return &a;
    return nullptr;
  }
  std::string LowerValue(std::string_view Name) const {
    const TTagAttribute* a = Find(Name);
    return a ? LowerCopy(Trim(a->Value(text_))) : std::string();
  }

  bool RunsCode() const {
    const TTagAttribute* type = Find("type");
    if (!type) {
      const TTagAttribute* language = Find("language");
      if (!language || Trim(language->Value(text_)).empty()) return true;
      return OneOf("text/" + LowerValue("language"), kScriptTypes);
    }
    std::string essence = LowerValue("type");
    essence = Trim(essence.substr(0, essence.find(';')));
    return OneOf(essence, kScriptTypes);
  }

  bool DroppedMeta() const {
    const std::string equiv = LowerValue("http-equiv");
    if (equiv == "refresh" || equiv.rfind("content-security-policy", 0) == 0) return true;
    return depth_ == 0 && (Find("charset") || equiv == "content-type");
  }

  void Attribute(const std::string& Tag, const TTagAttribute& A) {
    if (A.Name.size() > 2 && A.Name[0] == 'o' && A.Name[1] == 'n') {
      Drop(A.Lead, A.End);
      return;
    }
    if (A.Name == "srcdoc" && Tag == "iframe" && depth_ < kMaxSrcDocDepth) {
      const std::string page = DecodeCharacterReferences(A.Value(text_));
      const std::string inert = InertCopy(page, depth_ + 1).Run();
      if (inert == page) return;
      const bool quoted = A.ValueStart > 0 && (text_[A.ValueStart - 1] == '"' ||
                                               text_[A.ValueStart - 1] == '\'');
      Copy(A.ValueStart);
      out_.append(AttributeText(inert, quoted));
      copied_ = std::max(copied_, A.ValueEnd);
      return;
    }
    if (!OneOf(A.Name, kAddressAttributes) || !IsJavaScriptAddress(A.Value(text_))) return;
    if ((Tag == "a" || Tag == "area") && (A.Name == "href" || A.Name == "xlink:href") &&
        A.ValueEnd > A.ValueStart) {
      // Still a link, to nowhere.
      Copy(A.ValueStart);
      out_.append("#");
      copied_ = std::max(copied_, A.ValueEnd);
      return;
    }
    Drop(A.Lead, A.End);
  }

  std::string_view text_;
  int depth_;
  std::string out_;
  std::size_t copied_ = 0;
  std::vector<TTagAttribute> attributes_;
  int foreign_ = 0;
  bool charsetWritten_ = false;
};

}  // namespace

std::string InertPage(std::string_view Html) { return InertCopy(Html, 0).Run(); }

}  // namespace leafstash
