// The application object of setup.exe: its title, the setup state, the one
// configuration store of the process, its three forms, and the run from the
// command line to the exit code.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "product/setup_state.h"
#include "product/user_interface.h"
#include "serverconfig/config_store.h"
#include "serverconfig/first_run_wizard.h"
#include "setup/command_line.h"
#include "ui/form.h"
#include "ui/language_file.h"
#include "ui/renderer.h"

namespace setup {

// The name of the machine-wide claim that keeps a second setup from running.
constexpr char kSingleInstanceName[] = "OrvikMailServerSetup";

class TSetupApplication {
 public:
  std::string Title;
  TSetupState State;
  serverconfig::TConfigStore Config;

  // No window can be shown and /VERYSILENT was not given: only the modes that
  // ask nothing run (help, language export, web log-on); the others end with
  // exit code 4 and tell to use /VERYSILENT. Set by Run() when there is no screen.
  bool WithoutScreen = false;

  // Created by Run in this order; the language file walks them in it.
  std::unique_ptr<ui::TForm> MainForm;
  std::unique_ptr<ui::TForm> BrowseFolder;
  std::unique_ptr<ui::TForm> WizardForm;

  // Runs the setup with the process's command line; the result is the process
  // exit code. Without /VERYSILENT the wizard runs on the screen.
  int Run();
  // The same with these arguments; programPath is the running program, beside
  // which the package lies. With a renderer the forms are shown through it and
  // the wizard runs; without one ui answers and the presets are installed.
  int Run(const std::vector<std::string>& args, ui::UserInterface& ui,
          const std::string& programPath, ui::TRenderer* renderer = nullptr);
  void CreateForms();
  // The application's components: its forms.
  ui::TApplicationForms Forms() const;

 private:
  // answers: the first-run values of /CONFIG=, applied after the installation.
  int Install(const CommandLine& commandLine, const serverconfig::FirstRunValues& answers,
              ui::UserInterface& ui, const std::string& programPath, bool wizard);
};

}  // namespace setup
