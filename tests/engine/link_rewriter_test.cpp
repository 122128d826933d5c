#include "link_rewriter.h"

#include <gtest/gtest.h>

namespace leafstash {
namespace {

TEST(RewriteLinks, TheQuotingFormsAndFragments) {
  const std::vector<TLinkPair> pairs = {{"pics/a.gif", "a.gif"}, {"q.html#sec2", "q.htm#sec2"},
                                        {"x.gif", "0x.gif"}, {"none.html", ""}};
  EXPECT_EQ(RewriteLinks("<img src=\"pics/a.gif\">", pairs), "<img src=\"a.gif\">");
  EXPECT_EQ(RewriteLinks("<img src='pics/a.gif'>", pairs), "<img src='a.gif'>");
  EXPECT_EQ(RewriteLinks("<img src=pics/a.gif>", pairs), "<img src=a.gif>");
  EXPECT_EQ(RewriteLinks("<img src = pics/a.gif alt=x>", pairs), "<img src = a.gif alt=x>");
  EXPECT_EQ(RewriteLinks("<a href=\"q.html#sec2\">", pairs), "<a href=\"q.htm#sec2\">");
  EXPECT_EQ(RewriteLinks("<script>img.src = 'x.gif';</script>", pairs),
            "<script>img.src = '0x.gif';</script>");
  EXPECT_EQ(RewriteLinks("<style>p{background:url(x.gif)} q{x:url('x.gif')}</style>", pairs),
            "<style>p{background:url(0x.gif)} q{x:url('0x.gif')}</style>");
  EXPECT_EQ(RewriteLinks("<a href=\"none.html\">", pairs), "<a href=\"none.html\">");
}

TEST(RewriteLinks, OnlyWholeValuesAndNeverTwice) {
  // The site's home page links to "/": only that value changes.
  const std::vector<TLinkPair> home = {{"/", "INDEX.HTML"}};
  EXPECT_EQ(RewriteLinks("<a href=\"/\">home</a><br/><a href=\"http://o.org/\">see /</a>", home),
            "<a href=\"INDEX.HTML\">home</a><br/><a href=\"http://o.org/\">see /</a>");
  // A replacement that ends with its own link text is not replaced again.
  const std::vector<TLinkPair> twice = {{"a.gif", "0a.gif"}, {"a.gif", "0a.gif"}};
  EXPECT_EQ(RewriteLinks("<img src=a.gif><img src=\"a.gif\">", twice),
            "<img src=0a.gif><img src=\"0a.gif\">");
  // A link text that is the end of another leaves the longer one alone.
  const std::vector<TLinkPair> tails = {{"a.html", "a.htm"}, {"x/a.html", "1a.htm"}};
  EXPECT_EQ(RewriteLinks("<a href=\"x/a.html\"><a href='a.html'>", tails),
            "<a href=\"1a.htm\"><a href='a.htm'>");
  // One pair's replacement is not found by a later pair.
  const std::vector<TLinkPair> chain = {{"b.html", "c.html"}, {"c.html", "d.html"}};
  EXPECT_EQ(RewriteLinks("<a href=\"b.html\"><a href=\"c.html\">", chain),
            "<a href=\"c.html\"><a href=\"d.html\">");
  // A value must end where its quote closes.
  EXPECT_EQ(RewriteLinks("<a href=\"a.html'\">", tails), "<a href=\"a.html'\">");
  EXPECT_EQ(RewriteLinks("", tails), "");
  EXPECT_EQ(RewriteLinks("=a.html", tails), "=a.html");  // no end character
}

TEST(RewriteLinks, BlanksInsideTheQuotesStay) {
  const std::vector<TLinkPair> pairs = {{"x.gif", "0x.gif"}, {"bg.gif", "bg.gif"}};
  EXPECT_EQ(RewriteLinks("<img src=\" x.gif \" alt=\"x.gif\">", pairs),
            "<img src=\" 0x.gif \" alt=\"0x.gif\">");
  EXPECT_EQ(RewriteLinks("<img src='\r\nx.gif'>", pairs), "<img src='\r\n0x.gif'>");
  EXPECT_EQ(RewriteLinks("<style>p{background:url( x.gif )}</style>", pairs),
            "<style>p{background:url( 0x.gif )}</style>");
  // A value longer than every link text is left alone.
  EXPECT_EQ(RewriteLinks("<img src=\"x.gifxxxxxxxxxxxxxx\">", pairs),
            "<img src=\"x.gifxxxxxxxxxxxxxx\">");
}

TEST(RewriteLinks, LocalNamesAsLinks) {
  EXPECT_EQ(LocalNameAsLink("c%20d.gif"), "c%2520d.gif");
  EXPECT_EQ(LocalNameAsLink("plain.gif"), "plain.gif");
}

}  // namespace
}  // namespace leafstash
