// The message table: the program's translatable message strings, registered by
// identifier, so that a translation file can replace their texts. The table
// refers to the variables; it does not own them.
#pragma once

#include <string>
#include <vector>

namespace support {

struct TMessageEntry {
  std::string Identifier;  // lower case, at most 255 characters
  std::string* Variable;
};

class TMessageTable {
 public:
  // One entry per registration, in registration order; duplicates are kept
  // and the first one wins on lookup.
  std::vector<TMessageEntry> Entries;
  int Count() const { return static_cast<int>(Entries.size()); }
};

// The process-wide table that the operations use when given none.
TMessageTable& DefaultMessageTable();

void RegisterMessage(const std::string& identifier, std::string& variable,
                     TMessageTable* table = nullptr);
// Assigns the text to the first entry with the identifier (compared without
// regard to case); an identifier that is not registered is ignored.
void SetMessage(const std::string& identifier, const std::string& text,
                TMessageTable* table = nullptr);
void ClearMessages(TMessageTable* table = nullptr);

// The identifier as the table keeps it: cut to 255 characters, ASCII letters
// in lower case.
std::string MessageIdentifier(const std::string& identifier);

}  // namespace support

namespace support {

// A message filled with its arguments: each "%s" takes the next argument in
// order (a missing one gives ""), and every other "%" stays as it stands.
// Messages come from a file the user may edit, so they never reach a
// printf-style function.
std::string FillMessage(const std::string& pattern, const std::vector<std::string>& args);

}  // namespace support
