// Text fields, splitting, searching and trimming over 8-bit strings.
// Positions are 1-based, 0 meaning "not found".
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace support {

// Letter case, ASCII only: the system's names and identifiers are compared so.
char LowerChar(char c);
std::string LowerCase(std::string_view text);
bool SameText(std::string_view a, std::string_view b);

// Removes blanks and control characters (every byte up to 32) from both ends.
std::string TrimBlanks(const std::string& text);
// Removes tab, line feed, carriage return and space from both ends / the right end.
std::string TrimWhite(const std::string& text);
std::string TrimRightWhite(const std::string& text);

// Field `index` (0-based) of the text split at `separator`, trimmed. Unless
// noTrim, the whole text is trimmed first. With rest, everything from the
// field's start to the end, separators included. "" when there is no such field.
std::string GetField(const std::string& text, int index, char separator, bool noTrim = false,
                     bool rest = false);
// As GetField, but a run of separators counts as one.
std::string GetFieldCollapsed(const std::string& text, int index, char separator,
                              bool noTrim = false, bool rest = false);

// Replaces `items` with the fields of the text. With trimAndSkipEmpty each field
// is trimmed and empty ones are left out. A separator at the very end gives no
// trailing empty field. True when the text held at least one field.
bool SplitToList(const std::string& text, char separator, std::vector<std::string>& items,
                 bool trimAndSkipEmpty = false);
bool SplitToArray(const std::string& text, char separator, std::vector<std::string>& items,
                  bool trimAndSkipEmpty = false);
// The lines of the text as they stand, each ending at CR, LF or CR LF; a line
// break at the very end gives no empty last line.
std::vector<std::string> SplitLines(const std::string& text);

// The characters from first to last, inclusive, clamped to the text.
std::string CopyRange(const std::string& text, int first, int last);

// First position at or after start where needle occurs (case-sensitive), the
// match starting no later than limit (0 = end of text). With wholeWord the
// match must not touch a letter or digit on either side.
int PosEx(const std::string& needle, const std::string& text, int start = 1, bool wholeWord = false,
          int limit = 0);
int LastCharPos(char c, const std::string& text);
// Position of the n-th (0-based) occurrence, or of the last one when there are
// fewer; 0 when there is none.
int NthCharPos(char c, const std::string& text, int n);

// Replaces the first or every occurrence of find; the replacement is not searched again.
void ReplaceText(std::string& text, const std::string& find, const std::string& replacement,
                 bool all = true, bool caseSensitive = true);

// "*" matches any run, "?" any one character; case-sensitive; both texts are
// taken as short strings.
bool WildcardMatch(const std::string& text, const std::string& mask);

// The text cut into pieces of width characters, each written as prefix + piece + suffix.
std::string WrapText(const std::string& text, const std::string& prefix, const std::string& suffix,
                     int width);

// True when an item of a equals an item of b, ignoring case and surrounding blanks.
bool ListsIntersect(const std::string& a, const std::string& b, char separator);

// Whether the first `length` bytes of the buffer end with the suffix.
bool BufferEndsWith(const std::string& suffix, const char* buffer, std::size_t length);

std::string PadLeft(const std::string& text, int width, char fill = ' ', bool truncate = false);
std::string PadRight(const std::string& text, int width, char fill = ' ', bool truncate = false);

// kind 0: a byte of 128 or more; 1: a byte below 32; 2: either.
bool HasCharClass(const std::string& text, int kind);

// Cuts the text at the first marker and trims it. A marker followed by the
// marker's first character is escaped: one copy is removed and the search goes on.
void StripComment(std::string& text, const std::string& marker);
// "// " and "#" comments, then the first "/* */" block.
std::string StripComments(const std::string& text);

}  // namespace support
