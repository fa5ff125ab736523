#include "support/xml_scanner.h"

#include "support/file_utils.h"
#include "support/xml_text.h"

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

// First position of the pattern in the text, in linear time whatever both hold
// (the pattern may come from the document itself).
std::size_t FindLinear(std::string_view text, std::string_view pattern) {
  if (pattern.empty()) return 0;
  if (pattern.size() > text.size()) return npos;
  std::vector<std::size_t> border(pattern.size(), 0);
  for (std::size_t i = 1, k = 0; i < pattern.size(); ++i) {
    while (k > 0 && pattern[i] != pattern[k]) k = border[k - 1];
    if (pattern[i] == pattern[k]) ++k;
    border[i] = k;
  }
  for (std::size_t i = 0, k = 0; i < text.size(); ++i) {
    while (k > 0 && text[i] != pattern[k]) k = border[k - 1];
    if (text[i] == pattern[k]) ++k;
    if (k == pattern.size()) return i + 1 - k;
  }
  return npos;
}

// The value that starts at `start`, just after an "=": the text between the
// first two quotes, or, when a space comes before any quote, everything up to
// and including that space. Without either it runs to the end of the tag; a
// quote left open runs from after it to the end.
std::string ValueAt(std::string_view tag, std::size_t start) {
  std::size_t opening = npos;
  for (std::size_t j = start; j < tag.size(); ++j) {
    const char c = tag[j];
    if (IsQuote(c)) {
      if (opening != npos) return DecodeXMLEntities(tag.substr(opening + 1, j - opening - 1));
      opening = j;
    } else if (c == ' ' && opening == npos) {
      return DecodeXMLEntities(tag.substr(start, j - start + 1));
    }
  }
  if (opening != npos) return DecodeXMLEntities(tag.substr(opening + 1));
  return DecodeXMLEntities(tag.substr(start));
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

  const std::size_t tagEnd = data.find('>', start + open.size());
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

std::vector<TXMLAttribute> XMLTagAttributes(std::string_view tag) {
  std::vector<TXMLAttribute> attributes;
  if (tag.size() <= 2) return attributes;
  const std::size_t firstClose = tag.find('>');
  bool inQuotes = false;
  std::size_t nameStart = 1;
  bool nameOpen = true;  // no "=" has ended the name that began at nameStart
  for (std::size_t i = 1; i < tag.size(); ++i) {
    const char c = tag[i];
    if (IsQuote(c)) {
      inQuotes = !inQuotes;
    } else if (inQuotes) {
      continue;
    } else if (c == ' ') {
      nameStart = i + 1;
      nameOpen = true;
    } else if (c == '>') {
      break;
    } else if (c == '=' && nameOpen) {
      // One name per space: a further "=" before the next space ("x=a=b")
      // belongs to the value, so names never overlap.
      nameOpen = false;
      const std::string_view name = tag.substr(nameStart, i - nameStart);
      if (name.empty()) continue;
      std::string value;
      if (nameStart == 1) {
        value = XMLTagAttribute(tag, name);  // no space before it: looked up as a name
      } else if (firstClose == npos || nameStart - 1 < firstClose) {
        // Each attribute's value is read where the attribute stands. Looking the
        // name up again from the start of the tag would give a duplicate the
        // first one's value, let " name=" inside an earlier quoted value take
        // over, and cost time in the square of the tag's length.
        value = ValueAt(tag, i + 1);
      }
      attributes.push_back({std::string(name), std::move(value)});
    }
  }
  return attributes;
}

std::string XMLTagAttribute(std::string_view tag, std::string_view name) {
  const std::string pattern = Joined(" ", name, "=");
  // Only matches that start before the first ">" count.
  const std::size_t limit = tag.find('>');
  const std::string_view searched = limit == npos ? tag : tag.substr(0, limit + pattern.size() - 1);
  const std::size_t at = FindLinear(searched, pattern);
  if (at == npos) return "";
  return ValueAt(tag, at + pattern.size());
}

}  // namespace support
