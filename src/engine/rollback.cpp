#include "engine/rollback.h"

#include "platform/clock.h"
#include "platform/services.h"
#include "product/messages.h"
#include "product/product.h"
#include "product/server_modules.h"
#include "support/log_writer.h"
#include "support/system_utils.h"
#include "support/text_fields.h"
#include "translations/message_table.h"

namespace engine {
namespace {

constexpr char kJournalRefused[] =
    "Setup found the journal of a run that did not finish, but it does not fit this "
    "installation: %s.\r\nNothing was undone. The journal was kept as \"%s\".";

}  // namespace

bool RestorePreviousInstallation(TInstallJournal& journal, TServiceControl& services,
                                 setup::TSetupState& state, ui::UserInterface& ui,
                                 RollbackResult* outcome) {
  const uint32_t started = platform::Tick();
  ui.ShowStatus(setup::cRestoring);
  support::SetupLog("Restoring the previous installation");
  // What the stops took from the services is kept under the product key: it
  // goes back before the key itself does.
  if (support::ServiceMode) services.RestoreFailureActions();
  // A run that stopped the modules may have started the new ones already; they
  // are stopped as they are, their failure actions left alone.
  const bool stopped = journal.StoppedModules();
  for (int index = 0; index < support::kModuleCount && stopped; ++index) {
    uint32_t state = 0;
    if (services.QueryServerState(index, state) &&
        (!support::ServiceMode || state != platform::kServiceStopped))
      services.StopServer(index, support::kServerModules[index].ServiceName);
  }
  const RollbackResult result = journal.RollBack();
  if (outcome) *outcome = result;
  if (!result.installDir.empty()) state.InstallDir = result.installDir;
  for (int module : result.running)
    if (module >= 0 && module < support::kModuleCount) {
      support::SetupLog(std::string("Rollback: starting ") +
                        support::kServerModules[module].DisplayName);
      services.StartServer(module);
    }
  ui.ProcessMessages();
  const uint32_t ms = platform::Tick() - started;
  if (!result.refused.empty()) return false;
  if (result.failed != 0) {
    // The journal, the staging folder and the backups stay for the next setup.
    support::SetupLog("Error: Rollback incomplete - " + std::to_string(result.failed) +
                      " changes could not be undone; the journal \"" + journal.Path() +
                      "\" and the folders it names are kept for the next setup");
    return false;
  }
  // Setup's own unpacked package goes once the modules run again: on a large
  // package that takes a while.
  TInstallJournal::CleanUpFile(journal.Path());
  support::SetupLog("Previous installation restored in " + std::to_string(ms / 1000) + "." +
                    std::to_string(ms % 1000 / 100) + " s: " + std::to_string(result.undone) +
                    " changes undone");
  return true;
}

bool RecoverInterruptedRun(setup::TSetupState& state, ui::UserInterface& ui) {
  TInstallJournal journal(TInstallJournal::DefaultPath());
  if (!TInstallJournal::Unfinished(journal.Path())) {
    // Finished, rolled back or torn before its first note: what is left of it
    // is finished or goes.
    TInstallJournal::RollBackFile(journal.Path());
    return true;
  }
  const std::vector<JournalRecord> records = ReadJournal(journal.Path());
  JournalHeader header;
  if (!records.empty() && ReadHeader(records.front(), header))
    support::InitLog(header.installDir + setup::kSetupLogFile, nullptr, support::lfTimeStamp, 4);
  support::SetupLog("Setup found the journal of a run that did not finish: \"" + journal.Path() +
                    "\"");
  TServiceControl services(state, ui);
  RollbackResult result;
  const bool restored = RestorePreviousInstallation(journal, services, state, ui, &result);
  std::string text = restored ? setup::cRestored : setup::cNotRestored;
  if (!result.refused.empty())
    text = support::FillMessage(kJournalRefused, {result.refused, result.keptAs});
  ui.MessageBox(text, restored ? setup::cInformation : setup::cError,
                ui::kOk | (restored ? ui::kIconInformation : ui::kIconError) | ui::kTaskModal);
  return restored;
}

}  // namespace engine
