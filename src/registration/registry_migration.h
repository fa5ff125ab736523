// Moves the settings of installations that used the older registry layout
// (\Software\Orvik, \Software\KWEBMAIL) into the current one under
// \Software\Kestrun.
#pragma once

#include "registration/machine_keys.h"

namespace registration {

// Does nothing once \Software\Kestrun exists, so only the first call of a run
// can copy. With deleteOld the old keys are deleted after their copy. Silent:
// a registry error (a value of an unexpected type, a key that cannot be
// opened) ends the migration where it happens.
void MigrateRegistry(bool deleteOld, const MachineKeys& keys = {});

}  // namespace registration
