// settings.cfg of any size and content, loaded in full (the domain list then
// comes from the settings themselves) and saved again.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "config_fuzz_files.h"
#include "platform/files.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  namespace s = serverconfig::settings;
  fuzz_config::WriteConfigFile("domains.cfg", "");
  fuzz_config::WriteConfigFile("settings.cfg",
                               std::string(reinterpret_cast<const char*>(data), size));
  serverconfig::TConfigStore store;
  fuzz_config::Prepare(store);
  if (!store.LoadServerConfig(true, false)) std::abort();  // the file is there
  if (store.Settings.Size() != s::kRecordSize) std::abort();
  // A count beyond what the file can hold allocates nothing in proportion to it.
  uint64_t inline_entries = size > s::kInlineDomains ? (size - s::kInlineDomains + 95) / 96 : 0;
  if (static_cast<uint64_t>(store.Domains.DomainCount()) > std::max<uint64_t>(inline_entries, 100))
    std::abort();
  for (int i = 0; i < store.Domains.DomainCount(); ++i)
    if (store.Domains.DomainName(i).size() > 95) std::abort();  // a stored name fills its field
  if (!store.SaveServerConfig(false)) std::abort();
  if (platform::FileSize(store.Dirs.ConfigDir + "settings.cfg") != s::kRecordSize) std::abort();
  return 0;
}
