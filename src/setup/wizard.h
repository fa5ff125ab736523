// The setup wizard over the main window: the pages from the welcome to the
// finishing actions, Back and Next in one handler, the component choice, the
// interface mode, the folder dialog, the install run on the installing page
// and the cancel question. The choices live in the window's controls while the
// user makes them; the setup state is filled from them once, when Install is
// pressed (and the finishing choices when Finish is).
#pragma once

#include <memory>
#include <string>

#include "engine/outcome.h"
#include "platform/socket.h"
#include "product/setup_state.h"
#include "product/user_interface.h"
#include "serverconfig/config_store.h"
#include "setup/browse_folder.h"
#include "ui/form.h"

namespace setup {

// Tells the Control module that setup has ended, so that it reads the new
// configuration (the finishing step, also after an unattended installation).
void TellControlSetupEnded();

enum WizardPage : int {
  kWelcomePage,
  kLicencePage,
  kSetupTypePage,
  kComponentsPage,
  kDestinationPage,
  kInstallingPage,
  kFinishedPage,
  kFinishingPage,
};

class TSetupWizard {
 public:
  // Sets the handlers of the main window and the folder dialog; the wizard
  // lives as long as they are shown. The forms are attached to the renderer
  // that shows them and talks to the user through ui.
  TSetupWizard(TSetupState& state, ui::UserInterface& ui, serverconfig::TConfigStore& config,
               ui::TForm& mainForm, ui::TForm& browseFolder, ui::TForm& firstRunWizard,
               std::string setupProgram);
  virtual ~TSetupWizard() = default;
  TSetupWizard(const TSetupWizard&) = delete;
  TSetupWizard& operator=(const TSetupWizard&) = delete;

  // Shows the main window from the welcome page with the choices start-up
  // preset, until the wizard ends; returns the exit code.
  int Run();

  // Whether the install run is working (Cancel, close and Escape do nothing).
  bool Installing() const { return installing_; }

 protected:
  // The install run of the installing page, into state.InstallDir.
  virtual engine::Outcome RunInstallation();

 private:
  void ShowChoices();
  void TakeChoices();
  void ShowPage();
  void Navigate(int step);
  void EnterPage();
  bool AcceptDestination();
  void Install();
  void Finish();
  void AskCancel();
  void CheckNewVersion();
  void Browse();
  void ShowModeHint();
  void End(int exitCode);

  TSetupState& state_;
  ui::UserInterface& ui_;
  serverconfig::TConfigStore& config_;
  ui::TForm& form_;
  TBrowseFolderDialog browse_;
  ui::TForm& firstRunWizard_;
  std::string setupProgram_;
  bool installing_ = false;
  bool checking_ = false;  // the new-version check waits for its answer
  std::unique_ptr<platform::SocketCancel> checkCancel_;  // ends the check's request
  int exitCode_ = 0;  // the end of the run after the installation, 0 before
};

}  // namespace setup
