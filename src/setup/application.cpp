#include "setup/application.h"

#include "platform/system.h"
#include "setup/core/product.h"
#include "setup/language_step.h"
#include "support/system_utils.h"
#include "ui/forms.h"

namespace setup {

void TSetupApplication::CreateForms() {
  MainForm = ui::CreateMainForm();
  BrowseFolder = ui::CreateBrowseFolderForm();
  WizardForm = ui::CreateWizardForm();
}

ui::TApplicationForms TSetupApplication::Forms() const {
  return {MainForm.get(), BrowseFolder.get(), WizardForm.get()};
}

bool TSetupApplication::Startup() {
  return !RunLanguageStep(platform::CommandLineArgs(), platform::ProgramPath(), Forms());
}

int TSetupApplication::Run() {
  support::InitServiceMode();
  Title = kApplicationTitle;
  State = TSetupState();
  CreateForms();
  // Every way the process ends uses exit code 0.
  Startup();
  return 0;
}

}  // namespace setup
