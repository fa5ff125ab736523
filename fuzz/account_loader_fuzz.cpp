// users.cfg of any size and content: counted, read record by record, searched
// and walked, with password encryption on so that every stored password is
// taken through the decryption.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "config_fuzz_files.h"
#include "support/text_fields.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  namespace a = serverconfig::account;
  static serverconfig::TConfigStore* store = [] {
    auto* made = new serverconfig::TConfigStore;
    fuzz_config::Prepare(*made);
    fuzz_config::WriteConfigFile("settings.cfg", "");
    made->LoadServerConfig(false, false);
    made->Settings.SetByte(serverconfig::settings::kEncryptPasswords, 1);
    made->Domains.AddDomain("fuzz.example");
    return made;
  }();
  fuzz_config::WriteConfigFile("fuzz.example\\users.cfg",
                               std::string(reinterpret_cast<const char*>(data), size));
  int count = store->Accounts.AccountCount("fuzz.example");
  if (count != static_cast<int>(size / a::kRecordSize)) std::abort();
  serverconfig::TFixedRecord record(a::kRecordSize);
  for (int i = 0; i < count && i < 16; ++i) {
    if (store->Accounts.ReadAccount("fuzz.example", record, i) != count) std::abort();
    // A record whose first alias is a plain name is found at its place or before.
    std::string alias = record.Str(a::kAlias, a::kAliasSize);
    std::string first = support::TrimBlanks(support::GetField(alias, 0, ';'));
    int found = store->Accounts.FindAccount("fuzz.example", first);
    if (!first.empty() && first[0] != '[' && (found < 0 || found > i)) std::abort();
  }
  serverconfig::TAccountIterator it;
  int walked = 0;
  if (store->Accounts.OpenAccounts("fuzz.example", it, "*a*", true, 0))
    while (!store->Accounts.NextAccount(it) && walked < count + 1) ++walked;
  store->Accounts.CloseAccounts(it);
  if (walked > count) std::abort();
  return 0;
}
