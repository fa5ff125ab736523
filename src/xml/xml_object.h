// A small, lenient XML element tree over 8-bit strings. Nothing is validated:
// unknown constructs are skipped and what cannot be found gives empty results.
// Texts and attribute values are kept escaped and UTF-8 encoded, as they stand
// in a document; names and attribute names and values are short strings.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "xml/xml_attribute.h"

namespace support {

class TXMLObject {
 public:
  TXMLObject() = default;
  // Frees the subtree without recursion, whatever its depth.
  ~TXMLObject();
  TXMLObject(const TXMLObject&) = delete;
  TXMLObject& operator=(const TXMLObject&) = delete;

  // Destroys all children, drops all attributes, empties text and name.
  void Clear();

  // Appends the attribute (duplicates allowed); with escape the value is
  // entity-encoded first. An empty value adds nothing.
  void AddAttribute(std::string_view name, std::string_view value, bool escape);
  // Appends a child of that name; a non-empty text is set as SetText does.
  TXMLObject* AddChild(std::string_view name, std::string_view text = {}, bool escape = true);
  void SetText(std::string_view text, bool escape);

  // The subtree as text. A named node is written as its element (an empty-element
  // tag when it has neither children nor text), followed by CR LF when
  // lineBreaks; a nameless node (a document root) writes its text and children.
  // With declaration the XML declaration line comes first.
  std::string GetXML(bool lineBreaks, bool declaration) const;
  // Parses the document and appends what it finds to this node's children.
  // False when the document was incomplete: it ended inside a tag or with an
  // element left open, or an end tag came with none open (what follows it is
  // not read). What was read is kept either way.
  bool ParseXML(std::string_view document);
  // Parses the whole file. False, and nothing changed, when the file is missing,
  // unreadable or empty.
  bool LoadFromFile(const std::string& fileName);
  // Writes GetXML(lineBreaks, declaration) to the file, replacing it: the text
  // goes to a temporary file beside it, which is then renamed over it. Missing
  // directories are created. False when the file cannot be written.
  bool SaveToFile(const std::string& fileName, bool lineBreaks = true,
                  bool declaration = true) const;

  // The text, entity-decoded into the system code page when decode.
  std::string GetText(bool decode) const;
  // The value of the first attribute of exactly that name (case-sensitive); "" if none.
  std::string GetAttribute(std::string_view name, bool decode) const;
  // The first child of exactly that name (case-sensitive); none if there is none.
  TXMLObject* FindChild(std::string_view name) const;
  // Decoded text of FindChild(name); "" when there is none.
  std::string ChildText(std::string_view name) const;

  const std::string& Name() const { return name_; }
  // "" makes the node a document root.
  void SetName(std::string_view name);
  // In insertion order, values escaped as in the document.
  const std::vector<TXMLAttribute>& Attributes() const { return attributes_; }
  const std::vector<std::unique_ptr<TXMLObject>>& Children() const { return children_; }

 private:
  void DestroyChildren();

  std::vector<std::unique_ptr<TXMLObject>> children_;
  std::vector<TXMLAttribute> attributes_;
  std::string text_;  // escaped, as in the document
  std::string name_;  // at most 255 characters; "" for a document root
};

// ChildText of the node, or "" when there is no node at all, so that lookups
// can be chained: ChildText(root.FindChild("INFO"), "PREFIX").
std::string ChildText(const TXMLObject* node, std::string_view name);

}  // namespace support
