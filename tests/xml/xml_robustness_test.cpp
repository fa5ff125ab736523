// Documents from outside may be hostile: depth, size and odd bytes must neither
// crash nor stall the reader.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "xml/xml_object.h"
#include "xml/xml_scanner.h"
#include "xml/xml_text.h"

namespace support {
namespace {

constexpr int kDepth = 100000;

std::string Repeat(const std::string& part, int count) {
  std::string out;
  out.reserve(part.size() * static_cast<std::size_t>(count));
  for (int i = 0; i < count; ++i) out += part;
  return out;
}

int DepthOf(const TXMLObject& root) {
  int depth = 0;
  for (const TXMLObject* node = &root; !node->Children().empty(); ++depth)
    node = node->Children()[0].get();
  return depth;
}

TEST(XmlRobustnessTest, DeepNestingNeitherCrashesNorRecurses) {
  const std::string document = Repeat("<a>", kDepth) + "x" + Repeat("</a>", kDepth);
  {
    TXMLObject root;
    root.ParseXML(document);
    EXPECT_EQ(DepthOf(root), kDepth);
    EXPECT_EQ(root.GetXML(false, false), document);
    const std::string withBreaks = root.GetXML(true, false);
    EXPECT_EQ(withBreaks.size(), document.size() + 2u * kDepth);
  }  // the destructor frees 100,000 levels

  TXMLObject unclosed;
  unclosed.ParseXML(Repeat("<a>", kDepth));
  EXPECT_EQ(DepthOf(unclosed), kDepth);
  EXPECT_EQ(unclosed.GetXML(false, false),
            Repeat("<a>", kDepth - 1) + "<a/>" + Repeat("</a>", kDepth - 1));
  unclosed.Clear();
  EXPECT_TRUE(unclosed.Children().empty());

  TXMLObject built;
  TXMLObject* node = &built;
  for (int i = 0; i < kDepth; ++i) node = node->AddChild("n", "", true);
  EXPECT_EQ(DepthOf(built), kDepth);
}

TEST(XmlRobustnessTest, PathologicalShapesStayLinear) {
  // Each would take hours if any step went back over the text it had read.
  const std::string references = Repeat("&#", 1000000);
  EXPECT_EQ(DecodeXMLEntities(references), references);
  // Only the last "&#1" is closed by the ";".
  const std::string oneClosed = DecodeXMLEntities(Repeat("&#1", 500000) + ";");
  EXPECT_EQ(oneClosed, Repeat("&#1", 499999) + "\x01");

  std::string manyAttributes = "<a";
  for (int i = 0; i < 200000; ++i) manyAttributes += " n" + std::to_string(i) + "=\"v\"";
  manyAttributes += ">";
  TXMLObject root;
  root.ParseXML(manyAttributes);
  ASSERT_EQ(root.Children().size(), 1u);
  EXPECT_EQ(root.Children()[0]->Attributes().size(), 200000u);
  EXPECT_EQ(root.Children()[0]->GetAttribute("n199999", true), "v");

  // Many names repeated: each takes the value where it stands.
  const std::string repeated =
      "<a x=\"" + std::string(100000, 'v') + "\"" + Repeat(" x=", 300000) + ">";
  EXPECT_EQ(XMLTagAttributes(repeated).size(), 300001u);

  // Quotes left open: each meets the next tag's "<" and ends at its own ">".
  TXMLObject openQuotes;
  EXPECT_TRUE(openQuotes.ParseXML(Repeat("<a x=\"v/>", 300000)));
  EXPECT_EQ(openQuotes.Children().size(), 300000u);

  TXMLObject unclosedTags;
  unclosedTags.ParseXML(Repeat("<", 1000000));
  EXPECT_TRUE(unclosedTags.Children().empty());

  EXPECT_EQ(XMLGetElement(Repeat("<i>", 500000), "i", false, false), "");
  EXPECT_EQ(XMLGetElement(Repeat("<i", 500000) + "<i>x</i>", "i", false, false), "x");
}

// A small deterministic generator of documents made of the characters that
// matter to the reader.
class DocumentGenerator {
 public:
  explicit DocumentGenerator(uint32_t seed) : state_(seed) {}
  std::string Next() {
    static const char* const kPieces[] = {"<",  ">",    "/",    "a",    "b",    " ",    "=",   "\"",
                                          "'",  "&",    "#",    ";",    "x",    "1",    "!",   "?",
                                          "\t", "\xC3", "\xA9", "\xE9", "amp;", "</a>", "<b/>"};
    std::string doc;
    const uint32_t length = Random() % 60;
    for (uint32_t i = 0; i < length; ++i) doc += kPieces[Random() % std::size(kPieces)];
    return doc;
  }

 private:
  uint32_t Random() {
    state_ = state_ * 1664525u + 1013904223u;
    return state_ >> 8;
  }
  uint32_t state_;
};

TEST(XmlRobustnessTest, WrittenDocumentsReadBackTheSame) {
  DocumentGenerator generator(20240611);
  for (int i = 0; i < 20000; ++i) {
    const std::string document = generator.Next();
    TXMLObject first;
    first.ParseXML(document);
    const std::string written = first.GetXML(true, false);
    TXMLObject second;
    ASSERT_TRUE(second.ParseXML(written)) << "document: " << document;
    ASSERT_EQ(second.GetXML(true, false), written) << "document: " << document;
  }
}

}  // namespace
}  // namespace support
