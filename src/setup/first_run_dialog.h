// The first-run wizard as a dialog over TWizardForm: four pages (host name,
// primary domain, administrator, complete), Next enabled only for values the
// configuration accepts, and the values applied once the user finishes.
#pragma once

#include <string>

#include "serverconfig/config_store.h"
#include "serverconfig/first_run_wizard.h"
#include "ui/form.h"
#include "ui/ui.h"

namespace setup {

// Shows the wizard form modally (through the renderer it is attached to) for
// the installation in installDir (with a trailing "\") and applies the values
// on OK. An existing domain or a failure is told through ui. True when the
// values were applied; Cancel, Escape and the close box write nothing.
bool RunFirstRunWizard(ui::TForm& wizardForm, ui::UserInterface& ui,
                       serverconfig::TConfigStore& config, const std::string& installDir);

// Applies values that were checked before, telling the modules of the new
// domain; an existing domain or a failure is told through ui.
bool ApplyFirstRunValues(const serverconfig::FirstRunValues& values, ui::UserInterface& ui,
                         serverconfig::TConfigStore& config, const std::string& installDir);

}  // namespace setup
