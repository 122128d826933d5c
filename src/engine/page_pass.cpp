// Resource discovery in stored pages and style sheets, and the rewriting of
// their references once the downloads are over.
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <unordered_set>

#include "platform/charset/charset.h"
#include "platform/files/file_utils.h"
#include "engine/job_driver.h"
#include "engine/job_texts.h"
#include "core/process_values.h"
#include "html/tag_reader.h"
#include "html/text_utils.h"
#include "html/url_utils.h"

namespace leafstash {
namespace {

bool IsStored(TURLState State) {
  return State == TURLState::Done || State == TURLState::AwaitingRewrite;
}

// srcdoc pages inside srcdoc pages are read this deep, no deeper.
constexpr int kMaxSrcDocDepth = 8;

bool HasNonAscii(std::string_view Text) {
  return std::any_of(Text.begin(), Text.end(),
                     [](char c) { return static_cast<unsigned char>(c) >= 0x80; });
}

// Text in UTF-8: a page in another character set writes its non-ASCII
// characters in that set, and browsers request addresses in UTF-8.
std::string Utf8Text(const std::string& Text, const std::string& Charset) {
  if (IsUtf8Label(Charset) || !HasNonAscii(Text)) return Text;
  return ConvertToUtf8(Text, Charset).value_or(Text);
}

// The address a reference of Text stands for, in UTF-8: the reference's
// own, or one converted into Scratch. The text as written is converted
// before its references and escapes are decoded, so that a character
// written "&#233;" is not converted a second time.
std::string_view RefUrl(std::string_view Text, const TResourceRef& Ref, const std::string& Charset,
                        std::string& Scratch) {
  if (IsUtf8Label(Charset)) return Ref.Url;
  if (Ref.Role == TRefRole::Base || Ref.Role == TRefRole::SrcDoc)
    return Scratch = Utf8Text(Ref.Url, Charset);
  const std::string_view raw = Text.substr(Ref.Offset, Ref.Length);
  if (!HasNonAscii(raw)) return Ref.Url;
  const std::optional<std::string> converted = ConvertToUtf8(raw, Charset);
  if (!converted) return Ref.Url;
  return Scratch = DecodeRefText(*converted, Ref.Context);
}

// The address a reference asks for, as the table holds addresses; empty
// for references that are not fetched over http or https.
std::string RequestAddress(const TUrlBase& Base, std::string_view Url) {
  if (Url.empty() || Url[0] == '#' || !IsNotMailto(Url) || !IsNotScript(Url)) return {};
  const std::string resolved = ResolveUrl(Base, StripFragment(Url));
  return IsHttpUrl(resolved) ? EncodeAddress(resolved) : std::string();
}

// The address against which a page's references are read: its own, or
// the one its <base href> names.
std::string PageBase(const std::string& PageUrl, const std::vector<TResourceRef>& Refs,
                     const std::string& Charset) {
  for (const TResourceRef& ref : Refs) {
    if (ref.Role != TRefRole::Base) continue;
    std::string base = EncodeAddress(ResolveUrl(PageUrl, Utf8Text(ref.Url, Charset)));
    return IsHttpUrl(base) ? base : PageUrl;
  }
  return PageUrl;
}

}  // namespace

bool TJobDriver::ScanSavedPage(const std::string& Path) {
  const std::optional<std::string> text = ReadPageText(Path);
  if (!text) return false;
  const std::vector<TResourceRef> refs = ScanPageRefs(*text);
  const std::string charset = DeclaredCharset(*text);
  QueueRefs(*text, refs, TUrlBase(PageBase(CurrentPageURL, refs, charset)), charset, 0);
  return true;
}

bool TJobDriver::ScanSavedStyleSheet(const std::string& Path) {
  const std::optional<std::string> text = ReadPageText(Path);
  if (!text) return false;
  std::vector<TResourceRef> refs;
  ScanCssRefs(*text, 0, TRefContext::Css, 0, refs);
  QueueRefs(*text, refs, TUrlBase(CurrentPageURL), "", 0);
  return true;
}

void TJobDriver::QueueRefs(std::string_view Text, const std::vector<TResourceRef>& Refs,
                           const TUrlBase& Base, const std::string& Charset, int Depth) {
  std::string scratch;
  for (const TResourceRef& ref : Refs) {
    switch (ref.Role) {
      case TRefRole::Reference:
      case TRefRole::Base:
      case TRefRole::Integrity:
        continue;
      case TRefRole::SrcDoc:
        if (Depth < kMaxSrcDocDepth)
          QueueRefs(ref.Url, ScanPageRefs(ref.Url), Base, Charset, Depth + 1);
        continue;
      case TRefRole::Anchor: {
        // Linked pages come only when chosen, and the command line chooses
        // them here, from the browser page as it arrives.
        if (!takingLinks_) continue;
        const std::string address = RequestAddress(Base, RefUrl(Text, ref, Charset, scratch));
        if (!address.empty() && (TakeLinks == TLinkChoice::All ||
                                 GetSiteRoot(address) == GetSiteRoot(CurrentPageURL)) &&
            List().Add(address, "", "", "", TURLKind::Other, TURLState::Queued))
          List().MarkLinkedPage(address);
        continue;
      }
      default: {
        const std::string address = RequestAddress(Base, RefUrl(Text, ref, Charset, scratch));
        if (address.empty()) continue;
        const TURLKind kind = ref.Role == TRefRole::Picture ? TURLKind::Picture : TURLKind::Other;
        List().Add(address, CurrentPageURL, "", "", kind, TURLState::Queued);
      }
    }
  }
}

std::string TJobDriver::RewriteRefs(std::string_view Text, const std::vector<TResourceRef>& Refs,
                                    const TUrlBase& Base, const std::string& Charset,
                                    bool AbsoluteOnly, int Depth) {
  const TURLListMan& list = List();
  std::vector<TEdit> edits;
  std::unordered_set<std::uint32_t> localTags;  // elements with a local reference
  std::string scratch;
  for (const TResourceRef& ref : Refs) {
    if (ref.Role == TRefRole::Integrity) continue;
    if (AbsoluteOnly && !(IsHttpUrl(ref.Url) && ref.Role != TRefRole::Base)) continue;
    if (ref.Role == TRefRole::Base) {
      // The saved references are relative to the saved page itself.
      edits.push_back({ref.Offset, ref.Length, std::string()});
      continue;
    }
    if (ref.Role == TRefRole::SrcDoc) {
      if (Depth >= kMaxSrcDocDepth) continue;
      const std::string inner =
          RewriteRefs(ref.Url, ScanPageRefs(ref.Url), Base, Charset, false, Depth + 1);
      const bool quoted = ref.Offset > 0 && (Text[ref.Offset - 1] == '"' || Text[ref.Offset - 1] == '\'');
      if (inner != ref.Url) edits.push_back({ref.Offset, ref.Length, AttributeText(inner, quoted)});
      continue;
    }
    const std::string_view url = RefUrl(Text, ref, Charset, scratch);
    const std::string address = RequestAddress(Base, url);
    if (address.empty()) continue;  // fragments, data:, mailto: and the like
    const std::string fragment = GetFragment(url);
    std::string link;
    if (const auto index = list.FindByURL(address); index && IsStored(list.Item(*index).State)) {
      link = LocalNameAsLink(list.Item(*index).LocalName) + AddressAsLink(fragment);
      localTags.insert(ref.Tag);
    } else if (HasUrlScheme(url)) {
      continue;  // not saved, and already absolute: it works online as it is
    } else {
      // Not saved (failed, refused or not chosen): the copy points at the
      // web, never at a file that is not there.
      link = AddressAsLink(address + fragment);
    }
    edits.push_back({ref.Offset, ref.Length, LinkForContext(link, ref.Context)});
  }
  for (const TResourceRef& ref : Refs)
    if (ref.Role == TRefRole::Integrity && localTags.count(ref.Tag))
      edits.push_back({ref.Offset, ref.Length, std::string()});
  return ApplyEdits(Text, std::move(edits));
}

void TJobDriver::RewritePages() {
  TURLListMan& list = List();
  rewriting_ = true;
  barPosition_ = 0;
  barMaximum_ = static_cast<long long>(list.CountInState(TURLState::AwaitingRewrite));
  UpdateProgress(false);
  while (const auto index = list.FindFirstInState(TURLState::AwaitingRewrite)) {
    const TURLEntry& entry = list.Item(*index);
    CurrentPageURL = entry.ActualURL;
    const std::string path = Process().DestPath + entry.LocalName;
    try {
      const std::optional<std::string> text = ReadFileNoFollow(path);
      if (!text) throw TFileError(path, ENOENT);
      const bool absoluteOnly = list.RewritesAbsoluteOnly(*index);
      std::string rewritten;
      if (!IsScannedPage(*text)) {
        rewritten = *text;
      } else if (entry.Kind != TURLKind::Page) {
        // A style sheet: the only files besides pages that wait for this.
        std::vector<TResourceRef> refs;
        ScanCssRefs(*text, 0, TRefContext::Css, 0, refs);
        rewritten = RewriteRefs(*text, refs, TUrlBase(CurrentPageURL), "", absoluteOnly, 0);
      } else {
        // A page taken over from an earlier job keeps its line ends.
        const std::string page = absoluteOnly ? *text : WithCrLfLines(*text);
        const std::vector<TResourceRef> refs = ScanPageRefs(page);
        const std::string charset = DeclaredCharset(page);
        rewritten = RewriteRefs(page, refs, TUrlBase(PageBase(CurrentPageURL, refs, charset)),
                                charset, absoluteOnly, 0);
      }
      // A file the rewrite leaves as it is stays untouched.
      if (rewritten != *text) WriteFileAtomically(path, rewritten, 0644, false);
      list.SetState(*index, TURLState::Done);
    } catch (const TFileError& e) {
      if (Process().ReportError) Process().ReportError(e.what());
      Fail(*index, std::strerror(e.Errno()));
    }
    ++barPosition_;
    UpdateProgress(false);
  }
  Post(WM_JOB_CLOSE);
}

}  // namespace leafstash
