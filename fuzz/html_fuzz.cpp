// Feeds arbitrary bytes to the scanner, the address record and the URL and
// text helpers. They must never crash, read outside their input or hang.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "html/href.h"
#include "html/href_parser.h"
#include "html/inert_page.h"
#include "html/page_refs.h"
#include "html/text_utils.h"
#include "html/url_utils.h"

using namespace leafstash;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  const std::string_view input(reinterpret_cast<const char*>(Data), Size);

  std::size_t reported = 0;
  THREFParser parser;
  parser.SetOnFoundHyperlink([&](THREFDocument*, const std::string& link) {
    reported += link.size();
    // Reported links go through the same helpers as in the engine.
    const std::string address = CleanLink(link);
    (void)ResolveUrl("http://host/dir/page.html", address);
  });
  parser.SetOnFoundScript(
      [&](THREFDocument*, const std::string&, const std::string& code) {
        reported += code.size();
      });
  parser.SetHTMLText(input);
  parser.SetHTML(SplitLines(input));

  THREF href(input);
  const std::string composed = href.ComposeAddress();
  (void)href.GetKind();
  THREF again(composed);
  (void)again.GetKind();

  const std::size_t nul = input.find('\0');
  const std::string_view base = input.substr(0, nul);
  const std::string_view link =
      nul == std::string_view::npos ? std::string_view() : input.substr(nul + 1);
  (void)ResolveUrl(base, link);
  (void)ResolveUrl(link, base);

  (void)CleanLink(input);
  (void)GetUrlExtension(input);
  (void)TitleToFolderName(input);
  (void)StripFragment(input);
  (void)GetFragment(input);
  (void)SplitUrlPath(input);
  (void)FindSubstring(link, base, 1 + Size % 7);
  (void)ReplaceAll(base, link, "x");
  (void)ReplaceAll(input, "a", "");
  const std::size_t tokens = CountTokens(input, ",;");
  (void)GetToken(tokens, input, ",;");
  (void)GetToken(tokens + 1, input, ",;");
  (void)Utf8Prefix(input, Size / 2);
  std::string stripped(input);
  StripChars(stripped, LocalNameStripSet());

  // The reference scanners of pages, style sheets and srcset values: every
  // range they report lies inside the text they were given.
  const auto inside = [&](const std::vector<TResourceRef>& refs, std::size_t offset,
                          std::size_t size) {
    for (const TResourceRef& ref : refs) {
      if (ref.Offset < offset || ref.Length > size || ref.Offset - offset > size - ref.Length)
        __builtin_trap();
      reported += ref.Url.size();
      (void)EncodeAddress(ref.Url);
      (void)DecodePercent(ref.Url);
    }
  };
  inside(ScanPageRefs(input), 0, Size);
  std::vector<TResourceRef> refs;
  ScanCssRefs(input, 7, TRefContext::Css, 0, refs);
  inside(refs, 7, Size);
  refs.clear();
  ScanCssRefs(input, 0, TRefContext::CssInAttribute, 0, refs);
  inside(refs, 0, Size);
  refs.clear();
  ScanSrcset(input, 3, 0, refs);
  inside(refs, 3, Size);

  // The inert copy of a page, and of that copy (srcdoc pages nest).
  const std::string inert = InertPage(input);
  reported += inert.size() + InertPage(inert).size();
  return reported == SIZE_MAX;  // keeps the work observable
}
