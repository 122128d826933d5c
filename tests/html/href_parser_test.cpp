#include "html/href_parser.h"
#include "html/text_utils.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

namespace leafstash {
namespace {

using Found = std::vector<std::pair<std::string, std::string>>;  // tag, text

// Scans Html as one line and records every event.
struct Scan {
  explicit Scan(const std::string& Html, THREFKind Mode = THREFKind::Page) {
    if (Mode == THREFKind::StyleSheet) parser.Document().URL.SetAddress("s.css");
    if (Mode == THREFKind::Picture) parser.Document().URL.SetAddress("p.gif");
    parser.SetOnFoundHyperlink([this](THREFDocument* doc, const std::string& link) {
      EXPECT_EQ(doc, &parser.Document());
      links.emplace_back(doc->TagName, link);
    });
    parser.SetOnFoundScript([this](THREFDocument*, const std::string& tag,
                                   const std::string& code) {
      scripts.emplace_back(tag, code);
    });
    parser.SetHTML({Html});
  }
  THREFParser parser;
  Found links;
  Found scripts;
};

Found Links(const std::string& Html) { return Scan(Html).links; }

TEST(THREFParser, AttributeValuesAsWritten) {
  EXPECT_EQ(Links("<a href=\"page.html\">x</a>"), (Found{{"A", "page.html"}}));
  EXPECT_EQ(Links("<A HREF = \"x.html\">"), (Found{{"A", "  x.html"}}));
  EXPECT_EQ(Links("<A HREF=\"a b+c.html\">"), (Found{{"A", "a b c.html"}}));
  EXPECT_EQ(Links("<IMG ALT=\"a>b\" SRC=pic.gif>"), (Found{{"IMG", "pic.gif"}}));
  EXPECT_EQ(Links("<IMG SRC='it\"s.gif'>"), (Found{{"IMG", "its.gif"}}));
  EXPECT_EQ(Links("<IMG SRC=a.gif WIDTH=10>"), (Found{{"IMG", "a.gif"}}));
  EXPECT_EQ(Links("<A HREF NAME=x>"), (Found{{"A", " x"}}));
  EXPECT_EQ(Links("<a hreflang=en href=b.html>"), (Found{{"A", "en"}}));
  EXPECT_EQ(Links("<A HREF=\"q.htm#sec2\">"), (Found{{"A", "q.htm#sec2"}}));
  EXPECT_EQ(Links("<A HREF=\"a.php?x=1&amp;y=2\">"),
            (Found{{"A", "a.php?x=1&amp;y=2"}}));
  EXPECT_EQ(Links("<A HREF=\"x=y\">"), (Found{{"A", "x=y"}}));
  EXPECT_EQ(Links("<A HREF=\"pa\r\nge.html\">"), (Found{{"A", "pa\r\nge.html"}}));
}

TEST(THREFParser, EveryTagWithItsAttribute) {
  EXPECT_EQ(Links("<area href=m.html><link rel=x href=s.css>"
                  "<frame src=f.html><iframe src=i.html><bgsound src=s.wav>"
                  "<body background=bg.gif>"),
            (Found{{"AREA", "m.html"},
                   {"LINK", "s.css"},
                   {"FRAME", "f.html"},
                   {"IFRAME", "i.html"},
                   {"BGSOUND", "s.wav"},
                   {"BODY", "bg.gif"}}));
  EXPECT_EQ(Links("<A HREF=\"#\"><A HREF=\"#top\"><A NAME=x><IMG>"),
            (Found{{"A", "#top"}}));
  EXPECT_EQ(Links("<!-- <A HREF=\"old.html\"> -->"), (Found{{"A", "old.html"}}));
  EXPECT_EQ(Links("<div><span a=1><A HREF=1.html></A></div>"), (Found{{"A", "1.html"}}));
  EXPECT_EQ(Links("<a href=x.gif><a href=x.gif>"),
            (Found{{"A", "x.gif"}, {"A", "x.gif"}}));
  // A TAB or LF does not end a tag name, so this tag is not recognised.
  EXPECT_EQ(Links("<A\tHREF=x.html>"), Found{});
  EXPECT_EQ(Links("<A\r\nHREF=x.html>"), (Found{{"A", "x.html"}}));
}

TEST(THREFParser, ScriptsTitlesAndMeta) {
  Scan withSrc("<SCRIPT SRC=\"a.js\"></SCRIPT>");
  EXPECT_EQ(withSrc.links, (Found{{"SCRIPT", "a.js"}}));
  EXPECT_TRUE(withSrc.scripts.empty());

  Scan code("<SCRIPT>x=1;</SCRIPT>");
  EXPECT_TRUE(code.links.empty());
  EXPECT_EQ(code.scripts, (Found{{"SCRIPT", "x=1;"}}));

  Scan lang("<script language=x>code</script><a href=after.html>");
  EXPECT_EQ(lang.scripts, (Found{{"SCRIPT", "language=x>code"}}));
  EXPECT_EQ(lang.links, (Found{{"A", "after.html"}}));

  Scan inCode("<SCRIPT>img.src = 'x.gif';</SCRIPT>");
  EXPECT_EQ(inCode.links, (Found{{"SCRIPT", "  x.gif"}}));
  EXPECT_TRUE(inCode.scripts.empty());

  Scan hidden("<script>document.write('<a href=no.html>')</script>");
  EXPECT_TRUE(hidden.links.empty());

  Scan title("<title>My page</title><TITLE>Second</TITLE>");
  EXPECT_EQ(title.parser.Document().Title, "Second");

  Scan meta("<META NAME=\"Keyword\" CONTENT=\"a,b\">"
            "<meta name=description content='About it'>"
            "<META NAME=\"keywords\" CONTENT=\"ignored\">");
  EXPECT_EQ(meta.parser.Document().Keywords, "a,b");
  EXPECT_EQ(meta.parser.Document().Description, "About it");
}

TEST(THREFParser, StyleBlocksAndStyleSheets) {
  EXPECT_EQ(Links("<STYLE>body { background: url(bg.gif) }</STYLE>"),
            (Found{{"STYLE", "bg.gif"}}));
  EXPECT_EQ(Links("<style>p{background:url('bg.gif')}</style>"),
            (Found{{"STYLE", "bg.gif"}}));
  EXPECT_EQ(Links("<style>p{background:URL(bg.gif) x:xurl(no.gif)}</style>"), Found{});
  EXPECT_EQ(Links("<style> url (a.gif), url(\"b.gif\")</style>"),
            (Found{{"STYLE", "a.gif"}, {"STYLE", "b.gif"}}));

  Scan sheet("a { background: url(x.gif) }\nb{c:url(y.gif)}", THREFKind::StyleSheet);
  EXPECT_EQ(sheet.links, (Found{{"", "x.gif"}, {"", "y.gif"}}));

  Scan picture("<img src=x.gif>", THREFKind::Picture);
  EXPECT_TRUE(picture.links.empty());
  EXPECT_EQ(picture.parser.HTML(), std::vector<std::string>{"<img src=x.gif>"});
}

TEST(THREFParser, PhpAndServerPages) {
  Scan php("<?php include(\"head.php\"); ?>");
  EXPECT_EQ(php.links, (Found{{"?PHP", "head.php"}}));
  EXPECT_EQ(php.scripts, (Found{{"?PHP", "?php include(\"head.php\"); ?>"}}));

  Scan header("<? Header(\"Location: next.html\"); readfile('a.txt'); ?>");
  EXPECT_EQ(header.links,
            (Found{{"?", "a.txt"}, {"?", "next.html"}, {"?", "a.txt"}}));

  Scan asp("<% x %><a href=y.html>");
  EXPECT_EQ(asp.scripts, (Found{{"%", "% x %>"}}));
  EXPECT_EQ(asp.links, (Found{{"A", "y.html"}}));

  EXPECT_EQ(GetCallArgument("(\"a.txt\", 'r')"), "a.txt");
  EXPECT_EQ(GetCallArgument("(\"Location:\")"), "");
  EXPECT_EQ(GetCallArgument("(\"Location: \")"), "");
  EXPECT_EQ(GetCallArgument("(x"), "");  // no ")": the last byte is left out
  EXPECT_EQ(GetCallArgument("(xy"), "x");
}

TEST(THREFParser, UnterminatedBlocksTakeTheRestAndEndTheScan) {
  Scan style("<a href=1.html><style> url(a.gif) <a href=2.html>");
  EXPECT_EQ(style.links, (Found{{"A", "1.html"}, {"STYLE", "a.gif"}}));

  Scan title("<title>No end <a href=x.html>");
  EXPECT_EQ(title.parser.Document().Title, "No end <a href=x.html>\r\n");
  EXPECT_TRUE(title.links.empty());

  Scan script("<script>var a = 1;");
  EXPECT_EQ(script.scripts, (Found{{"SCRIPT", "var a = 1;\r\n"}}));

  Scan php("<?php include(\"x.php\") <a href=y.html>");
  EXPECT_EQ(php.links, (Found{{"?PHP", "x.php"}}));
  EXPECT_EQ(php.scripts.size(), 1u);

  Scan asp("<% code");
  EXPECT_EQ(asp.scripts, (Found{{"%", "% code\r\n"}}));

  // Calls at the very end of a block and quotes that never close.
  EXPECT_EQ(Links("<style> url"), Found{});
  EXPECT_EQ(Links("<?php include"), Found{});
  EXPECT_EQ(Links("<a href=\"x.html>"), (Found{{"A", "x.html\r"}}));
  EXPECT_EQ(Links("<"), Found{});
  EXPECT_EQ(Links("<<<<a href=z>"), (Found{{"A", "z"}}));
}

TEST(THREFParser, LinesAreScannedOnceAndEmptied) {
  THREFParser parser;
  int count = 0;
  parser.SetOnFoundHyperlink([&](THREFDocument*, const std::string&) { ++count; });
  parser.SetHTML({"<a href=a.html>", "<img", "src=b.gif>"});
  EXPECT_EQ(count, 2);
  EXPECT_TRUE(parser.HTML().empty());
  parser.Parse();
  EXPECT_EQ(count, 2);
  parser.SetHTML({});
  parser.SetHTML({"no tags here"});
  EXPECT_EQ(count, 2);
  EXPECT_EQ(parser.Document().TagName, "IMG");  // kept from the last tag
}

TEST(THREFDocument, AssignCopiesContentButNotHandlers) {
  THREFDocument a;
  a.Hyperlinks.Add("b");
  a.Hyperlinks.Add("a");
  EXPECT_FALSE(a.Hyperlinks.Add("b"));
  a.URL.SetAddress("http://host/x.css");
  a.Lines = {"l1"};
  a.Title = "T";
  a.Keywords = "K";
  a.Description = "D";
  a.TagName = "A";
  a.OnFoundHyperlink = [](THREFDocument*, const std::string&) {};

  THREFDocument b;
  b.Assign(a);
  ASSERT_EQ(b.Hyperlinks.Count(), 2u);
  EXPECT_EQ(b.Hyperlinks[0], "a");
  EXPECT_EQ(b.Hyperlinks.IndexOf("b"), 1);
  EXPECT_EQ(b.Hyperlinks.IndexOf("c"), -1);
  EXPECT_EQ(b.URL.GetKind(), THREFKind::StyleSheet);
  EXPECT_EQ(b.Lines, a.Lines);
  EXPECT_EQ(b.Title + b.Keywords + b.Description, "TKD");
  EXPECT_EQ(b.TagName, "");
  EXPECT_FALSE(b.OnFoundHyperlink);
}

TEST(THREFParser, HandlersMayScanAgainFromInsideAnEvent) {
  THREFParser parser;
  std::vector<std::string> seen;
  parser.SetOnFoundHyperlink([&](THREFDocument*, const std::string& link) {
    seen.push_back(link);
    if (link == "outer.html") parser.SetHTML({"<a href=inner.html>"});
  });
  parser.SetHTML({"<a href=outer.html><a href=next.html>"});
  EXPECT_EQ(seen, (std::vector<std::string>{"outer.html", "inner.html", "next.html"}));
}

}  // namespace
}  // namespace leafstash

namespace leafstash {
namespace {

// Every link of a text scanned as a whole, with the tag it stood in.
Found TextLinks(std::string_view Text) {
  THREFParser parser;
  Found links;
  parser.SetOnFoundHyperlink([&](THREFDocument* doc, const std::string& link) {
    links.emplace_back(doc->TagName, link);
  });
  parser.SetHTMLText(Text);
  EXPECT_TRUE(parser.HTML().empty());
  return links;
}

TEST(THREFParser, TextIsScannedAsItsLines) {
  // CR ends a tag name and a LF does not, so line ends must read as CR LF
  // whatever the text used.
  const Found expected = {{"IMG", "a.gif\r\n"}, {"A", "b.html"}};
  EXPECT_EQ(TextLinks("<img\nsrc='a.gif\n'><a\nhref=b.html>"), expected);
  EXPECT_EQ(TextLinks("<img\rsrc='a.gif\r'><a\rhref=b.html>"), expected);
  EXPECT_EQ(TextLinks("<img\r\nsrc='a.gif\r\n'><a\r\nhref=b.html>\r\n"), expected);
  EXPECT_EQ(Scan("<img\r\nsrc='a.gif\r\n'><a\r\nhref=b.html>").links, expected);
  // Without a final line end the text still ends in one, as its lines would.
  EXPECT_EQ(TextLinks("<a href=\"x.html>"), (Found{{"A", "x.html\r"}}));
  EXPECT_EQ(TextLinks("<a href=\"x.html>\r\n"), (Found{{"A", "x.html\r"}}));
  EXPECT_EQ(TextLinks("<a href=\"x.html>\n\r"), (Found{{"A", "x.html\r\n\r"}}));
  EXPECT_EQ(TextLinks(""), Found{});
}

TEST(THREFParser, TextMayComeFromTheDocumentsOwnLines) {
  THREFParser parser;
  std::vector<std::string> links;
  parser.SetOnFoundHyperlink(
      [&](THREFDocument*, const std::string& link) { links.push_back(link); });
  parser.Document().URL.SetAddress("p.gif");
  parser.SetHTMLText("<a href=long-enough-to-live-on-the-heap.html>");
  parser.Document().URL = THREF();
  parser.SetHTMLText(parser.HTML()[0]);
  EXPECT_EQ(links, std::vector<std::string>{"long-enough-to-live-on-the-heap.html"});
}

TEST(THREFParser, TextOfAKindNotScannedIsKeptAsLines) {
  THREFParser parser;
  parser.Document().URL.SetAddress("http://h/p.gif");
  parser.SetHTMLText("a\r\nb\nc");
  EXPECT_EQ(parser.HTML(), (std::vector<std::string>{"a", "b", "c"}));
}

TEST(SplitLines, EveryKindOfLineEnd) {
  EXPECT_EQ(SplitLines("a\r\nb\nc\rd"), (std::vector<std::string>{"a", "b", "c", "d"}));
  EXPECT_EQ(SplitLines("a\r\n"), std::vector<std::string>{"a"});
  EXPECT_EQ(SplitLines("a\n\rb"), (std::vector<std::string>{"a", "", "b"}));
  EXPECT_EQ(SplitLines("\r\n\r\n"), (std::vector<std::string>{"", ""}));
  EXPECT_TRUE(SplitLines("").empty());
}

}  // namespace
}  // namespace leafstash
