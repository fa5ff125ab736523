// An old webserver.cfg of any content converted: no crash, no stall, and what
// the conversion gives is written and read back whole.
#include <cstddef>
#include <cstdint>
#include <string>

#include "webserver_fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  upgrade::WebServerConfig config;
  config.ParseOldConfig(std::string(reinterpret_cast<const char*>(data), size));
  fuzz_webserver::CheckWrittenReadsBack(config);
  return 0;
}
