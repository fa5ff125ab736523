#include "support/versions.h"

#include "support/numbers.h"
#include "support/text_fields.h"

namespace support {

int64_t VersionNumber(const std::string& text) {
  const std::string third = GetField(text, 2, '.');
  return StrToIntVal(GetField(text, 0, '.')) * 1000000 +
         StrToIntVal(GetField(text, 1, '.')) * 10000 + StrToIntVal(GetField(third, 0, '-')) * 100 +
         StrToIntVal(GetField(third, 1, '-'));
}

bool VersionAtLeast(const std::string& a, const std::string& b) {
  return VersionNumber(a) >= VersionNumber(b);
}

}  // namespace support
