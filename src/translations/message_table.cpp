#include "translations/message_table.h"

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

namespace support {

std::string FillMessage(const std::string& pattern, const std::vector<std::string>& args) {
  std::string out;
  size_t next = 0;
  for (size_t i = 0; i < pattern.size(); ++i) {
    if (pattern[i] == '%' && i + 1 < pattern.size() && pattern[i + 1] == 's') {
      if (next < args.size()) out += args[next];
      ++next;
      ++i;
    } else {
      out += pattern[i];
    }
  }
  return out;
}

}  // namespace support
