// The first-run wizard as a dialog over TWizardForm: four pages (host name,
// primary domain, administrator, complete), Next enabled only for values the
// configuration accepts, and the values applied once the user finishes.
#pragma once

#include <string>

#include "product/user_interface.h"
#include "serverconfig/config_store.h"
#include "serverconfig/first_run_wizard.h"
#include "ui/form.h"

namespace setup {

// Shows the wizard form modally (through the renderer it is attached to) for
// the installation in installDir (with a trailing "\") and applies the values
// on OK. An existing domain or a failure is told through ui. True when the
// values were applied; Cancel, Escape and the close box write nothing.
bool RunFirstRunWizard(ui::TForm& wizardForm, ui::UserInterface& ui,
                       serverconfig::TConfigStore& config, const std::string& installDir);

// Installed, but the answers of /CONFIG= could not be applied.
constexpr int kExitAnswersNotApplied = 7;

// Applies the answers of /CONFIG= after an installation that ended with
// exitCode; the exit code of the whole run: kExitAnswersNotApplied, logged
// with the reason, when they could not be applied, else exitCode (also when
// the domain exists: nothing is written then).
int ApplyAnswers(const serverconfig::FirstRunValues& answers, int exitCode, ui::UserInterface& ui,
                 serverconfig::TConfigStore& config, const std::string& installDir);

}  // namespace setup
