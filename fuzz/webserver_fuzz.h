// What both web server configuration targets check: every site is written and
// read back, and after that first pass the written file reads back to itself.
#pragma once

#include "upgrade/webserver_config.h"

namespace fuzz_webserver {

inline void CheckWrittenReadsBack(const upgrade::WebServerConfig& config) {
  if (config.Sites.empty()) __builtin_trap();
  for (const upgrade::WebSite& site : config.Sites)
    if (site.Name.size() > 255 || site.Path.size() > 255 || site.Description.size() > 255)
      __builtin_trap();
  upgrade::WebServerConfig read;
  const std::string first = config.Document();
  if (read.ParseDocument(first) != static_cast<int>(config.Sites.size())) __builtin_trap();
  const std::string second = read.Document();
  if (read.ParseDocument(second) != static_cast<int>(config.Sites.size())) __builtin_trap();
  if (read.Document() != second) __builtin_trap();
}

}  // namespace fuzz_webserver
