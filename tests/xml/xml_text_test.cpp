#include "xml/xml_text.h"

#include <gtest/gtest.h>

#include <string>

#include "platform/codepage.h"

namespace support {
namespace {

std::string AllBytes() {
  std::string bytes;
  for (int i = 0; i < 256; ++i) bytes.push_back(static_cast<char>(i));
  return bytes;
}

TEST(XmlEntityTest, EncodesTheFiveCharactersAndDecodesThemBack) {
  EXPECT_EQ(EncodeXMLEntities("a<b & 'c'"), "a&lt;b &amp; &apos;c&apos;");
  EXPECT_EQ(DecodeXMLEntities("a&lt;b &amp; &apos;c&apos;"), "a<b & 'c'");
  EXPECT_EQ(EncodeXMLEntities("\"x\" > y"), "&quot;x&quot; &gt; y");
  EXPECT_EQ(EncodeXMLEntities("&amp;"), "&amp;amp;");  // an existing reference is escaped again
  EXPECT_EQ(DecodeXMLEntities(EncodeXMLEntities(AllBytes())), AllBytes());
  EXPECT_EQ(DecodeXMLEntities(EncodeXMLEntities(AllBytes(), true), true), AllBytes());
}

TEST(XmlEntityTest, EachReferenceIsReplacedOnce) {
  EXPECT_EQ(DecodeXMLEntities("&amp;lt;"), "&lt;");
  EXPECT_EQ(DecodeXMLEntities("&amp;#65;"), "&#65;");
  EXPECT_EQ(DecodeXMLEntities("&amp;amp;"), "&amp;");
  EXPECT_EQ(DecodeXMLEntities("&&#65;"), "&A");
  EXPECT_EQ(DecodeXMLEntities("&AMP;&Lt;&gT;&QUOT;&Apos;&NBSP;"), "&<>\"' ");
  EXPECT_EQ(DecodeXMLEntities("&nbsp;"), " ");
  // Unknown or unfinished references stay as they are.
  EXPECT_EQ(DecodeXMLEntities("&copy; & &amp &lt"), "&copy; & &amp &lt");
}

TEST(XmlEntityTest, NumericReferences) {
  EXPECT_EQ(DecodeXMLEntities("&#65;"), "A");
  EXPECT_EQ(DecodeXMLEntities("&#x41;&#X41;&#$41;&#x6a;"), "AAAj");
  EXPECT_EQ(DecodeXMLEntities("&#  65;&#+65;"), "AA");
  EXPECT_EQ(DecodeXMLEntities("&#65"), "&#65");
  EXPECT_EQ(DecodeXMLEntities("x&#65;y&#66;"), "xAyB");
  // The low 8 bits of the number.
  EXPECT_EQ(DecodeXMLEntities("&#321;"), "A");
  EXPECT_EQ(DecodeXMLEntities("&#-191;"), "A");
  EXPECT_EQ(DecodeXMLEntities("&#233;"), "\xE9");
  EXPECT_EQ(DecodeXMLEntities("&#0;"), std::string(1, '\0'));
  EXPECT_EQ(DecodeXMLEntities("&#2147483647;&#xFFFFFFFF;"), "\xFF\xFF");
  EXPECT_EQ(DecodeXMLEntities("&#-2147483648;"), std::string(1, '\0'));
  // What does not read as a 32-bit number stays, and so does what follows.
  EXPECT_EQ(DecodeXMLEntities("&#2147483648;"), "&#2147483648;");
  EXPECT_EQ(DecodeXMLEntities("&#x100000000;"), "&#x100000000;");
  EXPECT_EQ(DecodeXMLEntities("&#;&#x;&#abc;&#6 5;&#65 ;"), "&#;&#x;&#abc;&#6 5;&#65 ;");
  // The first ";" after "&#" closes the reference.
  EXPECT_EQ(DecodeXMLEntities("&#12 &#65;"), "&#12 A");
}

TEST(XmlEntityTest, CodePageCharactersTravelAsUtf8) {
  EXPECT_EQ(EncodeXMLEntities("caf\xE9"), "caf\xC3\xA9");
  EXPECT_EQ(EncodeXMLEntities("caf\xE9", true), "caf\xE9");
  EXPECT_EQ(EncodeXMLEntities("\x80 & \xE9"), "\xE2\x82\xAC &amp; \xC3\xA9");
  EXPECT_EQ(DecodeXMLEntities("caf\xC3\xA9"), "caf\xE9");
  EXPECT_EQ(DecodeXMLEntities("caf\xC3\xA9", true), "caf\xC3\xA9");
  // The conversion comes before the references: a reference gives a byte of
  // the code page, which is not read as UTF-8 again.
  EXPECT_EQ(DecodeXMLEntities("&#195;&#169;"), "\xC3\xA9");
  EXPECT_EQ(DecodeXMLEntities("\xC3\xA9&#233;"), "\xE9\xE9");
}

TEST(XmlCodePageTest, Windows1252ThroughUtf8) {
  EXPECT_EQ(AnsiToUtf8("plain"), "plain");
  EXPECT_EQ(AnsiToUtf8("\xE9\xFF"), "\xC3\xA9\xC3\xBF");
  EXPECT_EQ(AnsiToUtf8("\x80\x99\x9F"),
            "\xE2\x82\xAC\xE2\x84\xA2\xC5\xB8");  // euro, TM, Y diaeresis
  EXPECT_EQ(Utf8ToAnsi("\xE2\x82\xAC\xC5\x92\xC3\xA9"), "\x80\x8C\xE9");
  // Every byte survives the round trip, the five the code page leaves undefined too.
  EXPECT_EQ(Utf8ToAnsi(AnsiToUtf8(AllBytes())), AllBytes());
  EXPECT_EQ(AnsiToUtf8("\x81\x8D\x8F\x90\x9D"), "\xC2\x81\xC2\x8D\xC2\x8F\xC2\x90\xC2\x9D");
}

TEST(XmlCodePageTest, CharactersOutsideTheCodePageBecomeQuestionMarks) {
  EXPECT_EQ(Utf8ToAnsi("\xC4\x80"), "?");      // A with macron: no best-fit "A"
  EXPECT_EQ(Utf8ToAnsi("\xEF\xBC\x9C"), "?");  // full-width "<" stays harmless
  EXPECT_EQ(Utf8ToAnsi("x\xE4\xB8\xADy"), "x?y");
  EXPECT_EQ(Utf8ToAnsi("\xC2\x85"), "?");  // a control character the code page does not hold
  EXPECT_EQ(platform::WideToAnsi(u"\U0001F600"), "??");  // each half of a surrogate pair
  EXPECT_EQ(platform::WideToAnsi(std::u16string(1, u'\xD800')), "?");
  EXPECT_EQ(DecodeXMLEntities("\xC4\x80&amp;"), "?&");
}

TEST(XmlCodePageTest, Utf8IsReadLeniently) {
  // 16-bit characters only: a four-byte sequence falls apart into a three-byte
  // one and a cut-off one, never into an error.
  EXPECT_EQ(Utf8ToAnsi("\xF0\x9F\x98\x80"), "?");
  // Continuation bytes are not checked.
  EXPECT_EQ(Utf8ToAnsi("\xC3"
                       "A"),
            "\xC1");
  EXPECT_EQ(Utf8ToAnsi("\xE2\x02\x2C"), "\x80");
  // A stray continuation byte starts a sequence of its own.
  EXPECT_EQ(Utf8ToAnsi("\x81"
                       "A"
                       "b"),
            "Ab");
  // A sequence cut off at the end is dropped.
  EXPECT_EQ(Utf8ToAnsi("ab\xC3"), "ab");
  EXPECT_EQ(Utf8ToAnsi("ab\xE2\x82"), "ab");
  EXPECT_EQ(Utf8ToAnsi(std::string("\xC0\x80", 2)), std::string(1, '\0'));
}

TEST(XmlValueTest, BooleansAndIntegers) {
  EXPECT_EQ(XMLBoolToStr(true) + XMLBoolToStr(false), "10");
  EXPECT_TRUE(XMLStrToBool("TRUE") && XMLStrToBool("True") && XMLStrToBool("1"));
  EXPECT_FALSE(XMLStrToBool("yes") || XMLStrToBool(" 1") || XMLStrToBool("true ") ||
               XMLStrToBool("01") || XMLStrToBool("0") || XMLStrToBool(""));
  EXPECT_EQ(XMLIntToStr(0), "");
  EXPECT_EQ(XMLIntToStr(20000), "20000");
  EXPECT_EQ(XMLIntToStr(-7), "-7");
}

}  // namespace
}  // namespace support
