#include "engine/link_rewriter.h"

#include <gtest/gtest.h>

namespace leafstash {
namespace {

TEST(LinkRewriter, EditsAreMadeInOffsetOrderAndNeverOverlap) {
  EXPECT_EQ(ApplyEdits("<img src=a.gif alt=b>", {{19, 1, "x"}, {9, 5, "0a.gif"}}),
            "<img src=0a.gif alt=x>");
  // An edit that overlaps the one before, or runs past the end, is left out.
  EXPECT_EQ(ApplyEdits("abcdef", {{1, 3, "X"}, {2, 1, "Y"}, {5, 4, "Z"}}), "aXef");
  EXPECT_EQ(ApplyEdits("", {}), "");
}

TEST(LinkRewriter, NamesAndAddressesAsLinks) {
  EXPECT_EQ(LocalNameAsLink("c%20d.gif"), "c%2520d.gif");
  EXPECT_EQ(LocalNameAsLink("plain-name_1.gif"), "plain-name_1.gif");
  // Everything a relative link reads as syntax, and UTF-8, is encoded.
  EXPECT_EQ(LocalNameAsLink("a b?#,(1)'\".css"), "a%20b%3F%23%2C%281%29%27%22.css");
  EXPECT_EQ(LocalNameAsLink("gr\xC3\xBCn.png"), "gr%C3%BCn.png");
  EXPECT_EQ(AddressAsLink("http://h/a b/\"x\"?q=%41&r=\xC3\xBC#f"),
            "http://h/a%20b/%22x%22?q=%41&r=%C3%BC#f");
  EXPECT_EQ(LinkForContext("a.png?x=1&y=(2)", TRefContext::HtmlAttribute), "a.png?x=1&amp;y=(2)");
  EXPECT_EQ(LinkForContext("a.png?x=1&y=(2)", TRefContext::Css), "a.png?x=1&y=\\(2\\)");
  EXPECT_EQ(LinkForContext("a&(", TRefContext::CssInAttribute), "a&amp;\\(");
}

}  // namespace
}  // namespace leafstash
