// domains.cfg of any size and content, with a domain count and the conversion
// flag taken from the input's first five bytes; then every name is looked up.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "config_fuzz_files.h"
#include "serverconfig/scramble.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  namespace s = serverconfig::settings;
  if (size < 5) return 0;
  serverconfig::TFixedRecord settings(s::kRecordSize);
  uint32_t count;
  std::memcpy(&count, data, 4);
  settings.SetDWord(s::kDomainCount, count);
  settings.SetByte(s::kDomainsConverted, data[4] & 1);
  settings.SetByte(s::kFormatMarker, 1);
  serverconfig::ScrambleBytes(settings.Data(), settings.Size());
  fuzz_config::WriteConfigFile(
      "settings.cfg", std::string(reinterpret_cast<const char*>(settings.Data()), settings.Size()));
  std::string list(reinterpret_cast<const char*>(data + 5), size - 5);
  fuzz_config::WriteConfigFile("domains.cfg", list);

  serverconfig::TConfigStore store;
  fuzz_config::Prepare(store);
  store.LoadServerConfig(false, false);
  int domains = store.Domains.DomainCount();
  if (domains < 0 ||
      static_cast<uint64_t>(domains) > std::max<uint64_t>((list.size() + 95) / 96, 100))
    std::abort();
  for (int i = 0; i < domains; ++i) {
    std::string name = store.Domains.DomainName(i);
    if (name.size() > 95) std::abort();
    // Every listed name is found, at its own place or at an earlier twin's
    // (a name with "@" is taken as an address).
    if (!name.empty() && name.find('@') == std::string::npos) {
      int found = store.Domains.FindDomain(name);
      if (found < 0 || found > i || store.Domains.DomainName(found) != name) std::abort();
    }
  }
  return 0;
}
