#include "product/setup_state.h"

#include "product/product.h"

namespace setup {

support::TAdvancedRegistry ProductRegistry() {
  return support::TAdvancedRegistry(support::hkLOCAL_MACHINE, kProductKeyArea, kProductKeySection);
}

void ReadComponentFlags(support::TAdvancedRegistry& registry, ComponentFlags& flags) {
  // A missing value reads as false (the component is selected); only a key that
  // cannot be opened ends the pass.
  if (!platform::RegKeyExists(static_cast<platform::RegRoot>(registry.RegistryRootKey),
                              registry.KeyPath()))
    return;
  bool* const order[] = {&flags.NoInstallIM,  &flags.NoInstallCalendar, &flags.NoInstallAV,
                         &flags.NoInstallIAS, &flags.NoInstallControl,  &flags.NoInstallMail};
  const char* const names[] = {"NoInstallIM",  "NoInstallCalendar", "NoInstallAV",
                               "NoInstallIAS", "NoInstallControl",  "NoInstallMail"};
  for (int i = 0; i < 6; ++i) *order[i] = registry.ReadBool(names[i]);
}

void WriteComponentFlags(support::TAdvancedRegistry& registry, const ComponentFlags& flags) {
  const bool values[] = {flags.NoInstallIM,  flags.NoInstallCalendar, flags.NoInstallAV,
                         flags.NoInstallIAS, flags.NoInstallMail,     flags.NoInstallControl};
  const char* const names[] = {"NoInstallIM",  "NoInstallCalendar", "NoInstallAV",
                               "NoInstallIAS", "NoInstallMail",     "NoInstallControl"};
  bool failed = false;
  auto handler = registry.OnError;
  registry.OnError = [&](support::TAdvancedRegistry& sender) {
    failed = true;
    if (handler) handler(sender);
  };
  for (int i = 0; i < 6 && !failed; ++i) registry.WriteBool(names[i], values[i]);
  registry.OnError = handler;
}

}  // namespace setup
