#include "platform/registry.h"

namespace platform {
namespace {

RegistryWatcher& Watcher() {
  static RegistryWatcher watcher;
  return watcher;
}

}  // namespace

void SetRegistryWatcher(RegistryWatcher watcher) {
  Watcher() = std::move(watcher);
}

void TellRegistryWatcher(RegRoot root, const std::string& path) {
  // Moved out while it runs: what it reads or writes itself is not told again.
  RegistryWatcher watcher = std::move(Watcher());
  if (!watcher) return;
  watcher(root, path);
  if (!Watcher()) Watcher() = std::move(watcher);
}

}  // namespace platform
