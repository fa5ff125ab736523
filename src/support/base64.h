// Base64 with the standard alphabet and "=" padding.
#pragma once

#include <string>
#include <string_view>

namespace support {

std::string Base64Encode(std::string_view data);
// False for a text that is not Base64 (a character outside the alphabet, a
// length that no encoding has, padding inside the text); out is then empty.
bool Base64Decode(std::string_view text, std::string& out);
// Reads every character of the alphabet and skips all others (line breaks,
// padding, junk); bits left over at the end are dropped.
std::string Base64DecodeLenient(std::string_view text);

}  // namespace support
