#include "html/url_utils.h"

#include <gtest/gtest.h>

namespace leafstash {
namespace {

TEST(Fragment, FirstHashSplits) {
  EXPECT_EQ(StripFragment("a.html#x#y"), "a.html");
  EXPECT_EQ(GetFragment("a.html#x#y"), "#x#y");
  EXPECT_EQ(StripFragment("a.html"), "a.html");
  EXPECT_EQ(GetFragment("a.html"), "");
  EXPECT_EQ(StripFragment("#top"), "");
}

TEST(SplitUrlPath, RootMiddleLast) {
  UrlPathParts p = SplitUrlPath("http://host/a/b/c.html?x=1");
  EXPECT_EQ(p.Root, "http://host/");
  EXPECT_EQ(p.Middle, "a/b/");
  EXPECT_EQ(p.Last, "c.html?x=1");

  p = SplitUrlPath("http://host");
  EXPECT_EQ(p.Root, "");
  EXPECT_EQ(p.Middle, "http://host");
  EXPECT_EQ(p.Last, "");
  EXPECT_EQ(GetSiteRoot("http://host"), "");
  EXPECT_EQ(GetBaseDirectory("http://host"), "http://host");

  EXPECT_EQ(GetSiteRoot("http://host/x"), "http://host/");
  EXPECT_EQ(GetBaseDirectory("http://host/x"), "http://host/");
  EXPECT_EQ(GetLastSegment("http://host/a/"), "");
  EXPECT_EQ(GetLastSegment("a/b.gif"), "b.gif");
  EXPECT_EQ(GetSiteRoot("a/b/c.gif"), "a/");
  EXPECT_EQ(GetLastSegment(""), "");
}

TEST(GetUrlExtension, CutsAtTheFirstNonAddressCharacter) {
  EXPECT_EQ(GetUrlExtension("http://host/img/Photo.JPG?size=2"), "JPG");
  EXPECT_EQ(GetUrlExtension("http://host/dir/"), "");
  EXPECT_EQ(GetUrlExtension("http://host/a~b.gif"), "");
  EXPECT_EQ(GetUrlExtension("http://host/a.gif#x.png"), "gif");
  EXPECT_EQ(GetUrlExtension("http://host/a.b/c"), "");
  EXPECT_EQ(GetUrlExtension("http://host/a.x:y"), "");
  EXPECT_EQ(GetUrlExtension("http://host"), "");
  EXPECT_EQ(GetUrlExtension(""), "");
  // Every byte of a UTF-8 character belongs to the address.
  EXPECT_EQ(GetUrlExtension("http://host/\xD1\x84\xD0\xBE\xD1\x82\xD0\xBE.jpg"), "jpg");
  EXPECT_EQ(GetUrlExtension("http://host/a.\xC3\xA9t\xC3\xA9"), "\xC3\xA9t\xC3\xA9");
}

TEST(ResolveUrl, RelativeLinks) {
  const char* page = "http://host/a/b/page.html";
  EXPECT_EQ(ResolveUrl(page, "pic.gif"), "http://host/a/b/pic.gif");
  EXPECT_EQ(ResolveUrl(page, "../c/x.html"), "http://host/a/c/x.html");
  EXPECT_EQ(ResolveUrl(page, "../../x.html"), "http://host/x.html");
  EXPECT_EQ(ResolveUrl("http://host/a/page.html", "/img/x.gif"),
            "http://host/img/x.gif");
  EXPECT_EQ(ResolveUrl("http://host/a/page.html", "/"), "http://host/");
  EXPECT_EQ(ResolveUrl("http://host/a/page.html", "#top"),
            "http://host/a/page.html#top");
  EXPECT_EQ(ResolveUrl("http://host/a/page.html", "./x.html"), "http://host/a/x.html");
  EXPECT_EQ(ResolveUrl("http://host/a/page.html", "X.HTML?q=1#s"),
            "http://host/a/X.HTML?q=1#s");
  EXPECT_EQ(ResolveUrl("http:\\\\host\\a\\p.html", "b\\c.html"),
            "http://host/a/b/c.html");
  EXPECT_EQ(ResolveUrl("", "b\\c.html"), "b\\c.html");
  EXPECT_EQ(ResolveUrl("http://host/", ""), "");
}

TEST(ResolveUrl, AbsoluteLinksOfAnySchemeStayAsWritten) {
  EXPECT_EQ(ResolveUrl("http://host/a/", "https://other/x"), "https://other/x");
  EXPECT_EQ(ResolveUrl("http://host/a/", "HTTP://other/x"), "HTTP://other/x");
  EXPECT_EQ(ResolveUrl("http://host/a/", "ftp://other/x"), "ftp://other/x");
  EXPECT_EQ(ResolveUrl("http://host/a/", "mailto:x@y"), "mailto:x@y");
  EXPECT_EQ(ResolveUrl("http://host/a/", "javascript:go()"), "javascript:go()");
  EXPECT_EQ(ResolveUrl("http://host/a/", "data:image/png;base64,iVBO/w=="),
            "data:image/png;base64,iVBO/w==");
  EXPECT_EQ(ResolveUrl("http://host/a/", "svn+ssh:\\x"), "svn+ssh:/x");
  // http and https need "://" to be absolute.
  EXPECT_EQ(ResolveUrl("http://host/a/", "http:x.html"), "http://host/a/http:x.html");
  EXPECT_EQ(ResolveUrl("http://host/a/", "HTTPS:/x"), "http://host/a/HTTPS:/x");
  // Not schemes: a drive letter, a digit first, a colon later in a path.
  EXPECT_EQ(ResolveUrl("http://host/a/", "c:/x"), "http://host/a/c:/x");
  EXPECT_EQ(ResolveUrl("http://host/a/", "1a:b"), "http://host/a/1a:b");
  EXPECT_EQ(ResolveUrl("http://host/a/", "x/y:z"), "http://host/a/x/y:z");
}

TEST(ResolveUrl, ParentDirectoriesStopAtTheSiteRoot) {
  EXPECT_EQ(ResolveUrl("http://host/", "../x.html"), "http://host/x.html");
  EXPECT_EQ(ResolveUrl("http://host/p.html", "../evil.example/t.gif"),
            "http://host/evil.example/t.gif");
  EXPECT_EQ(ResolveUrl("http://host/a/p.html", "../../../../x.gif"),
            "http://host/x.gif");
  EXPECT_EQ(ResolveUrl("http://host/a/p.html", "/../x.gif"), "http://host/x.gif");
  EXPECT_EQ(ResolveUrl("http://host/a/p.html", "b/../../../c/x.gif"),
            "http://host/c/x.gif");
  // A base without any "/" has no root to keep: "../" leaves an empty result.
  EXPECT_EQ(ResolveUrl("p", "/../x"), "x");
}

TEST(ResolveUrl, BasesWithQueriesHostsOnlyAndSchemeRelativeLinks) {
  EXPECT_EQ(ResolveUrl("http://h/p.html", "//cdn.x/lib.js"), "http://cdn.x/lib.js");
  EXPECT_EQ(ResolveUrl("https://h/p.html", "//cdn.x/lib.js"),
            "https://cdn.x/lib.js");
  EXPECT_EQ(ResolveUrl("http://h/i.php?p=a/b", "x.gif"), "http://h/x.gif");
  EXPECT_EQ(ResolveUrl("http://h/d/i.php#a/b", "x.gif"), "http://h/d/x.gif");
  EXPECT_EQ(ResolveUrl("http://h/i.php?p=a/b", "/x.gif"), "http://h/x.gif");
  EXPECT_EQ(ResolveUrl("http://host", "pic.gif"), "http://host/pic.gif");
  EXPECT_EQ(ResolveUrl("http://host", "/pic.gif"), "http://host/pic.gif");
  EXPECT_EQ(ResolveUrl("http://host", "../pic.gif"), "http://host/pic.gif");
  EXPECT_EQ(ResolveUrl("http://host?x=1", "pic.gif"), "http://host/pic.gif");
  // A bare fragment still starts from the whole page address.
  EXPECT_EQ(ResolveUrl("http://h/i.php?p=1", "#s"), "http://h/i.php?p=1#s");
}

// A link of only a query stays on its page, and "." segments go, as in a
// browser; only the path is read for segments.
TEST(ResolveUrl, QueriesAndDotSegmentsAsBrowsersReadThem) {
  EXPECT_EQ(ResolveUrl("http://h/dir/index.html", "?page=2"), "http://h/dir/index.html?page=2");
  EXPECT_EQ(ResolveUrl("http://h/dir/index.html?page=1#s", "?page=2#t"),
            "http://h/dir/index.html?page=2#t");
  EXPECT_EQ(ResolveUrl("http://h", "?q"), "http://h/?q");
  EXPECT_EQ(ResolveUrl("http://h/dir/p.html", "./a.png"), "http://h/dir/a.png");
  EXPECT_EQ(ResolveUrl("http://h/dir/p.html", "b/./c/../a.png"), "http://h/dir/b/a.png");
  EXPECT_EQ(ResolveUrl("http://h/dir/p.html", "."), "http://h/dir/");
  EXPECT_EQ(ResolveUrl("http://h/dir/p.html", "./"), "http://h/dir/");
  EXPECT_EQ(ResolveUrl("http://h/dir/sub/p.html", ".."), "http://h/dir/");
  EXPECT_EQ(ResolveUrl("http://h/dir/p.html", "/./x/."), "http://h/x/");
  EXPECT_EQ(ResolveUrl("http://h/dir/p.html", ".hidden/./a"), "http://h/dir/.hidden/a");
  EXPECT_EQ(ResolveUrl("http://h/dir/p.html", "a.php?p=./x/../y"),
            "http://h/dir/a.php?p=./x/../y");
  EXPECT_EQ(ResolveUrl("http://h/dir/p.html", "a.png#./x/.."), "http://h/dir/a.png#./x/..");
}

TEST(TitleToFolderName, KeepsLettersDigitsAndWholeCharacters) {
  EXPECT_EQ(TitleToFolderName("My Page: 2.0 (beta)!"), "My Page 20 beta");
  EXPECT_EQ(TitleToFolderName("Caf\xC3\xA9: menu"), "Caf\xC3\xA9 menu");
  EXPECT_EQ(TitleToFolderName("\xD0\x9D\xD0\xBE\xD0\xB2\xD0\xBE\xD1\x81\xD1\x82"
                              "\xD0\xB8!"),
            "\xD0\x9D\xD0\xBE\xD0\xB2\xD0\xBE\xD1\x81\xD1\x82\xD0\xB8");
  EXPECT_EQ(TitleToFolderName("a_b-c\t\r\n/\\"), "a_b-c");
  // Broken sequences are dropped, the valid character after them is kept.
  EXPECT_EQ(TitleToFolderName("x\xC3y\xA9z\xE2\x82\xAC"), "xyz\xE2\x82\xAC");
  EXPECT_EQ(TitleToFolderName("..."), "");
  // Long titles are cut to a file name's room, never inside a character.
  EXPECT_EQ(TitleToFolderName(std::string(255, 'a')), std::string(200, 'a'));
  std::string cyrillic;
  for (int i = 0; i < 150; ++i) cyrillic += "\xD0\x96";
  EXPECT_EQ(TitleToFolderName("x" + cyrillic).size(), 199u);
}

TEST(CleanLink, TurnsReportedTextIntoAnAddress) {
  EXPECT_EQ(CleanLink("  x.html"), "x.html");
  EXPECT_EQ(CleanLink("pa\r\nge.html"), "page.html");
  EXPECT_EQ(CleanLink("\tx.html \r\n"), "x.html");
  EXPECT_EQ(CleanLink("a.php?x=1&amp;y=2"), "a.php?x=1&y=2");
  EXPECT_EQ(CleanLink("&lt;&gt;&quot;&apos;"), "<>\"'");
  EXPECT_EQ(CleanLink("a&#47;b&#x2F;c&#X2f;d"), "a/b/c/d");
  EXPECT_EQ(CleanLink("caf&#233;.html"), "caf\xC3\xA9.html");
  EXPECT_EQ(CleanLink("&#x1F600;"), "\xF0\x9F\x98\x80");
  // Decoded once: "&amp;lt;" stands for "&lt;".
  EXPECT_EQ(CleanLink("&amp;lt;"), "&lt;");
  // Not references: left as written.
  EXPECT_EQ(CleanLink("a&b=1&c"), "a&b=1&c");
  EXPECT_EQ(CleanLink("&amp"), "&amp");
  EXPECT_EQ(CleanLink("&#;&#x;&#0;&#xD800;&#99999999;"),
            "&#;&#x;&#0;&#xD800;&#99999999;");
  EXPECT_EQ(CleanLink(""), "");
}

TEST(Classification, QuickTests) {
  EXPECT_FALSE(IsNotScript("JavaScript:void(0)"));
  EXPECT_FALSE(IsNotScript("vbscript:x"));
  EXPECT_TRUE(IsNotScript("script.js"));
  EXPECT_FALSE(IsNotMailto("MAILTO:x"));
  EXPECT_TRUE(IsNotMailto("mail.html"));
  EXPECT_TRUE(IsHttpUrl("HTTPS://x"));
  EXPECT_TRUE(IsHttpUrl("http://x"));
  EXPECT_FALSE(IsHttpUrl("ftp://x"));
  EXPECT_FALSE(IsHttpUrl("http:/x"));
  EXPECT_FALSE(IsHttpUrl(""));
}

}  // namespace
}  // namespace leafstash
