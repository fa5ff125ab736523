// How a step of the install run ended. A step that must end the setup returns
// its exit code instead of ending the process itself; the install run ends it.
#pragma once

namespace engine {

enum class Outcome {
  Done = 0,       // go on
  Fatal = 4,      // a package, the installation folder or the registration failed
  Cancelled = 5,  // the user cancelled at a copy error
  // The installation completed, but a selected module is not running.
  ModulesDown = 6,
};

inline int ExitCodeOf(Outcome outcome) {
  return static_cast<int>(outcome);
}

}  // namespace engine
