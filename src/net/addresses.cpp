#include "net/addresses.h"

#include <cctype>

#include "support/numbers.h"
#include "support/text_fields.h"

namespace support {

uint32_t IPToNumber(const std::string& dotted) {
  uint32_t value = 0;
  for (int i = 0; i < 4; ++i)
    value = (value << 8) + static_cast<uint32_t>(StrToIntVal(GetField(dotted, i, '.')));
  return value;
}

bool IPMatches(const std::string& address, const std::string& pattern) {
  if (pattern.find_first_of("*-/") == std::string::npos) return address == pattern;

  std::size_t slash = pattern.find('/');
  if (slash != std::string::npos) {
    int64_t bits = StrToIntVal(pattern.substr(slash + 1));
    if (bits < 0) bits = 0;
    if (bits > 32) bits = 32;
    // 64-bit bounds: a range that runs past 255.255.255.255 ends there instead of wrapping.
    const uint64_t base = IPToNumber(pattern.substr(0, slash));
    const uint64_t last = base + (uint64_t{1} << (32 - bits)) - 1;
    const uint64_t value = IPToNumber(address);
    return base <= value && value <= last;
  }

  for (int i = 0; i < 4; ++i) {
    const std::string want = GetField(pattern, i, '.');
    const std::string have = GetField(address, i, '.');
    if (want == "*") continue;
    if (want.find('-') != std::string::npos) {
      const int64_t number = StrToIntVal(have);
      if (number < StrToIntVal(GetField(want, 0, '-')) ||
          number > StrToIntVal(GetField(want, 1, '-')))
        return false;
      continue;
    }
    if (want != have) return false;
  }
  return true;
}

bool ParseHostPort(const std::string& source, int defaultPort, std::string& address, int& port,
                   std::string& hostName) {
  std::string text = TrimBlanks(source);
  port = defaultPort;
  address.clear();
  hostName.clear();

  std::size_t open = text.find('[');
  std::size_t close = open == std::string::npos ? std::string::npos : text.find(']', open);
  std::string rest;
  if (close != std::string::npos) {
    address = TrimBlanks(text.substr(open + 1, close - open - 1));
    rest = text.substr(close + 1);
  } else {
    std::size_t colon = text.find(':');
    std::string host = TrimBlanks(text.substr(0, colon));
    if (!host.empty() && std::isalpha(static_cast<unsigned char>(host.back())))
      hostName = host;
    else
      address = host;
    if (colon != std::string::npos) rest = text.substr(colon);
  }

  std::size_t colon = rest.find(':');
  if (colon != std::string::npos) {
    std::string number = rest.substr(colon + 1);
    number = number.substr(0, number.find(':'));
    int64_t value = StrToIntVal(TrimBlanks(number));
    if (value >= 1 && value <= 65535) port = static_cast<int>(value);
  }
  return true;
}

}  // namespace support
