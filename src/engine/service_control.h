// Service control: stops the server's modules before their files are
// replaced, creates the services that are missing, starts them again and
// resolves the conflict with IIS's SMTP service. In service mode the modules
// are Windows services; otherwise desktop programs with one main window each.
#pragma once

#include <cstdint>
#include <string>

#include "engine/install_journal.h"
#include "platform/services.h"
#include "product/setup_state.h"
#include "product/user_interface.h"

namespace engine {

// The subkey of the product key that keeps the failure actions held while the
// modules are stopped: one key per service, with ResetPeriod (DWORD, seconds),
// Actions (text: "type/delay" per action, blank-separated, the delay in
// milliseconds), RebootMessage and Command (text).
inline constexpr char kHeldFailureActionsKey[] = "HeldFailureActions";

class TServiceControl {
 public:
  // During an install run, the journal notes what is changed outside the
  // service manager.
  TServiceControl(setup::TSetupState& state, ui::UserInterface& ui,
                  TInstallJournal* journal = nullptr)
      : state_(state), ui_(ui), journal_(journal) {}

  // Services: true when the state was read. Desktop: true when the module's
  // window exists; state is then not written.
  bool QueryServerState(int index, uint32_t& state);
  bool QueryServiceStateByName(const std::string& name, uint32_t& state);
  // The start type read, or -1 when the service cannot be read; with change,
  // also sets newType. change with newType -1 does nothing and gives -1.
  int ServiceStartType(const std::string& name, bool change, int newType);

  void StartServer(int index);
  // name, when given, overrides the module's service name. True when the module
  // stopped.
  bool StopServer(int index, const std::string& name = "");
  void InstallService(int index);
  void RemoveService(const std::string& name);
  void DisableService(const std::string& name);

  // The stop step of the install run; false when a module could not be stopped.
  // The pause after the stops, which lets the modules' processes let go of
  // their files, is made only when a module was running.
  bool StopRunningServices();
  void RemoveAllStoppedServices();
  // Creates what is missing, registers the COM libraries and starts the
  // selected modules.
  void InstallServices();
  // The IIS SMTP conflict, then a warning naming the modules that are not up;
  // true when every selected module is up.
  bool CheckStartedServices();
  // The pause after the modules were started, at most ms: services end it as
  // soon as none is still starting; desktop programs give no such sign and get
  // the whole pause.
  void SettleAfterStart(uint32_t ms);
  // Puts back the failure actions held while the modules were stopped, by this
  // run or by one that ended before it could (they are kept under the product
  // key meanwhile).
  void RestoreFailureActions();

 private:
  bool Selected(int index) const;
  bool Runs(int index);
  // Stops the module if it runs (ran tells whether it did); true when it does
  // not run afterwards.
  bool StopOne(int index, bool& ran);
  bool ExistsStopped(const std::string& name);
  bool DisabledByAdministrator(int index);
  void HoldFailureActions(int index);
  void EndModuleProcess(int index, uint32_t processId);
  bool AnyStarting();
  void WaitWhileStarting();

  setup::TSetupState& state_;
  ui::UserInterface& ui_;
  TInstallJournal* journal_;
};

}  // namespace engine
