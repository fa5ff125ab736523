#include "serverconfig/name_rules.h"

#include <string_view>

#include "archive/entry_names.h"
#include "support/text_fields.h"

namespace serverconfig {
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

std::string LengthProblem(const std::string& text, std::size_t limit) {
  return text.size() > limit ? "longer than " + std::to_string(limit) + " characters" : "";
}

}  // namespace

std::string DomainNameProblem(const std::string& name) {
  if (name.empty()) return "the name is empty";
  if (std::string problem = LengthProblem(name, kMaxNewDomainName); !problem.empty())
    return problem;
  if (std::string problem = CharacterProblem(name, kDomainRefused); !problem.empty())
    return problem;
  // Also "." and "..": Windows drops a trailing dot from a folder name.
  if (name.front() == '.' || name.back() == '.') return "begins or ends with \".\"";
  if (!archive::IsSafeEntryName(name)) return "a device name of Windows";
  return "";
}

std::string AliasProblem(const std::string& aliases) {
  if (aliases.empty()) return "the alias is empty";
  if (std::string problem = LengthProblem(aliases, kMaxAlias); !problem.empty()) return problem;
  if (std::string problem = CharacterProblem(aliases, kAliasRefused); !problem.empty())
    return problem;
  return MailboxFolderProblem(aliases);
}

std::string MailboxFolderProblem(const std::string& aliases) {
  std::string first = support::GetField(aliases, 0, ';', true);
  if (std::string problem = CharacterProblem(first, kAliasRefused); !problem.empty())
    return "the first alias " + problem;
  std::string folder = MailboxFolderName(aliases);
  if (folder.empty()) return "the first alias names no mailbox folder";
  if (!archive::IsSafeEntryName(folder)) return "the first alias is not a usable folder name";
  return "";
}

std::string MailboxFolderName(const std::string& aliases) {
  std::string folder;
  for (char c : support::GetField(aliases, 0, ';', true))
    if (std::string_view("\"*/<>?|").find(c) == std::string_view::npos) folder += c;
  return folder;
}

std::string DerivedMailbox(const std::string& domain, const std::string& aliases) {
  return domain + "\\" + MailboxFolderName(aliases) + "\\";
}

}  // namespace serverconfig
