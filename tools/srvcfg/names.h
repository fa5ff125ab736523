// The names srvcfg accepts for new domains and accounts, and the account kind option.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace srvcfg {

// Longest domain name: the list entry holds 94 characters, its last byte being the bind flag.
inline constexpr std::size_t kMaxDomainName = 94;
// Longest alias list and password: what the user name and password fields hold.
inline constexpr std::size_t kMaxAlias = 127, kMaxPassword = 127;

// "" when the name may become a domain (its folder below the configuration directory), else
// why not.
std::string DomainNameProblem(const std::string& name);
// "" when the alias list may name a new account (its first alias naming the mailbox folder),
// else why not.
std::string AliasProblem(const std::string& alias);
// A decimal number 0..255; false for anything else.
bool ParseKind(const std::string& text, uint8_t& kind);

}  // namespace srvcfg
