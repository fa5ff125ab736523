// Reads elements and attributes straight out of a document string, without
// building a tree. Searches are case-sensitive; what is not found gives false
// or an empty text.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "support/xml_attribute.h"

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
// The next element named ElementName after Position: "<" and the name followed by
// a blank, "/" or ">". Its content up to the first "</name>" (nested elements of
// the same name are not counted), or with wholeElement the element from "<" to the
// end tag's ">". An empty element gives "", or its whole tag. The text is
// entity-decoded when decode, an empty element's tag excepted.
bool XMLFindNext(TXMLScanner& scanner, bool wholeElement, bool decode, std::string& text);
// XMLFindFirst on a scanner over the document; "" when not found.
std::string XMLGetElement(std::string_view document, std::string_view elementName,
                          bool wholeElement, bool decode);

// The attributes of one start tag ("<" to ">"), in order, values decoded as
// XMLTagAttribute reads them, each where its attribute stands (a repeated name
// keeps its own value). A name follows a space outside quotes and ends at the
// next "=" outside quotes; either quote character closes a value opened by either.
std::vector<TXMLAttribute> XMLTagAttributes(std::string_view tag);
// The decoded value that follows the first " name=" of the tag before its first
// ">": the text between two quotes, or, unquoted, up to and including the next
// space or to the end of the tag. "" when there is none.
std::string XMLTagAttribute(std::string_view tag, std::string_view name);

}  // namespace support
