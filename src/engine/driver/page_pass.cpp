// Resource discovery in stored pages and the rewriting of their links.
#include <cerrno>
#include <cstring>

#include "file_utils.h"
#include "job_driver.h"
#include "job_texts.h"
#include "process_values.h"
#include "text_utils.h"
#include "url_utils.h"

namespace leafstash {

bool TJobDriver::ScanSavedPage(const std::string& Path) {
  const std::optional<std::string> text = ReadPageText(Path);
  if (!text) return false;
  GrabParser.SetHTMLText(*text);
  return true;
}

void TJobDriver::GrabParserFoundHyperlink(THREFDocument*, const std::string& Link) {
  const std::string& tag = GrabParser.Document().TagName;
  if (!tag.empty() && tag[0] == 'A') {
    // Anchors: linked pages come only when chosen, and the command line
    // chooses them here, from the browser page as it arrives.
    if (takingLinks_ && (tag == "A" || tag == "AREA")) {
      const std::string address = ResolveUrl(CurrentPageURL, StripFragment(CleanLink(Link)));
      if (IsHttpUrl(address) && (TakeLinks == TLinkChoice::All ||
                                 GetSiteRoot(address) == GetSiteRoot(CurrentPageURL)))
        List().Add(address, "", "", "", TURLKind::Other, TURLState::Queued);
    }
    return;
  }
  const TURLKind kind = tag == "IMG" ? TURLKind::Picture : TURLKind::Other;
  const std::string address = CleanLink(Link);
  if (!IsNotMailto(address) || !IsNotScript(address)) return;
  List().Add(address, CurrentPageURL, "", "", kind, TURLState::Queued);
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
    LinkPairs.clear();
    const std::string path = Process().DestPath + entry.LocalName;
    try {
      const std::optional<std::string> text = ReadFileNoFollow(path);
      if (!text) throw TFileError(path, ENOENT);
      if (IsTextPage(*text) && static_cast<std::int64_t>(text->size()) <= kMaxScannedPage) {
        const std::string page = WithCrLfLines(*text);
        UpdateParser.SetHTMLText(page);
        const std::string rewritten = RewriteLinks(page, LinkPairs);
        // A page the rewrite leaves as it is keeps its file untouched.
        if (rewritten != *text) WriteFileAtomically(path, rewritten, 0644, false);
      }
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

void TJobDriver::UpdateParserFoundHyperlink(THREFDocument*, const std::string& Link) {
  // The address the link stands for, and the text as it stands in the page.
  std::string cleaned;
  const std::string_view address = IsCleanLink(Link) ? std::string_view(Link)
                                                     : std::string_view(cleaned = CleanLink(Link));
  const std::string_view withoutFragment = address.substr(0, address.find('#'));
  if (!currentBase_ || currentBaseFor_ != CurrentPageURL) {
    currentBase_.emplace(CurrentPageURL);
    currentBaseFor_ = CurrentPageURL;
  }
  ResolveUrlInto(*currentBase_, withoutFragment, resolved_);
  TLinkPair pair;
  if (const auto index = List().FindByURL(resolved_)) {
    pair.FoundText.assign(TrimView(Link));
    pair.Replacement = LocalNameAsLink(List().Item(*index).LocalName);
    if (withoutFragment.size() < address.size()) pair.Replacement += FragmentAsWritten(pair.FoundText);
  }
  // A link the table does not hold keeps no text: nothing replaces it.
  LinkPairs.push_back(std::move(pair));
}

}  // namespace leafstash
