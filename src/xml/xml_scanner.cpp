#include "xml/xml_scanner.h"

#include <optional>

#include "support/file_utils.h"
#include "xml/xml_text.h"

namespace support {
namespace {

constexpr auto npos = std::string_view::npos;

std::string Joined(std::string_view before, std::string_view name, std::string_view after) {
  std::string joined;
  joined.reserve(before.size() + name.size() + after.size());
  joined.append(before).append(name).append(after);
  return joined;
}

bool IsQuote(char c) {
  return c == '"' || c == '\'';
}

bool IsNameDelimiter(char c) {
  return c == '\t' || c == '\n' || c == '\r' || c == ' ' || c == '/' || c == '>';
}

// Walks the start tag whose "<" is tag[0], gives each attribute to
// visit(name, rawValue) and returns the position of the ">" that ends the tag
// (npos when the text ends first). XMLTagEnd, XMLTagAttributes and
// XMLTagAttribute all read through it, so they agree on where values end.
// Every "=" begins a value; it also ends a name when a space began the name
// and no "=" has come since (the tag's first word is the element's). Stopping
// a quoted value at a raw "<" keeps a missing quote from taking in the tags
// that follow.
template <typename Visit>
std::size_t WalkTag(std::string_view tag, Visit&& visit) {
  std::size_t nameStart = 0;
  bool nameOpen = false;
  std::size_t i = 1;
  while (i < tag.size()) {
    const char c = tag[i];
    if (c == '>') return i;
    if (c != '=') {
      if (c == ' ') {
        nameStart = i + 1;
        nameOpen = true;
      }
      ++i;
      continue;
    }
    const bool named = nameOpen && i > nameStart;
    const std::string_view name = tag.substr(nameStart, i - nameStart);
    nameOpen = false;
    const std::size_t value = i + 1;
    if (value < tag.size() && IsQuote(tag[value])) {
      const char stops[] = {tag[value], '<'};
      const std::size_t close = tag.find_first_of(std::string_view(stops, 2), value + 1);
      if (close != npos && tag[close] == tag[value]) {
        if (named) visit(name, tag.substr(value + 1, close - value - 1));
        i = close + 1;
        continue;
      }
      // Left open: the value runs through the first ">" after the quote.
      const std::size_t end = tag.find('>', value + 1);
      if (named) visit(name, tag.substr(value + 1, end == npos ? npos : end - value));
      return end;
    }
    // Unquoted: up to and including the next space, or through the ">".
    const std::size_t stop = tag.find_first_of(" >", value);
    if (named) visit(name, tag.substr(value, stop == npos ? npos : stop + 1 - value));
    if (stop == npos || tag[stop] == '>') return stop;
    i = stop;  // the space begins the next name
  }
  return npos;
}

// The search of XMLFindNext over any document text; `position` as in TXMLScanner.
bool FindElement(std::string_view data, std::string_view name, std::size_t& position,
                 bool wholeElement, bool decode, std::string& text) {
  text.clear();
  if (position > data.size()) return false;
  const std::string open = Joined("<", name, "");
  std::size_t start = npos;
  for (std::size_t from = position; (start = data.find(open, from)) != npos; from = start + 1) {
    const std::size_t after = start + open.size();
    if (after < data.size() && IsNameDelimiter(data[after])) break;
  }
  if (start == npos) return false;

  const std::size_t tagEnd = XMLTagEnd(data, start);
  if (tagEnd == npos) return false;
  position = tagEnd + 1;
  if (data[tagEnd - 1] == '/') {
    if (wholeElement) text = data.substr(start, tagEnd + 1 - start);
    return true;
  }

  const std::string close = Joined("</", name, ">");
  const std::size_t end = data.find(close, tagEnd + 1);
  if (end == npos) return false;
  position = end + close.size();
  const std::string_view found = wholeElement ? data.substr(start, position - start)
                                              : data.substr(tagEnd + 1, end - tagEnd - 1);
  text = decode ? DecodeXMLEntities(found) : std::string(found);
  return true;
}

}  // namespace

bool XMLScannerLoadFile(TXMLScanner& scanner, const std::string& fileName) {
  scanner = TXMLScanner();
  if (fileName.empty()) return false;
  return ReadWholeFile(fileName, scanner.Data);
}

bool XMLFindFirst(TXMLScanner& scanner, std::string_view elementName, bool decode,
                  bool wholeElement, std::string& text) {
  scanner.ElementName = std::string(elementName);
  scanner.Position = 0;
  return XMLFindNext(scanner, wholeElement, decode, text);
}

bool XMLFindNext(TXMLScanner& scanner, bool wholeElement, bool decode, std::string& text) {
  return FindElement(scanner.Data, scanner.ElementName, scanner.Position, wholeElement, decode,
                     text);
}

std::string XMLGetElement(std::string_view document, std::string_view elementName,
                          bool wholeElement, bool decode) {
  std::size_t position = 0;
  std::string text;
  FindElement(document, elementName, position, wholeElement, decode, text);
  return text;
}

std::size_t XMLTagEnd(std::string_view document, std::size_t start) {
  const std::size_t end =
      WalkTag(document.substr(start), [](std::string_view, std::string_view) {});
  return end == npos ? npos : start + end;
}

std::vector<TXMLAttribute> XMLTagAttributes(std::string_view tag) {
  std::vector<TXMLAttribute> attributes;
  WalkTag(tag, [&](std::string_view name, std::string_view value) {
    attributes.push_back({std::string(name), DecodeXMLEntities(value)});
  });
  return attributes;
}

std::string XMLTagAttribute(std::string_view tag, std::string_view name) {
  std::optional<std::string_view> found;
  WalkTag(tag, [&](std::string_view attribute, std::string_view value) {
    if (!found && attribute == name) found = value;
  });
  return found ? DecodeXMLEntities(*found) : std::string();
}

}  // namespace support
