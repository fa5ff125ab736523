#include "support/text_fields.h"

#include <algorithm>
#include <cctype>

#include "support/short_string.h"

namespace support {
namespace {

bool IsBlankOrControl(char c) {
  return static_cast<unsigned char>(c) <= ' ';
}
bool IsWhite(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}
bool IsAlnum(char c) {
  return std::isalnum(static_cast<unsigned char>(c)) != 0;
}

template <typename Pred>
std::string TrimIf(const std::string& text, Pred pred, bool left) {
  std::size_t first = 0, last = text.size();
  if (left)
    while (first < last && pred(text[first])) ++first;
  while (last > first && pred(text[last - 1])) --last;
  return text.substr(first, last - first);
}

std::string FieldOf(const std::string& source, int index, char separator, bool noTrim, bool rest) {
  if (source.empty() || index < 0) return "";
  std::string text = noTrim ? source : TrimBlanks(source);
  if (text.empty()) return "";
  std::size_t start = 0;
  for (int k = 0; k < index; ++k) {
    std::size_t next = text.find(separator, start);
    if (next == std::string::npos) return "";
    start = next + 1;
  }
  if (rest) return TrimBlanks(text.substr(start));
  std::size_t end = text.find(separator, start);
  if (end == std::string::npos) end = text.size();
  return TrimBlanks(text.substr(start, end - start));
}

}  // namespace

char LowerChar(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

std::string LowerCase(std::string_view text) {
  std::string lower(text);
  for (char& c : lower) c = LowerChar(c);
  return lower;
}

bool SameText(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return LowerChar(x) == LowerChar(y);
         });
}

std::string TrimBlanks(const std::string& text) {
  return TrimIf(text, IsBlankOrControl, true);
}
std::string TrimWhite(const std::string& text) {
  return TrimIf(text, IsWhite, true);
}
std::string TrimRightWhite(const std::string& text) {
  return TrimIf(text, IsWhite, false);
}

std::string GetField(const std::string& text, int index, char separator, bool noTrim, bool rest) {
  return FieldOf(text, index, separator, noTrim, rest);
}

std::string GetFieldCollapsed(const std::string& text, int index, char separator, bool noTrim,
                              bool rest) {
  std::string collapsed;
  collapsed.reserve(text.size());
  for (char c : text)
    if (c != separator || collapsed.empty() || collapsed.back() != separator) collapsed += c;
  return FieldOf(collapsed, index, separator, noTrim, rest);
}

bool SplitToList(const std::string& text, char separator, std::vector<std::string>& items,
                 bool trimAndSkipEmpty) {
  items.clear();
  bool looked = false;
  std::size_t start = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    bool atSeparator = text[i] == separator;
    if (!atSeparator && i + 1 < text.size()) continue;
    std::string field = text.substr(start, (atSeparator ? i : i + 1) - start);
    start = i + 1;
    looked = true;
    if (trimAndSkipEmpty) {
      field = TrimBlanks(field);
      if (field.empty()) continue;
    }
    items.push_back(std::move(field));
  }
  return looked;
}

bool SplitToArray(const std::string& text, char separator, std::vector<std::string>& items,
                  bool trimAndSkipEmpty) {
  return SplitToList(text, separator, items, trimAndSkipEmpty);
}

std::vector<std::string> SplitLines(const std::string& text) {
  std::vector<std::string> lines;
  std::size_t pos = 0;
  while (pos < text.size()) {
    std::size_t end = text.find_first_of("\r\n", pos);
    if (end == std::string::npos) end = text.size();
    lines.push_back(text.substr(pos, end - pos));
    pos = end;
    if (pos < text.size() && text[pos] == '\r') ++pos;
    if (pos < text.size() && text[pos] == '\n') ++pos;
  }
  return lines;
}

std::string CopyRange(const std::string& text, int first, int last) {
  if (first < 1) first = 1;
  if (last > static_cast<int>(std::min<std::size_t>(text.size(), 0x7FFFFFFF)))
    last = static_cast<int>(text.size());
  if (last < first) return "";
  return text.substr(first - 1, last - first + 1);
}

int PosEx(const std::string& needle, const std::string& text, int start, bool wholeWord,
          int limit) {
  const int size = static_cast<int>(std::min<std::size_t>(text.size(), 0x7FFFFFFF));
  if (needle.empty() || size == 0) return 0;
  if (start < 1) start = 1;
  if (limit <= 0 || limit > size) limit = size;
  const int n = static_cast<int>(std::min<std::size_t>(needle.size(), 0x7FFFFFFF));
  std::size_t from = static_cast<std::size_t>(start - 1);
  while (from < static_cast<std::size_t>(limit)) {
    std::size_t found = text.find(needle, from);
    if (found == std::string::npos) return 0;
    int pos = static_cast<int>(found) + 1;
    if (pos > limit) return 0;
    if (!wholeWord) return pos;
    bool beforeOk = pos <= start || !IsAlnum(text[pos - 2]);
    int end = pos + n - 1;
    bool afterOk = end >= limit || !IsAlnum(text[end]);
    if (beforeOk && afterOk) return pos;
    from = found + 1;
  }
  return 0;
}

int LastCharPos(char c, const std::string& text) {
  std::size_t found = text.rfind(c);
  return found == std::string::npos ? 0 : static_cast<int>(found) + 1;
}

int NthCharPos(char c, const std::string& text, int n) {
  int last = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != c) continue;
    last = static_cast<int>(i) + 1;
    if (n-- <= 0) break;
  }
  return last;
}

void ReplaceText(std::string& text, const std::string& find, const std::string& replacement,
                 bool all, bool caseSensitive) {
  if (find.empty()) return;
  auto locate = [&](std::size_t from) {
    if (caseSensitive) return text.find(find, from);
    auto it = std::search(text.begin() + from, text.end(), find.begin(), find.end(),
                          [](char x, char y) { return LowerChar(x) == LowerChar(y); });
    return it == text.end() ? std::string::npos : static_cast<std::size_t>(it - text.begin());
  };
  std::string out;
  std::size_t from = 0;
  for (std::size_t found; (found = locate(from)) != std::string::npos;) {
    out.append(text, from, found - from);
    out += replacement;
    from = found + find.size();
    if (!all) break;
  }
  if (from == 0) return;
  out.append(text, from, std::string::npos);
  text = std::move(out);
}

bool WildcardMatch(const std::string& source, const std::string& pattern) {
  const std::string text = ShortString(source), mask = ShortString(pattern);
  // One backtrack point: the last "*" seen. A later "*" supersedes it, which is
  // what keeps this linear in the mask per text position instead of exponential.
  std::size_t t = 0, m = 0;
  std::size_t starMask = std::string::npos, starText = 0;
  while (t < text.size()) {
    if (m < mask.size() && mask[m] == '*') {
      starMask = m++;
      starText = t;
    } else if (m < mask.size() && (mask[m] == '?' || mask[m] == text[t])) {
      ++m;
      ++t;
    } else if (starMask != std::string::npos) {
      m = starMask + 1;
      t = ++starText;
    } else {
      return false;
    }
  }
  while (m < mask.size() && mask[m] == '*') ++m;
  return m == mask.size();
}

std::string WrapText(const std::string& text, const std::string& prefix, const std::string& suffix,
                     int width) {
  // A width below 1 would never advance; the text is then one piece.
  std::size_t step = width < 1 ? std::max<std::size_t>(text.size(), 1) : width;
  std::string out;
  for (std::size_t i = 0; i < text.size(); i += step) {
    out += prefix;
    out.append(text, i, step);
    out += suffix;
  }
  return out;
}

bool ListsIntersect(const std::string& a, const std::string& b, char separator) {
  if (a.find(separator) == std::string::npos && b.find(separator) == std::string::npos) {
    std::string x = TrimBlanks(a);
    return !x.empty() && SameText(x, TrimBlanks(b));
  }
  std::vector<std::string> left, right;
  SplitToList(a, separator, left, true);
  SplitToList(b, separator, right, true);
  for (const auto& x : left)
    for (const auto& y : right)
      if (SameText(x, y)) return true;
  return false;
}

bool BufferEndsWith(const std::string& suffix, const char* buffer, std::size_t length) {
  if (suffix.size() > length) return false;
  if (suffix.empty()) return true;
  if (!buffer) return false;
  return std::equal(suffix.begin(), suffix.end(), buffer + (length - suffix.size()));
}

std::string PadLeft(const std::string& text, int width, char fill, bool truncate) {
  std::size_t w = width < 0 ? 0 : static_cast<std::size_t>(width);
  if (text.size() >= w) return truncate ? text.substr(0, w) : text;
  return std::string(w - text.size(), fill) + text;
}

std::string PadRight(const std::string& text, int width, char fill, bool truncate) {
  std::size_t w = width < 0 ? 0 : static_cast<std::size_t>(width);
  if (text.size() >= w) return truncate ? text.substr(0, w) : text;
  return text + std::string(w - text.size(), fill);
}

bool HasCharClass(const std::string& text, int kind) {
  if (kind < 0 || kind > 2) return false;
  for (char ch : text) {
    auto c = static_cast<unsigned char>(ch);
    if ((kind != 1 && c >= 128) || (kind != 0 && c < 32)) return true;
  }
  return false;
}

void StripComment(std::string& text, const std::string& marker) {
  if (!marker.empty()) {
    std::size_t from = 0;
    for (std::size_t found; (found = text.find(marker, from)) != std::string::npos;) {
      std::size_t after = found + marker.size();
      if (after < text.size() && text[after] == marker[0]) {
        // Escaped: keep one literal copy and search on behind it.
        text.erase(found, marker.size());
        from = found + 1;
        continue;
      }
      text.erase(found);
      break;
    }
  }
  text = TrimBlanks(text);
}

std::string StripComments(const std::string& source) {
  std::string text = source;
  StripComment(text, "// ");
  StripComment(text, "#");
  std::size_t open = text.find("/*");
  if (open != std::string::npos) {
    std::size_t close = text.find("*/", open + 2);
    if (close != std::string::npos) text.erase(open, close + 2 - open);
  }
  return TrimBlanks(text);
}

}  // namespace support
