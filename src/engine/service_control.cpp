#include "engine/service_control.h"

#include <sstream>

#include "platform/clock.h"
#include "platform/files.h"
#include "platform/processes.h"
#include "platform/registry.h"
#include "platform/services.h"
#include "platform/shell.h"
#include "product/messages.h"
#include "product/product.h"
#include "product/server_modules.h"
#include "registration/com_registration.h"
#include "support/file_utils.h"
#include "support/log_writer.h"
#include "support/system_utils.h"
#include "support/text_fields.h"
#include "support/versions.h"
#include "translations/message_table.h"

namespace engine {
namespace {

using support::kServerModules;

constexpr uint32_t kPollMs = 10;
constexpr uint32_t kStopDeadlineMs = 10000;
constexpr uint32_t kAfterTerminateMs = 2000;
constexpr uint32_t kSettleMs = 1500;
constexpr char kIISSMTPService[] = "SMTPSVC";
constexpr char kGroupWareBefore[] = "8.1.7";

// Polls every 10 ms until done() or the deadline; the last answer of done().
template <typename Done>
bool PollUntil(ui::UserInterface& ui, Done done, uint32_t deadlineMs = kStopDeadlineMs) {
  support::Deadline deadline = support::SetDeadline(deadlineMs);
  for (;;) {
    if (done()) return true;
    if (support::DeadlineReached(deadline)) return false;
    ui::PumpingSleep(ui, kPollMs);
  }
}

bool ServiceGone(const std::string& name) {
  platform::ServiceStatus status;
  return platform::QueryServiceStatus(name, status) == platform::kErrorServiceDoesNotExist;
}

std::string Quoted(const std::string& path) {
  return "\"" + path + "\"";
}

// The key of a service's held actions; without a service, the key of all.
std::string HeldKey(const std::string& service = "") {
  const std::string all = std::string(setup::kProductKeyArea) + "\\" + setup::kProductKeySection +
                          "\\" + kHeldFailureActionsKey;
  return service.empty() ? all : all + "\\" + service;
}

bool KeepHeldActions(const std::string& service, const platform::FailureActions& actions) {
  std::string list;
  for (const platform::ServiceAction& action : actions.Actions) {
    if (!list.empty()) list += ' ';
    list += std::to_string(action.Type) + "/" + std::to_string(action.Delay);
  }
  platform::RegKey key;
  return key.Open(platform::RegRoot::LocalMachine, HeldKey(service), true) &&
         key.WriteDWord("ResetPeriod", actions.ResetPeriod) && key.WriteString("Actions", list) &&
         key.WriteString("RebootMessage", actions.RebootMessage) &&
         key.WriteString("Command", actions.Command);
}

// False when nothing is held for the service.
bool ReadHeldActions(const std::string& service, platform::FailureActions& actions) {
  platform::RegKey key;
  if (!key.Open(platform::RegRoot::LocalMachine, HeldKey(service), false)) return false;
  platform::RegValue reset;
  std::string list;
  actions = {};
  if (key.ReadValue("ResetPeriod", reset) && reset.type == platform::RegType::DWord)
    actions.ResetPeriod = reset.dword;
  platform::ReadStringValue(key, "RebootMessage", actions.RebootMessage);
  platform::ReadStringValue(key, "Command", actions.Command);
  platform::ReadStringValue(key, "Actions", list);
  std::istringstream in(list);
  platform::ServiceAction action;
  char slash = 0;
  while (in >> action.Type >> slash >> action.Delay && slash == '/')
    actions.Actions.push_back(action);
  return true;
}

void ForgetHeldActions(const std::string& service) {
  platform::RegDeleteKeyTree(platform::RegRoot::LocalMachine, HeldKey(service));
  platform::RegKey key;
  std::vector<std::string> left;
  if (key.Open(platform::RegRoot::LocalMachine, HeldKey(), false) && key.SubKeyNames(left) &&
      left.empty()) {
    key.Close();
    platform::RegDeleteKeyTree(platform::RegRoot::LocalMachine, HeldKey());
  }
}

// The executable the manager runs for the module's service (which may lie in
// another folder than this installation's), or else the module's file.
std::string ModuleImage(int index, const std::string& file) {
  platform::ServiceConfig config;
  if (platform::QueryServiceConfig(kServerModules[index].ServiceName, config) != 0) return file;
  const std::string& path = config.BinaryPath;
  if (path.size() > 1 && path.front() == '"') return path.substr(1, path.find('"', 1) - 1);
  return path;
}

}  // namespace

bool TServiceControl::Selected(int index) const {
  const setup::ComponentFlags& c = state_.Components;
  switch (kServerModules[index].Component) {
    case support::ModuleComponent::Mail:
      return !c.NoInstallMail;
    case support::ModuleComponent::Control:
      return !c.NoInstallControl;
    case support::ModuleComponent::IM:
      return !c.NoInstallIM;
    case support::ModuleComponent::GroupWare:
      return !c.NoInstallCalendar;
  }
  return false;
}

bool TServiceControl::QueryServerState(int index, uint32_t& state) {
  if (!support::ServiceMode) return support::FindModuleWindow(index) != 0;
  return QueryServiceStateByName(kServerModules[index].ServiceName, state);
}

bool TServiceControl::QueryServiceStateByName(const std::string& name, uint32_t& state) {
  return support::QueryServiceState(name, state);
}

int TServiceControl::ServiceStartType(const std::string& name, bool change, int newType) {
  if (change && newType == -1) return -1;
  platform::ServiceConfig config;
  if (platform::QueryServiceConfig(name, config) != 0) return -1;
  if (change) platform::ChangeServiceStartType(name, static_cast<uint32_t>(newType));
  return static_cast<int>(config.StartType);
}

void TServiceControl::StartServer(int index) {
  const support::ServerModule& module = kServerModules[index];
  if (support::ServiceMode) {
    // The manager answers once the module has told it that it runs, which a slow
    // module may take seconds to do: the window keeps answering meanwhile.
    uint32_t error = 0;
    ui::RunPumping(ui_, [&] { error = platform::StartService(module.ServiceName); });
    if (error != 0) setup::ShowServiceWarning(ui_, error);
    return;
  }
  std::string file = state_.InstallDir + module.Executable;
  if (platform::FileExists(file))
    support::RunProgram(0, "", file, platform::kShowNormal, state_.InstallDir, "");
}

// Before setup stops a module it takes away the manager's order to restart it
// after a failure: ending a module that does not stop counts as one. What it
// took away is kept under the product key until it is put back, so that a run
// that was killed meanwhile leaves it to the next one.
void TServiceControl::HoldFailureActions(int index) {
  const char* name = kServerModules[index].ServiceName;
  platform::FailureActions actions;
  if (ReadHeldActions(name, actions)) return;  // the second stop pass keeps the first reading
  if (platform::QueryServiceFailureActions(name, actions) != 0 || actions.Actions.empty()) return;
  if (!KeepHeldActions(name, actions)) {
    support::SetupLog("Failure actions of " + std::string(name) + " kept: they cannot be saved");
    return;
  }
  platform::SetServiceFailureActions(name, {});
}

void TServiceControl::RestoreFailureActions() {
  for (const support::ServerModule& module : kServerModules) {
    platform::FailureActions actions;
    if (!ReadHeldActions(module.ServiceName, actions)) continue;
    // A service that is gone has nothing to take them back.
    if (platform::SetServiceFailureActions(module.ServiceName, actions) == 0)
      support::SetupLog("Failure actions of " + std::string(module.ServiceName) + " put back");
    ForgetHeldActions(module.ServiceName);
  }
}

// Ends the module's own process: the one the manager reported for the
// service, or else the module's file in the installation folder. Never
// another program of the same name, nor one that took over the id of the
// module's process since it was reported.
void TServiceControl::EndModuleProcess(int index, uint32_t processId) {
  std::string file = state_.InstallDir + kServerModules[index].Executable;
  support::EnablePrivilege("SeDebugPrivilege", true);
  if (processId != 0) {
    platform::TerminateProcess(processId, ModuleImage(index, file));
  } else {
    std::vector<platform::ProcessInfo> processes;
    if (platform::ListProcesses(processes))
      for (const platform::ProcessInfo& p : processes)
        if (support::SameText(p.ImagePath, file)) platform::TerminateProcess(p.Id, file);
  }
  support::EnablePrivilege("SeDebugPrivilege", false);
}

bool TServiceControl::StopServer(int index, const std::string& name) {
  if (!support::ServiceMode) {
    platform::WindowHandle window = support::FindModuleWindow(index);
    if (window == 0) return false;
    platform::PostWindowMessage(window, platform::kCloseMessage, 0, 0);
    return PollUntil(ui_, [&] { return !platform::WindowExists(window); });
  }
  bool own = name.empty();
  std::string service = own ? kServerModules[index].ServiceName : name;
  if (own) HoldFailureActions(index);
  uint32_t error = platform::StopService(service);
  if (error == platform::kErrorServiceNotActive) return true;
  // A service that is already stopping takes no control: wait for it.
  if (error != 0 && error != platform::kErrorServiceCannotAcceptControl) {
    setup::ShowServiceWarning(ui_, error);
    return false;
  }
  platform::ServiceStatus status;
  bool stopped = PollUntil(ui_, [&] {
    uint32_t e = platform::QueryServiceStatus(service, status);
    return e == platform::kErrorServiceDoesNotExist ||
           (e == 0 && status.State == platform::kServiceStopped);
  });
  if (stopped) return true;
  // Another product's service is never ended by force.
  if (!own) return false;
  EndModuleProcess(index, status.ProcessId);
  ui::PumpingSleep(ui_, kAfterTerminateMs);
  return false;
}

void TServiceControl::InstallService(int index) {
  const support::ServerModule& module = kServerModules[index];
  std::string path = Quoted(state_.InstallDir + module.Executable);
  uint32_t error = platform::CreateService({module.ServiceName, module.DisplayName, path});
  if (error == platform::kErrorServiceExists) {
    // Kept with the administrator's settings; only a path into another
    // folder is put right.
    platform::ServiceConfig config;
    if (platform::QueryServiceConfig(module.ServiceName, config) == 0 &&
        !support::SameText(config.BinaryPath, path) &&
        platform::ChangeServiceBinaryPath(module.ServiceName, path) == 0)
      support::SetupLog(std::string("Service ") + module.ServiceName + " now runs " + path);
    return;
  }
  if (error != 0) {
    setup::ShowServiceWarning(ui_, error);
    return;
  }
  platform::SetServiceDescription(module.ServiceName, module.Description);
  platform::SetServiceFailureActions(module.ServiceName,
                                     {0, "", "", {{platform::kActionRestart, 0}}});
}

void TServiceControl::RemoveService(const std::string& name) {
  uint32_t error = platform::DeleteService(name);
  if (error == platform::kErrorServiceDoesNotExist) return;  // nothing to open
  if (error != 0) {
    setup::ShowServiceWarning(ui_, error);
    return;
  }
  // The manager removes the name once every handle to it is closed; a service
  // created under it before then would fail.
  PollUntil(ui_, [&] { return ServiceGone(name); });
}

void TServiceControl::DisableService(const std::string& name) {
  platform::ChangeServiceStartType(name, platform::kStartDisabled);
}

bool TServiceControl::Runs(int index) {
  uint32_t state = 0;
  if (!QueryServerState(index, state)) return false;
  return !support::ServiceMode || state != platform::kServiceStopped;
}

bool TServiceControl::StopOne(int index, bool& ran) {
  uint32_t state = 0;
  ran = QueryServerState(index, state) &&
        (!support::ServiceMode || state == platform::kServiceRunning);
  if (ran) {
    StopServer(index);
    if (Runs(index)) StopServer(index);
  }
  return !Runs(index);
}

// An upgrade may have set the service to start automatically for a while; the
// start type saved before counts.
bool TServiceControl::DisabledByAdministrator(int index) {
  int type = state_.SavedStartTypes[index];
  if (type == -1) type = ServiceStartType(kServerModules[index].ServiceName, false, -1);
  return type == static_cast<int>(platform::kStartDisabled);
}

bool TServiceControl::ExistsStopped(const std::string& name) {
  uint32_t state = 0;
  return QueryServiceStateByName(name, state) && state == platform::kServiceStopped;
}

bool TServiceControl::StopRunningServices() {
  ui_.ShowStatus(setup::cChecking);
  for (bool& must : state_.MustCreate) must = true;
  bool result = true, anyRan = false;
  for (int index : {support::kModuleControl, support::kModuleSMTP, support::kModulePOP3,
                    support::kModuleIM, support::kModuleGroupWare}) {
    bool ran = false;
    if (!StopOne(index, ran)) result = false;
    anyRan |= ran;
  }
  ui_.ProcessMessages();
  if (anyRan) ui::PumpingSleep(ui_, kSettleMs);
  if (!support::ServiceMode) return result;

  for (int index = 0; index < support::kModuleGroupWare; ++index) {
    const char* name = kServerModules[index].ServiceName;
    if (!Selected(index) && ExistsStopped(name)) RemoveService(name);
  }
  const char* groupWare = kServerModules[support::kModuleGroupWare].ServiceName;
  bool oldGroupWare = !state_.PreviousVersion.empty() &&
                      !support::VersionAtLeast(state_.PreviousVersion, kGroupWareBefore);
  if ((!Selected(support::kModuleGroupWare) || oldGroupWare) && ExistsStopped(groupWare)) {
    RemoveService(groupWare);
    if (oldGroupWare && (!journal_ || journal_->Replacing(state_.InstallDir + "calendar.exe")))
      platform::DeleteFile(state_.InstallDir + "calendar.exe");
  }
  // Services of another folder are made anew for this one, once per run.
  if (!state_.PreviousInstallDir.empty() &&
      !support::SameText(support::NormalizeDir(state_.PreviousInstallDir, true, true),
                         support::NormalizeDir(state_.InstallDir, true, true))) {
    RemoveAllStoppedServices();
    state_.PreviousInstallDir.clear();
  }
  for (int index = 0; index < support::kModuleCount; ++index)
    if (ExistsStopped(kServerModules[index].ServiceName)) state_.MustCreate[index] = false;
  return result;
}

void TServiceControl::RemoveAllStoppedServices() {
  for (int index = 0; index < support::kModuleCount; ++index) {
    uint32_t state = 0;
    if (QueryServerState(index, state) && state == platform::kServiceStopped)
      RemoveService(kServerModules[index].ServiceName);
  }
}

void TServiceControl::InstallServices() {
  if (support::ServiceMode) {
    ui_.ShowStatus(setup::cInstalling);
    for (int index = 0; index < support::kModuleCount; ++index)
      if (state_.MustCreate[index] && Selected(index)) {
        InstallService(index);
        ui_.ProcessMessages();
      }
  }
  for (const char* library : registration::kComServerLibraries) {
    if (journal_) journal_->RegisteringComServer(state_.InstallDir + library, state_.IsUpgrade);
    registration::RegisterComServer(state_.InstallDir + library);
    ui_.ProcessMessages();
  }
  ui_.ShowStatus(setup::cStarting);
  for (int index : {support::kModuleSMTP, support::kModulePOP3, support::kModuleIM,
                    support::kModuleGroupWare, support::kModuleControl})
    if (Selected(index) && state_.SavedStartTypes[index] != platform::kStartDisabled)
      StartServer(index);
  if (support::ServiceMode) RestoreFailureActions();
  ui_.ShowStatus(setup::cFinishing);
}

bool TServiceControl::AnyStarting() {
  for (int index = 0; index < support::kModuleGroupWare; ++index) {
    uint32_t state = 0;
    if (Selected(index) && QueryServiceStateByName(kServerModules[index].ServiceName, state) &&
        state == platform::kServiceStartPending)
      return true;
  }
  return false;
}

// A module still starting is not judged yet.
void TServiceControl::WaitWhileStarting() {
  PollUntil(ui_, [&] { return !AnyStarting(); });
}

void TServiceControl::SettleAfterStart(uint32_t ms) {
  if (!support::ServiceMode) {
    ui::PumpingSleep(ui_, ms);
    return;
  }
  PollUntil(
      ui_, [&] { return !AnyStarting(); }, ms);
}

bool TServiceControl::CheckStartedServices() {
  if (support::ServiceMode) {
    WaitWhileStarting();
    // Only when OrvikSMTP is truly stopped is IIS's SMTP service in its way,
    // and never when OrvikSMTP is not meant to run.
    uint32_t iis = 0;
    if (Selected(support::kModuleSMTP) && !DisabledByAdministrator(support::kModuleSMTP) &&
        ExistsStopped(kServerModules[support::kModuleSMTP].ServiceName) &&
        QueryServiceStateByName(kIISSMTPService, iis) && iis == platform::kServiceRunning) {
      StopServer(support::kModuleSMTP, kIISSMTPService);
      DisableService(kIISSMTPService);
      StartServer(support::kModuleSMTP);
      ui::PumpingSleep(ui_, kSettleMs);
      WaitWhileStarting();
    }
  }
  std::string notUp;
  for (int index = 0; index < support::kModuleGroupWare; ++index) {
    uint32_t state = 0;
    bool up = !Selected(index) || state_.SavedStartTypes[index] == platform::kStartDisabled ||
              (QueryServerState(index, state) &&
               (!support::ServiceMode || state == platform::kServiceRunning));
    if (!up) notUp += std::string(kServerModules[index].DisplayName) + "\r\n";
  }
  if (notUp.empty()) return true;
  ui_.MessageBox(support::FillMessage(setup::cNotRunning, {notUp}), "Warning",
                 ui::kOk | ui::kIconWarning | ui::kTaskModal);
  return false;
}

}  // namespace engine
