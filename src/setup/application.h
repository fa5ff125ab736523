// The application object of setup.exe: its title, the setup state, and the run
// from start to the exit code.
#pragma once

#include <string>

#include "setup/setup_state.h"
#include "ui/ui.h"

namespace setup {

class TSetupApplication {
 public:
  explicit TSetupApplication(ui::UserInterface& ui) : ui_(ui) {}

  std::string Title;
  TSetupState State;

  // Runs the setup; the result is the process exit code.
  int Run();

 private:
  ui::UserInterface& ui_;
};

}  // namespace setup
