// The XML scanner on any bytes. The input's first line (at most 16 bytes) is the
// element name to search, the rest the document.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "xml/xml_scanner.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  std::size_t lineEnd = input.find('\n');
  if (lineEnd == std::string_view::npos || lineEnd > 16) lineEnd = 0;
  const std::string name(input.substr(0, lineEnd));
  const std::string_view document = input.substr(lineEnd == 0 ? 0 : lineEnd + 1);

  for (int mode = 0; mode < 4; ++mode) {
    const bool whole = mode & 1;
    const bool decode = mode & 2;
    support::TXMLScanner scanner;
    scanner.Data = std::string(document);
    std::string text;
    // Each match moves the position forward: the loop cannot run for ever.
    std::size_t last = 0;
    for (bool found = support::XMLFindFirst(scanner, name, decode, whole, text); found;
         found = support::XMLFindNext(scanner, whole, decode, text)) {
      if (scanner.Position <= last || scanner.Position > document.size()) __builtin_trap();
      last = scanner.Position;
    }
    if (!text.empty()) __builtin_trap();
    support::XMLGetElement(document, name, whole, decode);
  }

  // Every tag as the parser cuts start tags; cut out, it ends where it ended.
  for (std::size_t lt = document.find('<'); lt != std::string_view::npos;
       lt = document.find('<', lt + 1)) {
    const std::size_t gt = support::XMLTagEnd(document, lt);
    if (gt == std::string_view::npos) break;
    const std::string_view tag = document.substr(lt, gt - lt + 1);
    if (support::XMLTagEnd(tag, 0) != tag.size() - 1) __builtin_trap();
    for (const auto& attribute : support::XMLTagAttributes(tag))
      support::XMLTagAttribute(tag, attribute.Name);
    support::XMLTagAttribute(tag, name);
    lt = gt;
  }
  return 0;
}
