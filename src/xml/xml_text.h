// Entity coding and the code-page/UTF-8 conversion shared by the XML object and
// the XML scanner, and the typed value helpers of XML documents.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace support {

// Replaces & " ' < > by their named references. Unless keepAnsi, a result that
// holds a byte of 128 or above is converted from the system code page to UTF-8.
std::string EncodeXMLEntities(std::string_view text, bool keepAnsi = false);

// Unless keepAnsi, a text that holds a byte of 128 or above is converted from
// UTF-8 to the system code page first. Then each reference is replaced once:
// &amp; &quot; &apos; &lt; &gt; &nbsp; (any letter case) and numeric references
// "&#n;" (decimal, or hexadecimal after "$", "x" or "X"), which give the byte of
// the number's low 8 bits. A reference that is not closed by ";" or whose number
// cannot be read stays as it is.
std::string DecodeXMLEntities(std::string_view text, bool keepAnsi = false);

// System code page to UTF-8: each UTF-16 code unit as one, two or three bytes.
std::string AnsiToUtf8(std::string_view text);
// UTF-8 to the system code page. Lenient: continuation bytes are not checked, a
// sequence cut off at the end of the text is dropped, and a character outside
// the code page becomes "?".
std::string Utf8ToAnsi(std::string_view text);

// "1" or "0".
std::string XMLBoolToStr(bool value);
// True for "true" in any letter case and for exactly "1".
bool XMLStrToBool(std::string_view text);
// The decimal number; "" for 0.
std::string XMLIntToStr(int64_t value);

}  // namespace support
