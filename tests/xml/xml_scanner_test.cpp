#include "xml/xml_scanner.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/scratch_dir.h"

namespace support {
namespace {

using testing_support::ScratchDir;
using testing_support::WriteFile;

// Every match of the element in turn.
std::vector<std::string> AllMatches(const std::string& document, const std::string& name,
                                    bool wholeElement, bool decode) {
  TXMLScanner scanner;
  scanner.Data = document;
  std::vector<std::string> found;
  std::string text;
  for (bool ok = XMLFindFirst(scanner, name, decode, wholeElement, text); ok;
       ok = XMLFindNext(scanner, wholeElement, decode, text))
    found.push_back(text);
  EXPECT_EQ(text, "");  // the search that ends gives no text
  return found;
}

using Texts = std::vector<std::string>;

TEST(XmlScannerTest, FindsEachElementOfTheNameInTurn) {
  EXPECT_EQ(AllMatches("<ab>1</ab><a>2</a>", "a", false, false), Texts{"2"});
  EXPECT_EQ(AllMatches("<r><i>1</i><i x='y'>2</i><i/><i\t/><item>no</item><i\r\n>3</i></r>", "i",
                       false, false),
            (Texts{"1", "2", "", "", "3"}));
  EXPECT_EQ(AllMatches("<i>1</i>", "I", false, false), Texts{});
  EXPECT_EQ(AllMatches("", "i", false, false), Texts{});
  // The name must be followed by a blank, "/" or ">".
  EXPECT_EQ(AllMatches("<i", "i", false, false), Texts{});
  EXPECT_EQ(AllMatches("<i-x>1</i-x><i>", "i", false, false), Texts{});
}

TEST(XmlScannerTest, WholeElementsEmptyElementsAndDecoding) {
  const std::string doc = "<p><v a=\"&amp;\">x &lt; y</v><v a=\"&amp;\"/></p>";
  EXPECT_EQ(AllMatches(doc, "v", false, false), (Texts{"x &lt; y", ""}));
  EXPECT_EQ(AllMatches(doc, "v", false, true), (Texts{"x < y", ""}));
  // An empty element's tag is never decoded; a whole element is.
  EXPECT_EQ(AllMatches(doc, "v", true, false),
            (Texts{"<v a=\"&amp;\">x &lt; y</v>", "<v a=\"&amp;\"/>"}));
  EXPECT_EQ(AllMatches(doc, "v", true, true), (Texts{"<v a=\"&\">x < y</v>", "<v a=\"&amp;\"/>"}));
  EXPECT_EQ(AllMatches("<v>caf\xC3\xA9</v>", "v", false, true), Texts{"caf\xE9"});
  EXPECT_EQ(AllMatches("<v>caf\xC3\xA9</v>", "v", false, false), Texts{"caf\xC3\xA9"});
}

TEST(XmlScannerTest, AGreaterThanInAQuotedValueDoesNotEndTheTag) {
  const std::string doc = "<i a=\"x > y\">1</i><i b='>' c=\"it's\"/><i>2</i>";
  EXPECT_EQ(AllMatches(doc, "i", false, false), (Texts{"1", "", "2"}));
  EXPECT_EQ(AllMatches(doc, "i", true, false),
            (Texts{"<i a=\"x > y\">1</i>", "<i b='>' c=\"it's\"/>", "<i>2</i>"}));
}

TEST(XmlScannerTest, NestingAndMissingEndTags) {
  // Nested elements of the same name are not counted.
  EXPECT_EQ(AllMatches("<i><i>x</i></i>", "i", false, false), Texts{"<i>x"});
  // A start tag without an end tag ends the search, after its ">".
  TXMLScanner scanner;
  scanner.Data = "<i/><i>open<j/>";
  std::string text;
  EXPECT_TRUE(XMLFindFirst(scanner, "i", false, false, text));
  EXPECT_EQ(scanner.Position, 4u);
  EXPECT_FALSE(XMLFindNext(scanner, false, false, text));
  EXPECT_EQ(text, "");
  EXPECT_EQ(scanner.Position, 7u);
  // A start tag that never closes.
  scanner.Data = "<i x='1'";
  EXPECT_FALSE(XMLFindFirst(scanner, "i", false, true, text));
}

TEST(XmlScannerTest, PositionIsTheLastGreaterThanConsumed) {
  TXMLScanner scanner;
  scanner.Data = "<a>2</a><a>3</a>";
  std::string text;
  EXPECT_TRUE(XMLFindFirst(scanner, "a", false, false, text));
  EXPECT_EQ(scanner.Position, 8u);
  EXPECT_TRUE(XMLFindNext(scanner, false, false, text));
  EXPECT_EQ(scanner.Position, 16u);
  // XMLFindFirst starts over.
  EXPECT_TRUE(XMLFindFirst(scanner, "a", false, true, text));
  EXPECT_EQ(text, "<a>2</a>");
  scanner.Position = 100;
  EXPECT_FALSE(XMLFindNext(scanner, false, false, text));
}

TEST(XmlScannerTest, GetElementIsAOneShotSearch) {
  const std::string products =
      "<products><product code=\"OMS\" url=\"http://x/?a=1&amp;b=2\">8.9.2</product></products>";
  EXPECT_EQ(XMLGetElement(products, "product", false, true), "8.9.2");
  const std::string whole = XMLGetElement(products, "product", true, false);
  EXPECT_EQ(whole.rfind("<product code=", 0), 0u);
  EXPECT_EQ(XMLTagAttribute(whole, "url"), "http://x/?a=1&b=2");
  EXPECT_EQ(XMLGetElement(products, "missing", true, true), "");
  EXPECT_EQ(XMLGetElement("<a>&lt;</a>", "a", false, false), "&lt;");
}

TEST(XmlScannerTest, LoadFile) {
  ScratchDir dir;
  TXMLScanner scanner;
  scanner.ElementName = "old";
  scanner.Position = 5;
  EXPECT_FALSE(XMLScannerLoadFile(scanner, ""));
  EXPECT_EQ(scanner.ElementName + std::to_string(scanner.Position), "0");  // cleared
  EXPECT_FALSE(XMLScannerLoadFile(scanner, dir.Path() + "missing.xml"));
  ASSERT_TRUE(WriteFile(dir.Path() + "empty.xml", ""));
  EXPECT_TRUE(XMLScannerLoadFile(scanner, dir.Path() + "empty.xml"));
  const std::string content = "<k>v</k>" + std::string(100000, ' ') + "<k>w</k>";
  ASSERT_TRUE(WriteFile(dir.Path() + "big.xml", content));
  EXPECT_TRUE(XMLScannerLoadFile(scanner, dir.Path() + "big.xml"));
  EXPECT_EQ(scanner.Data, content);
}

TEST(XmlTagAttributeTest, QuotedUnquotedAndMissing) {
  const std::string tag = "<a x=\"1 2\" y='&lt;3' z=4 w=5>";
  EXPECT_EQ(XMLTagAttribute(tag, "x"), "1 2");
  EXPECT_EQ(XMLTagAttribute(tag, "y"), "<3");
  EXPECT_EQ(XMLTagAttribute(tag, "z"), "4 ");  // up to and including the space
  EXPECT_EQ(XMLTagAttribute(tag, "w"), "5>");  // to the end of the tag
  EXPECT_EQ(XMLTagAttribute(tag, "X"), "");
  EXPECT_EQ(XMLTagAttribute(tag, "v"), "");
  EXPECT_EQ(XMLTagAttribute("<a x = \"1\">", "x"), "");  // no blanks around "="
  EXPECT_EQ(XMLTagAttribute("<a x=\"caf\xC3\xA9\">", "x"), "caf\xE9");
  // A quote without its partner runs through the first ">" after it.
  EXPECT_EQ(XMLTagAttribute("<a x=\"1'>", "x"), "1'>");
  EXPECT_EQ(XMLTagAttribute("<a x=\"open>", "x"), "open>");
  // Only attributes before the ">" that ends the tag count.
  EXPECT_EQ(XMLTagAttribute("<a><b x=\"1\">", "x"), "");
  EXPECT_EQ(XMLTagAttribute("<a y=\">\" x=\"1\">", "x"), "1");
  // The first attribute of the name wins; " name=" inside another value is none.
  EXPECT_EQ(XMLTagAttribute("<a x=\"1\" x=\"2\">", "x"), "1");
  EXPECT_EQ(XMLTagAttribute("<a t=\" x=evil\" x=\"good\">", "x"), "good");
}

TEST(XmlTagAttributeTest, AllAttributesOfATag) {
  using Pairs = std::vector<std::pair<std::string, std::string>>;
  const auto pairs = [](const std::string& tag) {
    Pairs result;
    for (const auto& attribute : XMLTagAttributes(tag))
      result.emplace_back(attribute.Name, attribute.Value);
    return result;
  };
  EXPECT_EQ(pairs("<a x=\"1\" y='2' e='' z=\"a&amp;b\"/>"),
            (Pairs{{"x", "1"}, {"y", "2"}, {"e", ""}, {"z", "a&b"}}));
  EXPECT_EQ(pairs("<a>"), Pairs{});
  EXPECT_EQ(pairs("<>"), Pairs{});
  EXPECT_EQ(pairs(""), Pairs{});
  EXPECT_EQ(pairs("<a x=\"1\">text y=\"2\"</a>"), (Pairs{{"x", "1"}}));  // ends at ">"
  EXPECT_EQ(pairs("<a x=1=2 y=3>"), (Pairs{{"x", "1=2 "}, {"y", "3>"}}));
  EXPECT_EQ(pairs("<a  =\"1\" x\t=\"2\">"), (Pairs{{"x\t", "2"}}));
  EXPECT_EQ(pairs("<a x=\"1\" x=\"2\">"), (Pairs{{"x", "1"}, {"x", "2"}}));
  EXPECT_EQ(pairs("<x=1 x=\"2\">"), (Pairs{{"x", "2"}}));  // the first word is the element's
  // A quoted value ends only at its own quote character and may hold ">".
  EXPECT_EQ(pairs("<a x=\"it's\" y='\"2\"' z=\"a > b\">"),
            (Pairs{{"x", "it's"}, {"y", "\"2\""}, {"z", "a > b"}}));
  // A raw "<" cannot stand in a value: a quote that meets one first was left
  // open, and its value runs through the first ">" after it.
  EXPECT_EQ(pairs("<a x=\"open/><b y=\"2\">"), (Pairs{{"x", "open/>"}}));
}

}  // namespace
}  // namespace support
