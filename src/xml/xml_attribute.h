// One attribute of an XML element: the tree keeps its value escaped, the tag
// reader hands it out decoded.
#pragma once

#include <string>

namespace support {

struct TXMLAttribute {
  std::string Name;
  std::string Value;
};

}  // namespace support
