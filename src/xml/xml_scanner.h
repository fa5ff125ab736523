// Reads elements and attributes straight out of a document string, without
// building a tree. Searches are case-sensitive; what is not found gives false
// or an empty text.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "xml/xml_attribute.h"

namespace support {

struct TXMLScanner {
  std::string Data;          // the whole document
  std::string ElementName;   // the element being searched
  std::size_t Position = 0;  // 1-based position of the last ">" consumed; 0 = start
};

// Clears the scanner and reads the whole file into Data. False when the name is
// empty or the file cannot be opened.
bool XMLScannerLoadFile(TXMLScanner& scanner, const std::string& fileName);

// Searches from the start for the element: sets ElementName, resets Position,
// then XMLFindNext.
bool XMLFindFirst(TXMLScanner& scanner, std::string_view elementName, bool decode,
                  bool wholeElement, std::string& text);
// The next element named ElementName after Position: "<" and the name followed
// by a blank, "/" or ">", its start tag ending where XMLTagEnd says. Its content
// up to the first "</name>" (nested elements of the same name are not counted),
// or with wholeElement the element from "<" to the end tag's ">". An empty
// element gives "", or its whole tag. The text is entity-decoded when decode,
// an empty element's tag excepted.
bool XMLFindNext(TXMLScanner& scanner, bool wholeElement, bool decode, std::string& text);
// XMLFindFirst on a scanner over the document; "" when not found.
std::string XMLGetElement(std::string_view document, std::string_view elementName,
                          bool wholeElement, bool decode);

// Quoted values: one opened by a double quote ends only at the next double
// quote, one opened by an apostrophe only at the next apostrophe, and a ">"
// inside either does not end the tag. A quote that meets a raw "<" before its
// partner, or has none, was left open: its value runs through the first ">"
// after it, where the tag ends. Unquoted values run up to and including the
// next space, or through the ">" that ends the tag.

// The position of the ">" that ends the start tag whose "<" is at start: the
// first ">" outside quoted values. npos when the document ends first.
std::size_t XMLTagEnd(std::string_view document, std::size_t start);
// The attributes of one start tag ("<" to ">"), in order, values decoded. A
// name follows a space and ends at the next "=" (names are separated by spaces
// only, with no blanks around "="); a repeated name keeps its own value.
std::vector<TXMLAttribute> XMLTagAttributes(std::string_view tag);
// The decoded value of the tag's first attribute of that name, as
// XMLTagAttributes reads them; "" when there is none.
std::string XMLTagAttribute(std::string_view tag, std::string_view name);

}  // namespace support
