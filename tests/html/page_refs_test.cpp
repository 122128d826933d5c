#include "html/page_refs.h"

#include <gtest/gtest.h>

namespace leafstash {
namespace {

const char* RoleName(TRefRole Role) {
  switch (Role) {
    case TRefRole::Anchor: return "anchor";
    case TRefRole::Reference: return "reference";
    case TRefRole::Picture: return "picture";
    case TRefRole::Frame: return "frame";
    case TRefRole::StyleSheet: return "sheet";
    case TRefRole::Resource: return "resource";
    case TRefRole::Base: return "base";
    case TRefRole::Integrity: return "integrity";
    case TRefRole::SrcDoc: return "srcdoc";
  }
  return "?";
}

// Each reference as "role url [raw text]", the raw text cut from Text at
// the reported range.
std::vector<std::string> Describe(std::string_view Text, const std::vector<TResourceRef>& Refs) {
  std::vector<std::string> out;
  for (const TResourceRef& ref : Refs)
    out.push_back(std::string(RoleName(ref.Role)) + " " + ref.Url + " [" +
                  std::string(Text.substr(ref.Offset, ref.Length)) + "]");
  return out;
}

std::vector<std::string> Page(std::string_view Html) { return Describe(Html, ScanPageRefs(Html)); }

std::vector<std::string> Sheet(std::string_view Css) {
  std::vector<TResourceRef> refs;
  ScanCssRefs(Css, 0, TRefContext::Css, 0, refs);
  return Describe(Css, refs);
}

using Lines = std::vector<std::string>;

TEST(Srcset, CandidatesAsBrowsersSplitThem) {
  const std::string value = " a,1.png 1x,\n\tb.png\t2x ,c.png,d.png 100w, e.png (x,y) 3x,, f.png";
  std::vector<TResourceRef> refs;
  ScanSrcset(value, 0, 0, refs);
  EXPECT_EQ(Describe(value, refs),
            (Lines{"picture a,1.png [a,1.png]", "picture b.png [b.png]",
                   // No blank after "c.png,": one URL with a comma in it.
                   "picture c.png,d.png [c.png,d.png]",
                   "picture e.png [e.png]", "picture f.png [f.png]"}));
  refs.clear();
  ScanSrcset(" , ,", 0, 0, refs);
  EXPECT_TRUE(refs.empty());
  // Parentheses in descriptors do not nest: the first ")" closes them.
  const std::string parens = "a.png 1x((),b.png 2x";
  ScanSrcset(parens, 0, 0, refs);
  EXPECT_EQ(Describe(parens, refs), (Lines{"picture a.png [a.png]", "picture b.png [b.png]"}));
}

TEST(PageRefs, EveryElementThatLoadsSomething) {
  EXPECT_EQ(Page("<img src=a.png srcset='b.png 2x, c.png 3x' data-src=\"d.png\" "
                 "data-srcset=\"e.png 1x\"><IMG SRC=first.png src=second.png>"),
            (Lines{"picture a.png [a.png]", "picture b.png [b.png]", "picture c.png [c.png]",
                   "picture d.png [d.png]", "picture e.png [e.png]",
                   "picture first.png [first.png]"}));
  EXPECT_EQ(Page("<video poster=p.png src=v.mp4><source src=s.webm><track src=t.vtt></video>"
                 "<audio src=a.mp3></audio><embed src=e.svg><object data=o.pdf></object>"
                 "<input type=IMAGE src=i.png><input type=text src=no.png>"
                 "<table background=t.png><td background=d.png><th background=h.png>"
                 "<body background=b.gif><frame src=f.html><iframe src=i.html></iframe>"
                 "<script src=s.js></script>"),
            (Lines{"picture p.png [p.png]", "resource v.mp4 [v.mp4]", "resource s.webm [s.webm]",
                   "resource t.vtt [t.vtt]", "resource a.mp3 [a.mp3]", "resource e.svg [e.svg]",
                   "resource o.pdf [o.pdf]", "picture i.png [i.png]", "picture t.png [t.png]",
                   "picture d.png [d.png]", "picture h.png [h.png]", "resource b.gif [b.gif]",
                   "frame f.html [f.html]", "frame i.html [i.html]", "resource s.js [s.js]"}));
  EXPECT_EQ(Page("<svg><image href=\"s.png\"/><use xlink:href=\"icons.svg#a\"/><use href=\"#b\"/>"
                 "<a xlink:href=\"x.html\">x</a></svg><a href=\"p.html#s\">p</a><area href=m.html>"),
            (Lines{"picture s.png [s.png]", "resource icons.svg#a [icons.svg#a]",
                   "resource #b [#b]", "anchor x.html [x.html]", "anchor p.html#s [p.html#s]",
                   "anchor m.html [m.html]"}));
}

TEST(PageRefs, LinkElementsByTheirRel) {
  EXPECT_EQ(Page("<link rel=stylesheet href=a.css><link rel='alternate stylesheet' href=b.css>"
                 "<link rel=icon href=1.ico><link rel='shortcut icon' href=2.ico>"
                 "<link rel=apple-touch-icon href=3.png><link rel='alternate icon' href=4.svg>"
                 "<link rel=preload as=style href=p.css><link rel=preload as=image href=p.png>"
                 "<link rel=preload as=font href=p.woff2><link rel=modulepreload href=m.js>"),
            (Lines{"sheet a.css [a.css]", "sheet b.css [b.css]", "picture 1.ico [1.ico]",
                   "picture 2.ico [2.ico]", "picture 3.png [3.png]", "picture 4.svg [4.svg]",
                   "sheet p.css [p.css]", "picture p.png [p.png]", "resource p.woff2 [p.woff2]",
                   "resource m.js [m.js]"}));
  EXPECT_EQ(Page("<link rel=preload as=image href=a.png imagesrcset='b.png 2x'>"
                 "<link rel=apple-touch-icon-precomposed href=c.png>"),
            (Lines{"picture a.png [a.png]", "picture b.png [b.png]", "picture c.png [c.png]"}));
  // Addresses a page names that must keep working once its base is gone.
  EXPECT_EQ(Page("<form action=f.cgi><button formaction=b.cgi><input formaction=i.cgi>"
                 "<q cite=c.html><meta http-equiv=Refresh content=\"5; URL='next.html'\">"),
            (Lines{"reference f.cgi [f.cgi]", "reference b.cgi [b.cgi]", "reference i.cgi [i.cgi]",
                   "reference c.html [c.html]", "reference next.html [next.html]"}));
  // Named, never loaded: they are not fetched, only kept working.
  for (const char* rel : {"canonical", "alternate", "next", "prev", "author", "dns-prefetch",
                          "preconnect", "search", "iconic"})
    EXPECT_EQ(Page(std::string("<link rel=\"") + rel + "\" href=x>"), (Lines{"reference x [x]"}))
        << rel;
}

TEST(PageRefs, WhatIsNotMarkupIsNotLookedInto) {
  EXPECT_EQ(Page("<!-- <img src=c.png> --><script>var x = '<img src=s.png>';</script>"
                 "<textarea><img src=t.png></textarea><title><img src=n.png></title>"
                 "<img src=ok.png><p>1 < 2</p><!doctype html><?xml x?></div>"),
            (Lines{"picture ok.png [ok.png]"}));
  // A tag the text ends inside is dropped; an unclosed element runs to the end.
  EXPECT_TRUE(Page("<script src=\"a.js").empty());
  EXPECT_TRUE(Page("<style>p{background:url(x.png)").size() == 1);
  // Empty comments; an end tag needs its name whole; SVG's title is no raw text.
  EXPECT_EQ(Page("<!--><img src=a.png><!---><img src=b.png>"),
            (Lines{"picture a.png [a.png]", "picture b.png [b.png]"}));
  EXPECT_EQ(Page("<script>x='</scriptx><img src=no.png>'</script ><img src=c.png>"),
            (Lines{"picture c.png [c.png]"}));
  EXPECT_EQ(Page("<svg><title/><image href=d.png /></svg><title>t</title><img src=e.png>"),
            (Lines{"picture d.png [d.png]", "picture e.png [e.png]"}));
  // Of many attributes of one name, the first counts.
  std::string many = "<img";
  for (int i = 0; i < 40; ++i) many += " a" + std::to_string(i % 20) + "=" + std::to_string(i);
  EXPECT_EQ(Page(many + " src=f.png src=g.png>"), (Lines{"picture f.png [f.png]"}));
  EXPECT_TRUE(Page("<").empty());
  // Character references and line breaks in a value are read as a browser reads them.
  EXPECT_EQ(Page("<img src=\"a.php?x=1&amp;y=2\n\"><a href=' b.html '>"),
            (Lines{"picture a.php?x=1&y=2 [a.php?x=1&amp;y=2\n]", "anchor b.html [ b.html ]"}));
}

TEST(PageRefs, BaseIntegrityAndSrcdocCoverWholeAttributes) {
  EXPECT_EQ(Page("<base target=_top href=\"/sub/\"><base href=other/>"
                 "<script src=a.js integrity=\"sha384-x\" crossorigin></script>"
                 "<link rel=canonical href=c integrity=x><div integrity=y>"),
            (Lines{"base /sub/ [ href=\"/sub/\"]", "resource a.js [a.js]",
                   "integrity  [ integrity=\"sha384-x\"]", "integrity  [ crossorigin]",
                   "reference c [c]", "integrity  [ integrity=x]"}));
  EXPECT_EQ(Page("<iframe srcdoc=\"<img src=&quot;x.png&quot;>\"></iframe>"),
            (Lines{"srcdoc <img src=\"x.png\"> [<img src=&quot;x.png&quot;>]"}));
}

TEST(CssRefs, UrlInEverySpellingImportsAndFonts) {
  EXPECT_EQ(Sheet("a{background:url(a.png)}b{x:url('b.png')}c{x:url( \"c.png\" )}"
                  "d{x:URL(d.png )}e{x:url(e\\ f.png)}f{x:myurl(no.png)}"),
            (Lines{"picture a.png [a.png]", "picture b.png [b.png]", "picture c.png [c.png]",
                   "picture d.png [d.png]", "picture e f.png [e\\ f.png]"}));
  EXPECT_EQ(Sheet("@import \"a.css\";@import url(b.css);@import url('c.css') screen;"
                  "@IMPORT 'd.css' print;p{content:\"e.css\"}"),
            (Lines{"sheet a.css [a.css]", "sheet b.css [b.css]", "sheet c.css [c.css]",
                   "sheet d.css [d.css]"}));
  EXPECT_EQ(Sheet("@font-face{src:url(f.eot?#iefix&v=4.6.3) format('eot'),url(f.woff2),"
                  "local(Arial)}p{background:url(bg.png)}"),
            (Lines{"resource f.eot?#iefix&v=4.6.3 [f.eot?#iefix&v=4.6.3]",
                   "resource f.woff2 [f.woff2]", "picture bg.png [bg.png]"}));
  // The address of a namespace names no file.
  EXPECT_EQ(Sheet("@namespace url(http://www.w3.org/1999/xhtml);@namespace s url(x);"
                  "p{background:url(a.png)}"),
            (Lines{"picture a.png [a.png]"}));
  EXPECT_EQ(Sheet("p{background:image-set(\"a.png\" 1x, url(b.png) 2x)}q{content:\"no.png\"}"),
            (Lines{"picture a.png [a.png]", "picture b.png [b.png]"}));
  // Left alone: fragments, inline data, comments and strings.
  EXPECT_TRUE(Sheet("p{filter:url(#f);behavior:url(#default#x);background:url(data:image/png,x)}"
                    "/* url(c.png) */q{content:'url(s.png)'}")
                  .empty());
}

TEST(CssRefs, StyleAttributesAndBlocksOfAPage) {
  const std::string html =
      "<p style=\"background:url(&quot;a.png&quot;);x:url( b.png )\">"
      "<style>@import 'c.css'; p{background:url(d.png)}</style>";
  EXPECT_EQ(Page(html), (Lines{"picture a.png [&quot;a.png&quot;]", "picture b.png [b.png]",
                               "sheet c.css [c.css]", "picture d.png [d.png]"}));
  const std::vector<TResourceRef> refs = ScanPageRefs(html);
  EXPECT_EQ(refs[0].Context, TRefContext::CssInAttribute);
  EXPECT_EQ(refs[3].Context, TRefContext::Css);
}

}  // namespace
}  // namespace leafstash
