#include "names.h"

namespace srvcfg {

bool ParseKind(const std::string& text, uint8_t& kind) {
  if (text.empty() || text.size() > 3) return false;
  unsigned value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    value = value * 10 + static_cast<unsigned>(c - '0');
  }
  if (value > 255) return false;
  kind = static_cast<uint8_t>(value);
  return true;
}

}  // namespace srvcfg
