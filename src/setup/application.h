// The application object of setup.exe: its title, the setup state, its three
// forms, and the run from start to the exit code.
#pragma once

#include <memory>
#include <string>

#include "setup/core/setup_state.h"
#include "ui/form.h"
#include "ui/language_file.h"

namespace setup {

class TSetupApplication {
 public:
  std::string Title;
  TSetupState State;

  // Created by Run in this order; the language file walks them in it.
  std::unique_ptr<ui::TForm> MainForm;
  std::unique_ptr<ui::TForm> BrowseFolder;
  std::unique_ptr<ui::TForm> WizardForm;

  // Runs the setup; the result is the process exit code.
  int Run();
  void CreateForms();
  // The application's components: its forms.
  ui::TApplicationForms Forms() const;

 private:
  // The start-up that the main window's first showing runs; false when the
  // process ends there.
  bool Startup();
};

}  // namespace setup
