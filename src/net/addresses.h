// IPv4 address patterns and host:port texts.
#pragma once

#include <cstdint>
#include <string>

namespace support {

// a * 2^24 + b * 2^16 + c * 2^8 + d of the dotted text, modulo 2^32.
uint32_t IPToNumber(const std::string& dotted);

// The pattern is an exact address, "base/bits" (the base is not masked, so the
// range runs from the base for 2^(32 - bits) addresses), or four parts each
// "*", "lo-hi" or an exact text.
bool IPMatches(const std::string& address, const std::string& pattern);

// "host", "address", "[address]", each optionally followed by ":port". A host
// (last character a letter) goes to hostName, anything else to address. The
// port stays defaultPort unless a valid one (1 to 65535) is given. Always true.
bool ParseHostPort(const std::string& text, int defaultPort, std::string& address, int& port,
                   std::string& hostName);

}  // namespace support
