#include "engine/uninstall.h"

#include <vector>

#include "engine/antivirus_setup.h"
#include "engine/file_deployment.h"
#include "engine/service_control.h"
#include "engine/system_registration.h"
#include "platform/clock.h"
#include "platform/files.h"
#include "platform/folder_handle.h"
#include "platform/registry.h"
#include "product/destination.h"
#include "product/messages.h"
#include "product/product.h"
#include "product/server_modules.h"
#include "registration/com_registration.h"
#include "support/file_utils.h"
#include "support/log_writer.h"
#include "support/system_utils.h"
#include "support/text_fields.h"
#include "translations/message_table.h"

namespace engine {
namespace {

constexpr uint32_t kSettleMs = 1500;
constexpr const char* kFurtherFiles[] = {"kestruncom.dll", "cal.exe", "im.exe"};
// Setup's own folders of a run that ended midway are its journal's to remove.
constexpr const char* kProgramFolders[] = {"doc\\", "wizards\\",  "modules\\",  "spam\\", "html\\",
                                           "api\\", "tutorial\\", "examples\\", "xml\\",  "php\\"};
constexpr char kNotThisInstallation[] =
    "%s is not the installation folder of %s.\r\nNothing was removed.";

bool IsKept(const std::string& path, const std::vector<std::string>& kept) {
  for (const std::string& k : kept)
    if (support::LowerCase(path) == k) return true;
  return false;
}

bool Exists(const std::string& path) {
  return platform::FileExists(path) || platform::DirectoryExists(path);
}

// Deletes what is in dir (root + folder) except the kept paths, adding what
// could not go to stayed; true when nothing is left in it. Subfolders are
// entered through dir's handle: one that is a link goes as the link.
bool EmptyFolder(const platform::FolderHandle& dir, const std::string& root,
                 const std::string& folder, const std::vector<std::string>& kept,
                 std::vector<std::string>& stayed) {
  std::vector<platform::DirEntry> entries;
  dir.List(entries);
  bool empty = true;
  for (const platform::DirEntry& e : entries) {
    const std::string path = folder + e.name;
    if (IsKept(path, kept)) {
      empty = false;
      continue;
    }
    platform::FolderHandle child;
    if ((e.attributes & platform::kAttrDirectory) &&
        !(e.attributes & platform::kAttrReparsePoint) && dir.OpenChild(e.name, child)) {
      const bool emptied = EmptyFolder(child, root, path + "\\", kept, stayed);
      child.Close();
      if (!emptied) {
        empty = false;
        continue;
      }
    } else if ((e.attributes & platform::kAttrReadOnly) &&
               !(e.attributes & platform::kAttrReparsePoint)) {
      platform::SetFileAttributes(root + path, platform::kAttrNormal);
    }
    if (!dir.Remove(e.name) && Exists(root + path)) {
      stayed.push_back(root + path);
      empty = false;
    }
  }
  return empty;
}

}  // namespace

std::vector<std::string> DeleteFolderKeeping(const std::string& installDir,
                                             const std::string& folder,
                                             std::initializer_list<const char*> kept) {
  std::vector<std::string> keep, stayed;
  for (const char* k : kept) keep.push_back(support::LowerCase(k));
  const std::string path = installDir + folder;
  const uint32_t attributes = platform::GetFileAttributes(support::NormalizeDir(path, false));
  if (attributes == platform::kInvalidAttributes || !(attributes & platform::kAttrDirectory))
    return stayed;
  // A program folder that is a link goes as the link; what it points to is
  // not the installation's.
  platform::FolderHandle top;
  if (!(attributes & platform::kAttrReparsePoint) && top.Open(path) &&
      !EmptyFolder(top, installDir, folder, keep, stayed))
    return stayed;
  top.Close();
  if (!platform::RemoveDirectory(support::NormalizeDir(path, false))) stayed.push_back(path);
  return stayed;
}

std::vector<std::string> RemoveAntispam(const std::string& installDir) {
  return DeleteFolderKeeping(installDir, "spam\\", {kAntispamKeptFiles[0], kAntispamKeptFiles[1]});
}

std::vector<std::string> RemoveAntivirus(const std::string& installDir) {
  UninstallAntivirusEngine(installDir);
  return DeleteFolderKeeping(installDir, "avast\\");
}

bool IsOwnInstallation(const std::string& programFolder, const std::string& registeredDir) {
  if (registeredDir.empty()) return platform::FileExists(programFolder + "config\\settings.cfg");
  return setup::ComparableFolder(programFolder) == setup::ComparableFolder(registeredDir);
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
  ui::PumpingSleep(ui_, kSettleMs);
  for (int index = 0; index < support::kModuleCount; ++index) {
    const support::ServerModule& module = support::kServerModules[index];
    if (!support::ServiceMode) {
      if (support::FindModuleWindow(index) != 0)
        stayed_.push_back(std::string("the running module ") + module.Executable);
      continue;
    }
    uint32_t state = 0;
    if (control.QueryServerState(index, state) && state == platform::kServiceStopped)
      control.RemoveService(module.ServiceName);
    platform::ServiceStatus status;
    if (platform::QueryServiceStatus(module.ServiceName, status) !=
        platform::kErrorServiceDoesNotExist)
      stayed_.push_back(std::string("the service ") + module.ServiceName);
  }
}

void TUninstall::RemoveShortcuts() {
  // Only setup's own links go, and the group's folder when nothing else is in it.
  std::vector<std::string> left = RemoveProgramGroup();
  stayed_.insert(stayed_.end(), left.begin(), left.end());
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
  for (const char* library : registration::kComServerLibraries)
    registration::UnregisterComServer(dir_ + library);
  auto remove = [this](const char* name) {
    if (!platform::DeleteFile(dir_ + name) && Exists(dir_ + name)) stayed_.push_back(dir_ + name);
  };
  for (const char* name : kCoreFiles) remove(name);
  for (const char* name : kFurtherFiles) remove(name);
  for (const char* folder : kProgramFolders) {
    std::vector<std::string> left =
        std::string(folder) == "spam\\" ? RemoveAntispam(dir_) : DeleteFolderKeeping(dir_, folder);
    stayed_.insert(stayed_.end(), left.begin(), left.end());
  }
  std::vector<std::string> left = RemoveAntivirus(dir_);
  stayed_.insert(stayed_.end(), left.begin(), left.end());
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
  // What stayed is named in the installation's own setup log, which the uninstall keeps.
  support::InitLog(dir_ + setup::kSetupLogFile, nullptr, support::lfTimeStamp, 4);
  support::SetupLog("Uninstalling \"" + dir_ + "\"");
  stayed_.clear();
  StopModules();
  RemoveShortcuts();
  RemoveProgramFiles();
  for (const std::string& what : stayed_) support::SetupLog("Error: Not removed: " + what);
  ui_.MessageBox(setup::cCompleteRemove, setup::cInformation,
                 ui::kOk | ui::kIconInformation | ui::kTaskModal);
  return stayed_.empty() ? Outcome::Done : Outcome::Fatal;
}

}  // namespace engine
