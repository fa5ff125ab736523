#include "support/text_fields.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace support {
namespace {

using Items = std::vector<std::string>;

TEST(GetFieldTest, FieldsRestAndTrimming) {
  EXPECT_EQ(GetField("a; b;c", 1, ';'), "b");
  EXPECT_EQ(GetField("a; b;c", 1, ';', false, true), "b;c");
  EXPECT_EQ(GetField("a;b", 2, ';'), "");
  EXPECT_EQ(GetField("a;;c", 2, ';'), "c");
  EXPECT_EQ(GetField(" \t\r\n ", 0, ';'), "");
  EXPECT_EQ(GetField("a;b", -1, ';'), "");
  // The whole text is trimmed first unless NoTrim; the field always is.
  EXPECT_EQ(GetField("  a b", 0, ' '), "a");
  EXPECT_EQ(GetField("  a b", 2, ' ', true), "a");
  EXPECT_EQ(GetField("first line\r\nsecond", 0, '\n'), "first line");
  EXPECT_EQ(GetFieldCollapsed("a  b   c", 2, ' '), "c");
  EXPECT_EQ(GetFieldCollapsed("a;;;b;;c", 1, ';', false, true), "b;c");
}

TEST(SplitTest, EmptyFieldsTrailingSeparatorAndResult) {
  Items items{"stale"};
  EXPECT_TRUE(SplitToArray("a,,b,", ',', items));
  EXPECT_EQ(items, (Items{"a", "", "b"}));
  EXPECT_TRUE(SplitToArray("a,,b,", ',', items, true));
  EXPECT_EQ(items, (Items{"a", "b"}));
  EXPECT_FALSE(SplitToList("", ',', items));
  EXPECT_TRUE(items.empty());
  EXPECT_TRUE(SplitToList(" , ", ',', items, true));  // looked at, nothing kept
  EXPECT_TRUE(items.empty());
  EXPECT_TRUE(SplitToList(";x ", ';', items));
  EXPECT_EQ(items, (Items{"", "x "}));
}

TEST(PositionTest, CopyRangeAndCharPositions) {
  EXPECT_EQ(CopyRange("abcdef", 2, 4), "bcd");
  EXPECT_EQ(CopyRange("abcdef", -5, 2), "ab");
  EXPECT_EQ(CopyRange("abcdef", 5, 100), "ef");
  EXPECT_EQ(CopyRange("abcdef", 4, 3), "");
  EXPECT_EQ(LastCharPos('\\', "C:\\a\\b"), 5);
  EXPECT_EQ(NthCharPos('.', "1.2.3", 1), 4);
  EXPECT_EQ(NthCharPos('.', "1.2.3", 5), 4);
  EXPECT_EQ(NthCharPos('.', "123", 0), 0);
}

TEST(PositionTest, PosExStartLimitAndWholeWord) {
  EXPECT_EQ(PosEx("ab", "xxabxxab", 4), 7);
  EXPECT_EQ(PosEx("ab", "xxabxxab", -3), 3);
  // The match must start no later than the limit; it may end beyond it.
  EXPECT_EQ(PosEx("ab", "xxabxxab", 4, false, 6), 0);
  EXPECT_EQ(PosEx("ab", "xxabxxab", 4, false, 7), 7);
  EXPECT_EQ(PosEx("", "abc"), 0);
  EXPECT_EQ(PosEx("to", "tomato to", 1, true), 8);
  EXPECT_EQ(PosEx("to", "x2to", 1, true), 0);
  // Before is not tested at the start position, after not at the limit.
  EXPECT_EQ(PosEx("to", "xto", 2, true), 2);
  EXPECT_EQ(PosEx("to", "tox", 1, true, 2), 1);
  EXPECT_EQ(PosEx("to", "tox", 1, true), 0);
}

TEST(ReplaceTextTest, FirstAllAndCase) {
  std::string text = "a-b-c";
  ReplaceText(text, "-", "+", false);
  EXPECT_EQ(text, "a+b-c");
  text = "a-b-c";
  ReplaceText(text, "-", "--");  // the replacement is not searched again
  EXPECT_EQ(text, "a--b--c");
  text = "Path PATH path";
  ReplaceText(text, "path", "x", true, false);
  EXPECT_EQ(text, "x x x");
  text = "Path PATH path";
  ReplaceText(text, "path", "x", true, true);
  EXPECT_EQ(text, "Path PATH x");
  ReplaceText(text, "", "y");
  EXPECT_EQ(text, "Path PATH x");
}

TEST(WildcardMatchTest, Patterns) {
  EXPECT_TRUE(WildcardMatch("setup.log", "s?tup.*"));
  EXPECT_TRUE(WildcardMatch("", "*"));
  EXPECT_TRUE(WildcardMatch("mississippi", "*sip*i"));
  EXPECT_FALSE(WildcardMatch("Setup.log", "setup.*"));
  EXPECT_FALSE(WildcardMatch("ab", "ab?"));
  EXPECT_FALSE(WildcardMatch("same", "sam"));
}

TEST(WildcardMatchTest, HostileMaskAndLongTexts) {
  // Exponential time for a naive backtracking matcher.
  std::string mask;
  for (int i = 0; i < 60; ++i) mask += "*a";
  EXPECT_FALSE(WildcardMatch(std::string(250, 'a'), mask + "b"));
  // Both are short strings: what lies beyond 255 characters does not count.
  EXPECT_TRUE(WildcardMatch(std::string(255, 'a') + "zzz", std::string(255, 'a')));
}

TEST(TextShapeTest, WrapAndPad) {
  EXPECT_EQ(WrapText("abcdefg", "<", ">\n", 3), "<abc>\n<def>\n<g>\n");
  EXPECT_EQ(WrapText("", "<", ">", 3), "");
  EXPECT_EQ(WrapText("abc", "<", ">", 0), "<abc>");
  EXPECT_EQ(PadLeft("7", 3, '0'), "007");
  EXPECT_EQ(PadRight("ab", 4), "ab  ");
  EXPECT_EQ(PadLeft("12345", 4, '0'), "12345");
  EXPECT_EQ(PadLeft("12345", 4, '0', true), "1234");
}

TEST(ListsIntersectTest, ItemsAndWholeTexts) {
  EXPECT_TRUE(ListsIntersect("a; Admin ;c", "x;admin", ';'));
  EXPECT_FALSE(ListsIntersect("a;b", "c;d", ';'));
  EXPECT_TRUE(ListsIntersect(" Domain.com ", "domain.COM", ';'));
  EXPECT_FALSE(ListsIntersect("  ", "  ", ';'));
  EXPECT_FALSE(ListsIntersect("a;;", "b;;", ';'));
}

TEST(BufferEndsWithTest, OnlyTheGivenLengthCounts) {
  const char buffer[] = "250 OK\r\nrest";
  EXPECT_TRUE(BufferEndsWith("\r\n", buffer, 8));
  EXPECT_FALSE(BufferEndsWith("\r\n", buffer, 9));
  EXPECT_FALSE(BufferEndsWith("longer than", buffer, 3));
}

TEST(CharacterTest, TrimAndClasses) {
  EXPECT_EQ(TrimWhite(" \t\r\nab c\n "), "ab c");
  EXPECT_EQ(TrimRightWhite("  ab \r\n"), "  ab");
  EXPECT_EQ(TrimWhite("\x01 a \x01"), "\x01 a \x01");  // only the four white characters
  EXPECT_EQ(TrimBlanks("\x01 a \x1f"), "a");
  EXPECT_EQ(TrimBlanks("\xa0x\xa0"), "\xa0x\xa0");
  EXPECT_TRUE(HasCharClass("caf\xe9", 0));
  EXPECT_FALSE(HasCharClass("caf\xe9", 1));
  EXPECT_TRUE(HasCharClass("a\tb", 2));
  EXPECT_FALSE(HasCharClass("plain text ~", 2));
}

TEST(CharacterTest, LetterCaseIsAsciiOnly) {
  EXPECT_EQ(LowerCase("ReadMe.TXT\xC9"), "readme.txt\xC9");
  EXPECT_TRUE(SameText("Setup.LNG", "setup.lng"));
  EXPECT_FALSE(SameText("\xC9", "\xE9"));
  EXPECT_FALSE(SameText("abc", "abcd"));
}

TEST(StripCommentTest, MarkersEscapesAndBlocks) {
  std::string text = "color ##ff0000 # red";
  StripComment(text, "#");
  EXPECT_EQ(text, "color #ff0000");
  text = "a ### b";  // an escaped marker, then a real one
  StripComment(text, "#");
  EXPECT_EQ(text, "a #");
  text = " no comment ";
  StripComment(text, "#");
  EXPECT_EQ(text, "no comment");
  EXPECT_EQ(StripComments("port = 25 // default"), "port = 25");
  EXPECT_EQ(StripComments("http://host/ # link"), "http://host/");
  EXPECT_EQ(StripComments("a /* b */ c /* d */"), "a  c /* d */");
  EXPECT_EQ(StripComments("a /* open"), "a /* open");
}

}  // namespace
}  // namespace support
