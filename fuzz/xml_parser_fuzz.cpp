// The XML tree reader and writer on any bytes: no crash, no stall, and what the
// writer produces reads back, complete, to the same tree (unless a name was cut).
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "xml/xml_object.h"
#include "xml/xml_text.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string document(reinterpret_cast<const char*>(data), size);

  support::TXMLObject root;
  root.ParseXML(document);

  // Every lookup on every node, walked without recursion.
  bool namesCut = false;
  std::vector<const support::TXMLObject*> pending{&root};
  while (!pending.empty()) {
    const support::TXMLObject* node = pending.back();
    pending.pop_back();
    node->GetText(true);
    for (const auto& attribute : node->Attributes()) {
      if (node->GetAttribute(attribute.Name, true).size() > 255) __builtin_trap();
      // A name cut at 255 characters may end inside quotes, and reads back otherwise.
      namesCut = namesCut || attribute.Name.size() == 255;
    }
    if (!node->Children().empty() && node->FindChild(node->Children()[0]->Name()) == nullptr)
      __builtin_trap();
    support::ChildText(node, "ITEM");
    for (const auto& child : node->Children()) pending.push_back(child.get());
  }

  const std::string written = root.GetXML(true, false);
  support::TXMLObject again;
  const bool complete = again.ParseXML(written);
  if (!namesCut && (!complete || again.GetXML(true, false) != written)) __builtin_trap();

  // Windows-1252 maps every byte, so escaping always decodes back.
  if (support::DecodeXMLEntities(support::EncodeXMLEntities(document)) != document)
    __builtin_trap();
  support::DecodeXMLEntities(document, true);
  return 0;
}
