// Putting the previous installation back: after an install run that ended
// before its point of no return, and at the start of every setup that finds
// the journal of a run that was killed, crashed or lost power.
#pragma once

#include "engine/install_journal.h"
#include "engine/service_control.h"
#include "product/setup_state.h"
#include "product/user_interface.h"

namespace engine {

// Undoes what the journal holds and starts the modules that ran before the
// run stopped them, then deletes the run's folders and the journal. Shown on
// the installing page and logged line by line; true when everything was
// undone. Otherwise the journal and the folders it names stay for the next
// setup. result, when given, receives what the rollback did.
bool RestorePreviousInstallation(TInstallJournal& journal, TServiceControl& services,
                                 setup::TSetupState& state, ui::UserInterface& ui,
                                 RollbackResult* result = nullptr);

// At start-up, before anything else: rolls back the journal a run left
// unfinished, says so in one box (logged when unattended), and tells whether
// setup may go on: false when something could not be undone or the journal
// does not fit the installation (it is then kept aside, nothing undone). A
// finished run whose merging was cut short is finished silently.
bool RecoverInterruptedRun(setup::TSetupState& state, ui::UserInterface& ui);

}  // namespace engine
