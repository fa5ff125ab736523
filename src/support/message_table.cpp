#include "support/message_table.h"

#include "support/short_string.h"
#include "support/text_fields.h"

namespace support {
namespace {

TMessageTable& Resolve(TMessageTable* table) {
  return table ? *table : DefaultMessageTable();
}

}  // namespace

TMessageTable& DefaultMessageTable() {
  static TMessageTable table;
  return table;
}

std::string MessageIdentifier(const std::string& identifier) {
  return LowerCase(ShortString(identifier));
}

void RegisterMessage(const std::string& identifier, std::string& variable, TMessageTable* table) {
  auto& entries = Resolve(table).Entries;
  entries.push_back({MessageIdentifier(identifier), &variable});
}

void SetMessage(const std::string& identifier, const std::string& text, TMessageTable* table) {
  const std::string id = MessageIdentifier(identifier);
  for (auto& entry : Resolve(table).Entries) {
    if (entry.Identifier == id) {
      *entry.Variable = text;
      return;
    }
  }
}

void ClearMessages(TMessageTable* table) {
  Resolve(table).Entries.clear();
}

}  // namespace support
