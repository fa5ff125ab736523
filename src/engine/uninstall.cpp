#include "engine/uninstall.h"

#include <vector>

#include "engine/antivirus_setup.h"
#include "engine/file_deployment.h"
#include "engine/service_control.h"
#include "engine/system_registration.h"
#include "platform/clock.h"
#include "platform/files.h"
#include "platform/registry.h"
#include "setup/core/destination.h"
#include "setup/core/messages.h"
#include "support/file_utils.h"
#include "support/log_writer.h"
#include "support/message_table.h"
#include "support/server_modules.h"
#include "support/system_utils.h"
#include "support/text_fields.h"
#include "upgrade/com_registration.h"

namespace engine {
namespace {

constexpr uint32_t kSettleMs = 1500;
constexpr const char* kFurtherFiles[] = {"kestruncom.dll", "cal.exe", "im.exe"};
constexpr const char* kProgramFolders[] = {"doc\\", "wizards\\",  "modules\\",  "spam\\", "html\\",
                                           "api\\", "tutorial\\", "examples\\", "xml\\",  "php\\"};
constexpr char kNotThisInstallation[] =
    "%s is not the installation folder of %s.\r\nNothing was removed.";

std::string Comparable(const std::string& dir) {
  return support::LowerCase(support::NormalizeDir(dir));
}

bool IsKept(const std::string& path, const std::vector<std::string>& kept) {
  for (const std::string& k : kept)
    if (support::LowerCase(path) == k) return true;
  return false;
}

// Deletes what is below folder except the kept paths; true when the folder
// itself could go.
bool DeleteBelow(const std::string& root, const std::string& folder,
                 const std::vector<std::string>& kept) {
  std::vector<platform::DirEntry> entries;
  platform::ListDirectory(root + folder + "*.*", entries);
  bool empty = true;
  for (const platform::DirEntry& e : entries) {
    if (e.name == "." || e.name == "..") continue;
    const std::string path = folder + e.name;
    if (IsKept(path, kept)) {
      empty = false;
    } else if ((e.attributes & platform::kAttrDirectory) &&
               !(e.attributes & platform::kAttrReparsePoint)) {
      empty = DeleteBelow(root, path + "\\", kept) && empty;
    } else {
      platform::SetFileAttributes(root + path, platform::kAttrNormal);
      if (e.attributes & platform::kAttrDirectory)
        platform::RemoveDirectory(root + path);  // a link: only the link goes
      else
        platform::DeleteFile(root + path);
    }
  }
  return empty && platform::RemoveDirectory(root + folder);
}

}  // namespace

void DeleteFolderKeeping(const std::string& installDir, const std::string& folder,
                         std::initializer_list<const char*> kept) {
  std::vector<std::string> keep;
  for (const char* k : kept) keep.push_back(support::LowerCase(k));
  if (platform::DirectoryExists(installDir + folder)) DeleteBelow(installDir, folder, keep);
}

void RemoveAntispam(const std::string& installDir) {
  DeleteFolderKeeping(installDir, "spam\\", {kAntispamKeptFiles[0], kAntispamKeptFiles[1]});
}

void RemoveAntivirus(const std::string& installDir) {
  UninstallAntivirusEngine(installDir);
  DeleteFolderKeeping(installDir, "avast\\");
}

bool IsOwnInstallation(const std::string& programFolder, const std::string& registeredDir) {
  if (registeredDir.empty()) return platform::FileExists(programFolder + "config\\settings.cfg");
  return Comparable(programFolder) == Comparable(registeredDir);
}

TUninstall::TUninstall(setup::TSetupState& state, ui::UserInterface& ui, std::string programFolder)
    : state_(state), ui_(ui), dir_(std::move(programFolder)) {}

// Control first: it watches the others and would start them again.
void TUninstall::StopModules() {
  TServiceControl control(state_, ui_);
  for (int index : {support::kModuleControl, support::kModuleSMTP, support::kModulePOP3,
                    support::kModuleIM, support::kModuleGroupWare}) {
    uint32_t state = 0;
    if (!control.QueryServerState(index, state)) continue;
    if (!support::ServiceMode || state == platform::kServiceRunning) control.StopServer(index);
  }
  ui_.ProcessMessages();
  platform::Sleep(kSettleMs);
  if (!support::ServiceMode) return;
  for (int index = 0; index < support::kModuleCount; ++index) {
    uint32_t state = 0;
    if (control.QueryServerState(index, state) && state == platform::kServiceStopped)
      control.RemoveService(support::kServerModules[index].ServiceName);
  }
}

void TUninstall::RemoveShortcuts() {
  const std::string programs = CommonProgramsFolder();
  if (!programs.empty()) DeleteProgramGroup(programs, ProgramGroupFolder());
  const std::string link = setup::SafeFileName(LinkDescLine(0));
  if (!link.empty()) {
    const std::string desktop = GetDesktopFolder();
    if (!desktop.empty()) platform::DeleteFile(desktop + link + ".lnk");
    platform::DeleteFile(GetQuickLaunchFolder() + link + ".lnk");
  }
  platform::RegDeleteKeyTree(platform::RegRoot::LocalMachine,
                             std::string(kUninstallKey) + "\\" + kUninstallSection);
}

// The COM libraries unregister themselves before they are deleted.
void TUninstall::RemoveProgramFiles() {
  for (const char* library : upgrade::kComServerLibraries)
    upgrade::UnregisterComServer(dir_ + library);
  for (const char* name : kCoreFiles) platform::DeleteFile(dir_ + name);
  for (const char* name : kFurtherFiles) platform::DeleteFile(dir_ + name);
  for (const char* folder : kProgramFolders)
    if (std::string(folder) == "spam\\")
      RemoveAntispam(dir_);
    else
      DeleteFolderKeeping(dir_, folder);
  RemoveAntivirus(dir_);
}

Outcome TUninstall::Uninstall(const std::string& registeredDir) {
  // A folder no installation may have is never emptied, however it came to
  // be registered.
  for (const std::string& dir : {dir_, registeredDir}) {
    const setup::DestinationFault fault = setup::CheckDestination(dir, 0);
    if (!dir.empty() && fault != setup::DestinationFault::None) {
      const std::string text = setup::DestinationRefusal(dir, fault) + "\r\nNothing was removed.";
      support::SetupLog("Error: " + text);
      ui_.MessageBox(text, setup::cError, ui::kOk | ui::kIconError | ui::kTaskModal);
      return Outcome::Fatal;
    }
  }
  if (!IsOwnInstallation(dir_, registeredDir)) {
    ui_.MessageBox(support::FillMessage(kNotThisInstallation, {dir_, setup::cName}), setup::cError,
                   ui::kOk | ui::kIconError | ui::kTaskModal);
    return Outcome::Fatal;
  }
  StopModules();
  RemoveShortcuts();
  RemoveProgramFiles();
  ui_.MessageBox(setup::cCompleteRemove, setup::cInformation,
                 ui::kOk | ui::kIconInformation | ui::kTaskModal);
  return Outcome::Done;
}

}  // namespace engine
