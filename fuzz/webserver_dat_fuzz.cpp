// A webserver.dat of any content loaded: no crash, no stall, never more sites
// than HOST elements, and the loaded configuration is written and read back whole.
#include <cstddef>
#include <cstdint>
#include <string>

#include "config_fuzz_files.h"
#include "webserver_fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  fuzz_config::WriteConfigFile("webserver.dat", text);
  upgrade::WebServerConfig config;
  config.SetConfigDir(fuzz_config::InstallDir() + "config\\");
  const int sites = config.Load();
  std::size_t hosts = 0;
  for (std::size_t at = text.find("<HOST"); at != std::string::npos;
       at = text.find("<HOST", at + 1))
    ++hosts;
  if (sites < 0 || static_cast<std::size_t>(sites) > hosts) __builtin_trap();
  fuzz_webserver::CheckWrittenReadsBack(config);
  return 0;
}
