// The strings.dat reader on any bytes: every line through the message table,
// and the whole input through the quoted-literal decoder.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "translations/message_table.h"
#include "translations/strings_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string input(reinterpret_cast<const char*>(data), size);

  static support::TMessageTable table = [] {
    support::TMessageTable t;
    support::RegisterServerMessages(&t);
    return t;
  }();
  support::ApplyStringsText(input, &table);

  // Every character of the result consumes at least one of the input.
  if (support::DecodeQuotedLiteral(input).size() > size) std::abort();

  std::string identifier, value;
  if (support::ParseStringsLine(input, identifier, value) &&
      (identifier.empty() || value.empty() || value.find('=') != std::string::npos))
    std::abort();
  return 0;
}
