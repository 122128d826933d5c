#include "html/text_utils.h"

#include <gtest/gtest.h>

namespace leafstash {
namespace {

TEST(FindSubstring, PositionsAreOneBasedFromStart) {
  EXPECT_EQ(FindSubstring("ab", "xxabab", 4), 5u);
  EXPECT_EQ(FindSubstring("ab", "xxabab", 1), 3u);
  EXPECT_EQ(FindSubstring("ab", "xxab", 4), 0u);
  EXPECT_EQ(FindSubstring("AB", "xxab", 1), 0u);
  EXPECT_EQ(FindSubstring("", "xxab", 1), 0u);
  EXPECT_EQ(FindSubstring("a", "", 1), 0u);
  EXPECT_EQ(FindSubstring("ab", "ab", 2), 0u);
  EXPECT_EQ(FindSubstring("b", "ab", 99), 0u);
  EXPECT_EQ(FindSubstring("ab", "ab", 0), 1u);
}

TEST(ReplaceAll, ReplacesEachOccurrenceOnceWithoutOverlap) {
  EXPECT_EQ(ReplaceAll("a.gif\" a.gif'", "a.gif\"", "img/a.gif\""),
            "img/a.gif\" a.gif'");
  EXPECT_EQ(ReplaceAll("aaa", "aa", "b"), "ba");
  EXPECT_EQ(ReplaceAll("x a x", "x", "xx"), "xx a xx");
  EXPECT_EQ(ReplaceAll("abc", "zz", "y"), "abc");
  EXPECT_EQ(ReplaceAll("abc", "", "y"), "abc");
  EXPECT_EQ(ReplaceAll("", "a", "y"), "");
  EXPECT_EQ(ReplaceAll("abcabc", "abc", "-"), "--");
}

TEST(ReplaceAll, EmptyReplacementDeletes) {
  EXPECT_EQ(ReplaceAll("a-b-c", "-", ""), "abc");
  EXPECT_EQ(ReplaceAll("aaa", "a", ""), "");
}

TEST(StripChars, RemovesEveryByteOfTheSet) {
  std::string link = "pa\r\nge.html\t";
  StripChars(link, LinkStripSet());
  EXPECT_EQ(link, "page.html");

  std::string name = "a b\"c'd/e:f<g=h>i?j\\k|l\x01m\x1Fn.gif";
  StripChars(name, LocalNameStripSet());
  EXPECT_EQ(name, "abcdefghijklmn.gif");

  std::string all = "\r\n";
  StripChars(all, LinkStripSet());
  EXPECT_TRUE(all.empty());

  std::string utf8 = "Caf\xC3\xA9 x";
  StripChars(utf8, LocalNameStripSet());
  EXPECT_EQ(utf8, "Caf\xC3\xA9x");
}

TEST(Tokens, CommaSeparatedListsSkipEmptyTokens) {
  EXPECT_EQ(CountTokens("gif, jpg ,,png", ","), 3u);
  EXPECT_EQ(GetToken(1, "gif, jpg ,,png", ","), "gif");
  EXPECT_EQ(GetToken(2, "gif, jpg ,,png", ","), " jpg ");
  EXPECT_EQ(GetToken(3, "gif, jpg ,,png", ","), "png");
  EXPECT_EQ(GetToken(4, "gif, jpg ,,png", ","), "");
  EXPECT_EQ(GetToken(0, "gif", ","), "");
  EXPECT_EQ(CountTokens(",a,,b,", ","), 2u);
  EXPECT_EQ(GetToken(2, ",a,,b,", ","), "b");
  EXPECT_EQ(CountTokens("", ","), 0u);
  EXPECT_EQ(CountTokens(",,,", ","), 0u);
  EXPECT_EQ(CountTokens("a b;c", " ;"), 3u);
  EXPECT_EQ(CountTokens("abc", ""), 1u);
  EXPECT_EQ(GetToken(1, "abc", ""), "abc");
}

TEST(Case, OnlyAsciiLettersChange) {
  EXPECT_EQ(UpperCopy("aZ\xC3\xA9{`"), "AZ\xC3\xA9{`");
  EXPECT_EQ(LowerCopy("Az\xC3\x89[@"), "az\xC3\x89[@");
  EXPECT_TRUE(SameTextAscii("Index.HTML", "INDEX.html"));
  EXPECT_FALSE(SameTextAscii("\xC3\xA9", "\xC3\x89"));
  EXPECT_FALSE(SameTextAscii("a", "ab"));
  EXPECT_EQ(Trim("\t \x01 x y \r\n"), "x y");
  EXPECT_EQ(Trim("   "), "");
}

TEST(Utf8, ValidSequencesOnly) {
  EXPECT_EQ(Utf8SequenceLength("a", 0), 1u);
  EXPECT_EQ(Utf8SequenceLength("\xC3\xA9", 0), 2u);
  EXPECT_EQ(Utf8SequenceLength("\xE2\x82\xAC", 0), 3u);
  EXPECT_EQ(Utf8SequenceLength("\xF0\x9F\x98\x80", 0), 4u);
  EXPECT_EQ(Utf8SequenceLength("\xA9", 0), 0u);          // stray continuation
  EXPECT_EQ(Utf8SequenceLength("\xC0\xAF", 0), 0u);      // overlong
  EXPECT_EQ(Utf8SequenceLength("\xE0\x80\xAF", 0), 0u);  // overlong
  EXPECT_EQ(Utf8SequenceLength("\xED\xA0\x80", 0), 0u);  // surrogate
  EXPECT_EQ(Utf8SequenceLength("\xF4\x90\x80\x80", 0), 0u);
  EXPECT_EQ(Utf8SequenceLength("\xE2\x82", 0), 0u);      // truncated
  EXPECT_EQ(Utf8SequenceLength("a", 5), 0u);
}

TEST(Utf8, PrefixNeverSplitsACharacter) {
  const std::string text = "ab\xE2\x82\xAC" "c";  // "ab€c"
  EXPECT_EQ(Utf8Prefix(text, 10), text);
  EXPECT_EQ(Utf8Prefix(text, 5), "ab\xE2\x82\xAC");
  EXPECT_EQ(Utf8Prefix(text, 4), "ab");
  EXPECT_EQ(Utf8Prefix(text, 3), "ab");
  EXPECT_EQ(Utf8Prefix(text, 2), "ab");
  EXPECT_EQ(Utf8Prefix("\xA9\xA9\xA9\xA9\xA9", 3), "\xA9\xA9\xA9");
  EXPECT_EQ(Utf8Prefix("\xE2\x82\xAC", 0), "");
}

}  // namespace
}  // namespace leafstash
