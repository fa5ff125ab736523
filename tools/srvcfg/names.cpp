#include "names.h"

#include <string_view>

#include "archive/entry_names.h"
#include "serverconfig/new_objects.h"

namespace srvcfg {
namespace {

// Characters that no domain folder name may hold: separators, a drive or stream ":", the
// characters Windows refuses in names, and "@", which would make the name an address.
constexpr std::string_view kDomainRefused = "\\/:*?\"<>|@";
// In aliases: separators and ":" would take the mailbox folder elsewhere, "@" splits addresses.
constexpr std::string_view kAliasRefused = "\\/:@";

// "" when every character is printable and none is refused, else why not.
std::string CharacterProblem(const std::string& text, std::string_view refused) {
  for (char c : text) {
    if (static_cast<unsigned char>(c) < 0x21) return "contains a blank or control character";
    if (refused.find(c) != std::string_view::npos) return std::string("contains \"") + c + "\"";
  }
  return "";
}

}  // namespace

std::string DomainNameProblem(const std::string& name) {
  if (name.empty()) return "the name is empty";
  if (name.size() > kMaxDomainName)
    return "longer than " + std::to_string(kMaxDomainName) + " characters";
  if (std::string problem = CharacterProblem(name, kDomainRefused); !problem.empty())
    return problem;
  // Also "." and "..": Windows drops a trailing dot from a folder name.
  if (name.front() == '.' || name.back() == '.') return "begins or ends with \".\"";
  if (!archive::IsSafeEntryName(name)) return "a device name of Windows";
  return "";
}

std::string AliasProblem(const std::string& alias) {
  if (alias.empty()) return "the alias is empty";
  if (alias.size() > kMaxAlias) return "longer than " + std::to_string(kMaxAlias) + " characters";
  if (std::string problem = CharacterProblem(alias, kAliasRefused); !problem.empty())
    return problem;
  std::string folder = serverconfig::MailboxFolderName(alias);
  if (folder.empty()) return "the first alias names no mailbox folder";
  if (!archive::IsSafeEntryName(folder)) return "the first alias is not a usable folder name";
  return "";
}

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
