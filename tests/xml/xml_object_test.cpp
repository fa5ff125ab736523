#include "xml/xml_object.h"

#include <gtest/gtest.h>

#include <string>

#include "common/scratch_dir.h"
#include "platform/files.h"

namespace support {
namespace {

using testing_support::ReadFile;
using testing_support::ScratchDir;
using testing_support::WriteFile;

// The names of the node's children, separated by blanks.
std::string ChildNames(const TXMLObject& node) {
  std::string names;
  for (const auto& child : node.Children()) names += (names.empty() ? "" : " ") + child->Name();
  return names;
}

TEST(XmlParseTest, ElementsAttributesAndText) {
  TXMLObject root;
  EXPECT_TRUE(root.ParseXML("<a x='1' y='2'><b>t</b></a>"));
  EXPECT_EQ(root.Name(), "");
  ASSERT_EQ(root.Children().size(), 1u);
  const TXMLObject* a = root.FindChild("a");
  ASSERT_NE(a, nullptr);
  ASSERT_EQ(a->Attributes().size(), 2u);
  EXPECT_EQ(a->Attributes()[0].Name, "x");
  EXPECT_EQ(a->GetAttribute("x", true), "1");
  EXPECT_EQ(a->GetAttribute("y", true), "2");
  EXPECT_EQ(ChildNames(*a), "b");
  EXPECT_EQ(a->FindChild("b")->GetText(false), "t");
  EXPECT_EQ(a->ChildText("b"), "t");
  EXPECT_EQ(a->GetText(false), "");
}

TEST(XmlParseTest, DeclarationCommentsAndOtherConstructsAreSkipped) {
  TXMLObject root;
  EXPECT_TRUE(root.ParseXML(
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n<!DOCTYPE r>\r\n<!-- note -->\r\n"
      "<r><![CDATA[x]]><k>v</k></r>\r\n"));
  EXPECT_EQ(ChildNames(root), "r");
  EXPECT_EQ(root.GetText(false), "");  // the line breaks between them went with mixed content
  EXPECT_EQ(ChildNames(*root.FindChild("r")), "k");
  // A ">" inside such a construct ends it; what follows is text.
  TXMLObject comment;
  comment.ParseXML("<r><!-- a > b -->x</r>");
  EXPECT_EQ(comment.FindChild("r")->GetText(false), " b -->x");
  TXMLObject odd;
  odd.ParseXML("<>< x/><\xE9/><1a>t</1a>");
  EXPECT_EQ(ChildNames(odd), "1a");
}

TEST(XmlParseTest, MixedContentKeepsOnlyTheChildren) {
  TXMLObject root;
  root.ParseXML("<a>text<b/>more</a><c> spaced \r\n</c>");
  const TXMLObject* a = root.FindChild("a");
  EXPECT_EQ(ChildNames(*a), "b");
  EXPECT_EQ(a->GetText(false), "");
  EXPECT_EQ(root.FindChild("c")->GetText(false), " spaced \r\n");
  // A document without elements is all text of the root.
  TXMLObject plain;
  plain.ParseXML("just &amp; text");
  EXPECT_EQ(plain.GetText(true), "just & text");
  EXPECT_TRUE(plain.Children().empty());
}

TEST(XmlParseTest, AnEndTagClosesWhateverIsOpen) {
  TXMLObject root;
  EXPECT_TRUE(root.ParseXML("<a><b>t</c><d/></x><e/>"));
  EXPECT_EQ(ChildNames(root), "a e");
  EXPECT_EQ(ChildNames(*root.FindChild("a")), "b d");
  EXPECT_EQ(root.FindChild("a")->ChildText("b"), "t");
  // An end tag at the outermost level ends the document, which is then incomplete.
  TXMLObject stray;
  EXPECT_FALSE(stray.ParseXML("<a/></a><b/>"));
  EXPECT_EQ(ChildNames(stray), "a");
}

TEST(XmlParseTest, UnfinishedDocumentsKeepWhatWasBuilt) {
  TXMLObject open;
  EXPECT_FALSE(open.ParseXML("<a><b>text"));
  EXPECT_EQ(ChildText(open.FindChild("a"), "b"), "text");
  TXMLObject cut;  // ends inside a tag
  EXPECT_FALSE(cut.ParseXML("<a><b>text</b><c x=\"1\""));
  EXPECT_EQ(ChildNames(*cut.FindChild("a")), "b");
  EXPECT_EQ(ChildText(cut.FindChild("a"), "b"), "text");
}

TEST(XmlParseTest, ElementNamesAndEmptyElements) {
  TXMLObject root;
  root.ParseXML("<ns:a-b.c_1>x</ns:a-b.c_1><p$q>y</p$q><e/><f x='/'>z</f><g/ >w</g>");
  EXPECT_EQ(ChildNames(root), "ns:a-b.c_1 p e f g");
  EXPECT_EQ(root.ChildText("p"), "y");
  EXPECT_EQ(root.ChildText("f"), "z");
  EXPECT_EQ(root.ChildText("g"), "w");  // "/" not just before ">": not an empty element
  EXPECT_TRUE(root.FindChild("e")->Children().empty());
}

TEST(XmlParseTest, AttributeValuesAreStoredReencoded) {
  TXMLObject root;
  root.ParseXML("<a e='' x=\"&lt;&#65;&quot;\" u='caf&#233;' v='caf\xC3\xA9'/>");
  const TXMLObject* a = root.FindChild("a");
  ASSERT_EQ(a->Attributes().size(), 3u);  // the empty value is not stored
  EXPECT_EQ(a->GetAttribute("e", true), "");
  EXPECT_EQ(a->GetAttribute("x", false), "&lt;A&quot;");
  EXPECT_EQ(a->GetAttribute("x", true), "<A\"");
  EXPECT_EQ(a->GetAttribute("u", false), "caf\xC3\xA9");
  EXPECT_EQ(a->GetAttribute("u", true), "caf\xE9");
  EXPECT_EQ(a->GetAttribute("v", true), "caf\xE9");
}

TEST(XmlParseTest, AttributeReadingIsLenient) {
  TXMLObject root;
  // Unquoted values run up to and including the next space, or to the end of
  // the tag with its ">".
  root.ParseXML("<a x=1 y=2><c\tt=\"1\" n = \"2\" d=\"1\" d=\"2\"/></a>");
  const TXMLObject* a = root.FindChild("a");
  EXPECT_EQ(a->GetAttribute("x", true), "1 ");
  EXPECT_EQ(a->GetAttribute("y", true), "2>");
  // Names are separated by spaces only and need "=" right after them;
  // duplicates are kept, each with its own value.
  const TXMLObject* c = a->FindChild("c");
  ASSERT_EQ(c->Attributes().size(), 2u);
  EXPECT_EQ(c->Attributes()[0].Value, "1");
  EXPECT_EQ(c->Attributes()[1].Value, "2");
  EXPECT_EQ(c->GetAttribute("d", true), "1");
  // A " name=" inside an earlier value does not take the attribute's place.
  TXMLObject hidden;
  hidden.ParseXML("<a t=\" x=evil\" x=\"good\"/>");
  EXPECT_EQ(hidden.FindChild("a")->GetAttribute("x", true), "good");
}

TEST(XmlParseTest, QuotedValuesHoldTheOtherQuoteAndGreaterThan) {
  TXMLObject root;
  EXPECT_TRUE(root.ParseXML("<a x=\"d'un > \" y='\"2\"'><b/></a><c/>"));
  EXPECT_EQ(ChildNames(root), "a c");
  const TXMLObject* a = root.FindChild("a");
  EXPECT_EQ(a->GetAttribute("x", true), "d'un > ");
  EXPECT_EQ(a->GetAttribute("y", true), "\"2\"");
  EXPECT_EQ(ChildNames(*a), "b");
  // A quote that meets a raw "<" before its partner was left open: the tag ends
  // at the first ">" after it, and what follows is read as before.
  TXMLObject open;
  EXPECT_TRUE(open.ParseXML("<a x=\"open/><b y=\"2\"/>"));
  EXPECT_EQ(ChildNames(open), "a b");
  EXPECT_EQ(open.FindChild("a")->GetAttribute("x", true), "open/>");
  EXPECT_EQ(open.FindChild("b")->GetAttribute("y", true), "2");
}

TEST(XmlParseTest, ShortStringsAreCutAt255) {
  const std::string longName(300, 'n');
  TXMLObject root;
  root.ParseXML("<" + longName + " " + longName + "=\"" + std::string(300, 'v') + "\"/>");
  ASSERT_EQ(root.Children().size(), 1u);
  const TXMLObject* node = root.Children()[0].get();
  EXPECT_EQ(node->Name(), longName.substr(0, 255));
  EXPECT_EQ(root.FindChild(longName), node);  // the name looked for is cut the same way
  ASSERT_EQ(node->Attributes().size(), 1u);
  EXPECT_EQ(node->Attributes()[0].Name, longName.substr(0, 255));
  EXPECT_EQ(node->GetAttribute(longName, true), std::string(255, 'v'));

  // The value is cut before it is escaped, and the escaped form after reading.
  TXMLObject built;
  built.AddAttribute("a", std::string(300, '&'), true);
  EXPECT_EQ(built.Attributes()[0].Value.size(), 255u * 5);
  EXPECT_EQ(built.GetAttribute("a", true), std::string(255, '&'));
  EXPECT_EQ(built.GetAttribute("a", false), built.Attributes()[0].Value.substr(0, 255));
  // Texts are not short strings.
  built.SetText(std::string(1000, 't'), true);
  EXPECT_EQ(built.GetText(true).size(), 1000u);
}

TEST(XmlTreeTest, BuildLookUpAndClear) {
  TXMLObject root;
  TXMLObject* app = root.AddChild("APPLICATION");
  app->AddAttribute("ID", "first", true);
  app->AddAttribute("ID", "second", true);
  app->AddAttribute("EMPTY", "", true);
  app->AddAttribute("RAW", "a&b", false);
  TXMLObject* form = app->AddChild("FORM", "Caption & <more>", true);
  app->AddChild("form", "lower", false);
  EXPECT_EQ(app->Attributes().size(), 3u);
  EXPECT_EQ(app->GetAttribute("ID", true), "first");
  EXPECT_EQ(app->GetAttribute("id", true), "");
  EXPECT_EQ(app->GetAttribute("RAW", false), "a&b");
  EXPECT_EQ(app->FindChild("FORM"), form);
  EXPECT_EQ(app->FindChild("Form"), nullptr);
  EXPECT_EQ(form->GetText(false), "Caption &amp; &lt;more&gt;");
  EXPECT_EQ(app->ChildText("FORM"), "Caption & <more>");
  EXPECT_EQ(app->ChildText("form"), "lower");
  EXPECT_EQ(ChildText(root.FindChild("missing"), "FORM"), "");

  root.SetText("t", false);
  root.AddAttribute("k", "v", false);
  root.Clear();
  EXPECT_EQ(root.GetXML(true, false), "");
  EXPECT_TRUE(root.Children().empty());
}

TEST(XmlWriteTest, ElementsTextAndEmptyElementTags) {
  TXMLObject root;
  TXMLObject* a = root.AddChild("a");
  a->AddAttribute("x", "1", true);
  a->AddAttribute("y", "", true);
  a->AddChild("b");
  a->AddChild("c", "t", true);
  EXPECT_EQ(root.GetXML(false, false), "<a x=\"1\"><b/><c>t</c></a>");
  EXPECT_EQ(root.GetXML(true, false), "<a x=\"1\"><b/>\r\n<c>t</c>\r\n</a>\r\n");
  EXPECT_EQ(a->GetXML(true, false), "<a x=\"1\"><b/>\r\n<c>t</c>\r\n</a>\r\n");
  EXPECT_EQ(root.GetXML(true, true),
            "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n"
            "<a x=\"1\"><b/>\r\n<c>t</c>\r\n</a>\r\n");
  // Text comes before the children; a nameless node writes its text raw.
  a->SetText("lead", true);
  a->AddChild("", "<raw attr='1'/>", false);
  EXPECT_EQ(root.GetXML(false, false), "<a x=\"1\">lead<b/><c>t</c><raw attr='1'/></a>");
  TXMLObject textRoot;
  textRoot.SetText("only text", true);
  EXPECT_EQ(textRoot.GetXML(true, false), "only text");
  EXPECT_EQ(TXMLObject().GetXML(true, true), "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n");
}

TEST(XmlWriteTest, EscapedValuesSurviveARoundTrip) {
  const std::string tricky = "a<b & 'c' \"d\" > caf\xE9 \x80";
  TXMLObject root;
  TXMLObject* item = root.AddChild("ITEM", tricky, true);
  item->AddAttribute("VALUE", tricky, true);
  const std::string xml = root.GetXML(true, true);
  EXPECT_EQ(xml.find('\xE9'), std::string::npos);  // code-page characters go out as UTF-8
  EXPECT_NE(xml.find("caf\xC3\xA9"), std::string::npos);

  TXMLObject parsed;
  parsed.ParseXML(xml);
  const TXMLObject* back = parsed.FindChild("ITEM");
  ASSERT_NE(back, nullptr);
  EXPECT_EQ(back->GetText(true), tricky);
  EXPECT_EQ(back->GetAttribute("VALUE", true), tricky);
  EXPECT_EQ(parsed.GetXML(true, true), xml);
}

TEST(XmlFileTest, LoadFromFile) {
  ScratchDir dir;
  TXMLObject root;
  root.AddChild("kept");
  ASSERT_TRUE(WriteFile(dir.Path() + "empty.xml", ""));
  EXPECT_FALSE(root.LoadFromFile(dir.Path() + "missing.xml"));
  EXPECT_FALSE(root.LoadFromFile(dir.Path() + "empty.xml"));
  EXPECT_EQ(ChildNames(root), "kept");

  ASSERT_TRUE(WriteFile(dir.Path() + "info.xml",
                        "<?xml version=\"1.0\"?>\r\n<INFO><PREFIX>orvik</PREFIX></INFO>\r\n"));
  TXMLObject info;
  EXPECT_TRUE(info.LoadFromFile(dir.Path() + "info.xml"));
  EXPECT_EQ(ChildText(info.FindChild("INFO"), "PREFIX"), "orvik");
}

TEST(XmlFileTest, SaveToFileReplacesTheFileWhole) {
  ScratchDir dir;
  const std::string name = dir.Path() + "lang\\deep\\setup.lng";
  TXMLObject root;
  root.AddChild("APPLICATION")->AddChild("FORMS");
  EXPECT_TRUE(root.SaveToFile(name));  // missing directories are created
  EXPECT_EQ(ReadFile(name),
            "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n<APPLICATION><FORMS/>\r\n"
            "</APPLICATION>\r\n");
  ASSERT_TRUE(WriteFile(name, std::string(10000, 'x')));
  EXPECT_TRUE(root.SaveToFile(name, false, false));
  EXPECT_EQ(ReadFile(name), "<APPLICATION><FORMS/></APPLICATION>");
  EXPECT_FALSE(platform::FileExists(name + ".new"));

  EXPECT_FALSE(root.SaveToFile(""));
  EXPECT_FALSE(root.SaveToFile(dir.Path() + "lang"));  // a directory is no file
  EXPECT_TRUE(platform::DirectoryExists(dir.Path() + "lang"));
  EXPECT_FALSE(platform::FileExists(dir.Path() + "lang.new"));
}

}  // namespace
}  // namespace support
