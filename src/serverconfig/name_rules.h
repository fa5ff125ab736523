// The names new domains and accounts may have: each becomes a folder, of the
// domain below the configuration directory or of the mailbox below the mail
// directory, so it must make one usable folder name there. srvcfg and the
// first-run wizard check names with these rules before they create anything;
// the store applies them where it creates or moves a folder itself.
#pragma once

#include <cstddef>
#include <string>

namespace serverconfig {

// Longest name of a new domain. The list entry's last byte doubles as the bind
// flag, so a 95th character would be read as that flag; stored names of 95
// characters are kept as they are.
inline constexpr std::size_t kMaxNewDomainName = 94;
// Longest alias list and password of a new account: what the user name and
// password fields hold.
inline constexpr std::size_t kMaxAlias = 127, kMaxPassword = 127;

// "" when the name may become a new domain, else why not.
std::string DomainNameProblem(const std::string& name);
// "" when the alias list may name a new account, else why not: its length, its
// characters and MailboxFolderProblem.
std::string AliasProblem(const std::string& aliases);
// "" when the first alias of the list names a usable mailbox folder, else why not.
std::string MailboxFolderProblem(const std::string& aliases);

// The mailbox folder name of an alias list: its first alias without the
// characters " * / < > ? |.
std::string MailboxFolderName(const std::string& aliases);
// The mailbox path the store derives from an alias list, relative to the mail
// directory: domain\ + MailboxFolderName + "\".
std::string DerivedMailbox(const std::string& domain, const std::string& aliases);

}  // namespace serverconfig
