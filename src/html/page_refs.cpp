// Finding the references of an HTML page, tag by tag, as a browser's
// tokenizer reads the tags: attribute names and values by the HTML rules,
// the first of two attributes of one name counting, and the content of
// script, style and the other raw-text elements skipped whole.
#include <algorithm>
#include <cstring>
#include <unordered_set>

#include "html/byte_search.h"
#include "html/page_refs.h"
#include "html/tag_reader.h"
#include "html/text_utils.h"
#include "html/url_utils.h"

namespace leafstash {
namespace {

constexpr std::size_t npos = std::string_view::npos;

using Attribute = TTagAttribute;

class PageScan {
 public:
  explicit PageScan(std::string_view Html) : text_(Html) {}

  std::vector<TResourceRef> Run() {
    WalkTags(
        text_, [this](std::size_t P) { return StartTag(P); },
        [this] {
          if (foreign_ > 0) --foreign_;
        });
    return std::move(refs_);
  }

 private:
  // Reads the start tag whose name begins at P; returns where the walk
  // goes on.
  std::size_t StartTag(std::size_t P) {
    const std::size_t n = text_.size();
    const std::size_t q = TagNameEnd(text_, P);
    const std::string name = LowerCopy(text_.substr(P, q - P));
    attributes_.clear();
    // A fresh set: clearing one keeps the buckets a tag of many attributes
    // grew, and every later tag would pay for them.
    if (!seen_.empty()) seen_ = {};
    bool selfClosing = false;
    const std::size_t end = ReadAttributes(q, selfClosing);
    // A tag the text ends inside is dropped, as browsers drop it.
    if (end == npos) return n;
    ++tag_;
    Element(name);
    if (name == "svg" || name == "math") {
      if (!selfClosing) ++foreign_;
      return end;
    }
    // Inside SVG and MathML only script and style hold text of their own.
    static constexpr std::string_view kRawText[] = {
        "script", "style", "textarea", "title", "xmp", "iframe", "noembed", "noframes"};
    for (std::string_view raw : kRawText) {
      if (name != raw) continue;
      if (foreign_ > 0 && (selfClosing || (name != "script" && name != "style"))) return end;
      const std::size_t contentEnd = RawTextEnd(text_, name, end);
      if (name == "style")
        ScanCssRefs(text_.substr(end, contentEnd - end), end, TRefContext::Css, tag_, refs_);
      return contentEnd;
    }
    return end;
  }

  // Reads the attributes that follow the tag name ending at Q into
  // attributes_; returns the offset after the tag's ">", npos when the
  // text ends inside the tag. SelfClosing: the tag ends with "/>".
  std::size_t ReadAttributes(std::size_t Q, bool& SelfClosing) {
    Attribute a;
    while (NextTagAttribute(text_, Q, a, SelfClosing)) {
      // The first of two attributes of one name counts; a tag with many
      // is checked through a set, so that none costs more than its length.
      bool first;
      if (attributes_.size() < 16) {
        first = !Find(a.Name);
      } else {
        if (seen_.empty())
          for (const Attribute& earlier : attributes_) seen_.insert(earlier.Name);
        first = seen_.insert(a.Name).second;
      }
      if (first) attributes_.push_back(std::move(a));
    }
    return Q;
  }

  const Attribute* Find(std::string_view Name) const {
    for (const Attribute& a : attributes_)
      if (a.Name == Name) return &a;
    return nullptr;
  }

  std::string_view Value(const Attribute& A) const { return A.Value(text_); }

  std::string LowerValue(std::string_view Name) const {
    const Attribute* a = Find(Name);
    return a ? LowerCopy(Trim(Value(*a))) : std::string();
  }

  void Emit(const Attribute* A, TRefRole Role) {
    if (!A) return;
    std::string url = DecodeRefText(Value(*A), TRefContext::HtmlAttribute);
    if (url.empty()) return;
    refs_.push_back({A->ValueStart, A->ValueEnd - A->ValueStart, std::move(url), Role,
                     TRefContext::HtmlAttribute, tag_});
  }

  void EmitSrcset(std::string_view Name) {
    if (const Attribute* a = Find(Name)) ScanSrcset(Value(*a), a->ValueStart, tag_, refs_);
  }

  // The whole attribute, with the blanks before it.
  void EmitWhole(const Attribute* A, TRefRole Role) {
    if (!A) return;
    refs_.push_back({A->Lead, A->End - A->Lead, std::string(), Role,
                     TRefContext::HtmlAttribute, tag_});
  }

  void Element(const std::string& Name) {
    if (const Attribute* style = Find("style"))
      ScanCssRefs(Value(*style), style->ValueStart, TRefContext::CssInAttribute, tag_, refs_);
    const std::size_t before = refs_.size();
    if (Name == "a" || Name == "area") {
      Emit(Find("href"), TRefRole::Anchor);
      if (!Find("href")) Emit(Find("xlink:href"), TRefRole::Anchor);
    } else if (Name == "img") {
      Emit(Find("src"), TRefRole::Picture);
      EmitSrcset("srcset");
      Emit(Find("data-src"), TRefRole::Picture);
      EmitSrcset("data-srcset");
    } else if (Name == "source") {
      Emit(Find("src"), TRefRole::Resource);
      EmitSrcset("srcset");
      EmitSrcset("data-srcset");
    } else if (Name == "video") {
      Emit(Find("poster"), TRefRole::Picture);
      Emit(Find("src"), TRefRole::Resource);
    } else if (Name == "audio" || Name == "track" || Name == "embed" || Name == "script") {
      Emit(Find("src"), TRefRole::Resource);
    } else if (Name == "object") {
      Emit(Find("data"), TRefRole::Resource);
    } else if (Name == "input") {
      if (LowerValue("type") == "image") Emit(Find("src"), TRefRole::Picture);
      Emit(Find("formaction"), TRefRole::Reference);
    } else if (Name == "body") {
      // Saved with or without pictures; its type makes it one.
      Emit(Find("background"), TRefRole::Resource);
    } else if (Name == "table" || Name == "td" || Name == "th") {
      Emit(Find("background"), TRefRole::Picture);
    } else if (Name == "frame" || Name == "iframe") {
      Emit(Find("src"), TRefRole::Frame);
      if (const Attribute* doc = Find("srcdoc"); doc && Name == "iframe")
        refs_.push_back({doc->ValueStart, doc->ValueEnd - doc->ValueStart,
                         DecodeCharacterReferences(Value(*doc)), TRefRole::SrcDoc,
                         TRefContext::HtmlAttribute, tag_});
    } else if (Name == "link") {
      const TRefRole role = LinkRole();
      Emit(Find("href"), role);
      if (role == TRefRole::Picture) EmitSrcset("imagesrcset");
    } else if (Name == "form") {
      Emit(Find("action"), TRefRole::Reference);
    } else if (Name == "button") {
      Emit(Find("formaction"), TRefRole::Reference);
    } else if (Name == "blockquote" || Name == "q" || Name == "ins" || Name == "del") {
      Emit(Find("cite"), TRefRole::Reference);
    } else if (Name == "meta") {
      EmitRefresh();
    } else if (Name == "image" || Name == "use") {
      const Attribute* href = Find("href");
      Emit(href ? href : Find("xlink:href"), Name == "image" ? TRefRole::Picture
                                                              : TRefRole::Resource);
    } else if (Name == "base") {
      if (!baseSeen_ && Find("href")) {
        baseSeen_ = true;
        Emit(Find("href"), TRefRole::Base);
        if (refs_.size() > before) {
          // The range is the whole attribute: the saved copy drops it.
          const Attribute* href = Find("href");
          TResourceRef& ref = refs_.back();
          ref.Offset = href->Lead;
          ref.Length = href->End - href->Lead;
        }
      }
    }
    // Integrity checks and CORS mode fail for files: the saved copy drops
    // them where the element's reference is made local.
    if (refs_.size() > before) {
      EmitWhole(Find("integrity"), TRefRole::Integrity);
      EmitWhole(Find("crossorigin"), TRefRole::Integrity);
    }
  }

  // What a link element's rel and as make of its href.
  TRefRole LinkRole() const {
    const std::string rel = " " + LowerValue("rel") + " ";
    const auto has = [&](std::string_view Word) {
      for (std::size_t at = rel.find(Word); at != npos; at = rel.find(Word, at + 1))
        if (IsMarkupSpace(rel[at - 1]) && IsMarkupSpace(rel[at + Word.size()])) return true;
      return false;
    };
    if (has("stylesheet")) return TRefRole::StyleSheet;
    // "icon", "shortcut icon", "apple-touch-icon", "mask-icon", ...
    std::size_t start = 0;
    for (std::size_t k = 1; k < rel.size(); ++k) {
      if (!IsMarkupSpace(rel[k])) continue;
      const std::string_view word = std::string_view(rel).substr(start + 1, k - start - 1);
      if (word.size() >= 4 && word.substr(word.size() - 4) == "icon") return TRefRole::Picture;
      if (word == "apple-touch-startup-image" || word == "apple-touch-icon-precomposed")
        return TRefRole::Picture;
      start = k;
    }
    if (has("modulepreload")) return TRefRole::Resource;
    if (has("preload")) {
      const std::string as = LowerValue("as");
      if (as == "style") return TRefRole::StyleSheet;
      if (as == "image") return TRefRole::Picture;
      return TRefRole::Resource;
    }
    return TRefRole::Reference;
  }

  // The address of <meta http-equiv=refresh content="5; url=...">.
  void EmitRefresh() {
    if (LowerValue("http-equiv") != "refresh") return;
    const Attribute* content = Find("content");
    if (!content) return;
    const std::string value = LowerCopy(Value(*content));
    std::size_t at = value.find("url");
    if (at == npos) return;
    at += 3;
    while (at < value.size() && IsMarkupSpace(value[at])) ++at;
    if (at >= value.size() || value[at] != '=') return;
    ++at;
    while (at < value.size() && IsMarkupSpace(value[at])) ++at;
    std::size_t end = value.size();
    if (at < end && (value[at] == '"' || value[at] == '\'')) {
      const std::size_t close = value.find(value[at], at + 1);
      ++at;
      end = close == npos ? end : close;
    }
    while (end > at && IsMarkupSpace(value[end - 1])) --end;
    std::string url = CleanLink(Value(*content).substr(at, end - at));
    if (url.empty()) return;
    refs_.push_back({content->ValueStart + at, end - at, std::move(url), TRefRole::Reference,
                     TRefContext::HtmlAttribute, tag_});
  }

  std::string_view text_;
  std::vector<Attribute> attributes_;
  std::unordered_set<std::string> seen_;  // names of a tag with many attributes
  int foreign_ = 0;                       // <svg> and <math> elements open
  std::vector<TResourceRef> refs_;
  std::uint32_t tag_ = 0;
  bool baseSeen_ = false;
};

}  // namespace

std::vector<TResourceRef> ScanPageRefs(std::string_view Html) { return PageScan(Html).Run(); }

std::string DeclaredCharset(std::string_view Html) {
  const std::string head = LowerCopy(Html.substr(0, 1024));
  for (std::size_t meta = head.find("<meta"); meta != npos; meta = head.find("<meta", meta + 5)) {
    const std::size_t end = std::min(head.find('>', meta), head.size());
    const std::size_t at = head.find("charset", meta);
    if (at == npos || at > end) continue;
    std::size_t i = at + 7;
    while (i < end && (IsMarkupSpace(head[i]) || head[i] == '=' || head[i] == '"' || head[i] == '\''))
      ++i;
    std::size_t j = i;
    while (j < end && (IsAsciiLetter(static_cast<unsigned char>(head[j])) ||
                       IsAsciiDigit(static_cast<unsigned char>(head[j])) ||
                       std::string_view("-_.:").find(head[j]) != npos))
      ++j;
    if (j > i) return head.substr(i, j - i);
  }
  return {};
}

void ScanSrcset(std::string_view Value, std::size_t Offset, std::uint32_t Tag,
                std::vector<TResourceRef>& Out) {
  const std::size_t n = Value.size();
  std::size_t i = 0;
  while (i < n) {
    // Blanks and commas before a candidate.
    while (i < n && (IsMarkupSpace(Value[i]) || Value[i] == ',')) ++i;
    if (i >= n) break;
    const std::size_t start = i;
    while (i < n && !IsMarkupSpace(Value[i])) ++i;
    std::size_t end = i;
    bool descriptors = true;
    // Commas at the end of the URL end the candidate: it has no descriptor.
    if (Value[end - 1] == ',') {
      while (end > start && Value[end - 1] == ',') --end;
      descriptors = false;
    }
    if (end > start) {
      std::string url = CleanLink(Value.substr(start, end - start));
      if (!url.empty())
        Out.push_back({Offset + start, end - start, std::move(url), TRefRole::Picture,
                       TRefContext::HtmlAttribute, Tag});
    }
    if (!descriptors) continue;
    // The descriptors run to a comma outside parentheses (which do not
    // nest: the first ")" closes).
    bool inParens = false;
    while (i < n && !(Value[i] == ',' && !inParens)) {
      if (Value[i] == '(') inParens = true;
      if (Value[i] == ')') inParens = false;
      ++i;
    }
  }
}

}  // namespace leafstash
