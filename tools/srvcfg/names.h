// The account kind option of srvcfg. The names it accepts for new domains and accounts are the
// store's rules (serverconfig/name_rules.h).
#pragma once

#include <cstdint>
#include <string>

namespace srvcfg {

// A decimal number 0..255; false for anything else.
bool ParseKind(const std::string& text, uint8_t& kind);

}  // namespace srvcfg
