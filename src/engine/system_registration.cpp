#include "engine/system_registration.h"

#include "platform/files.h"
#include "platform/shell.h"
#include "product/destination.h"
#include "product/messages.h"
#include "product/product.h"
#include "product/server_modules.h"
#include "support/advanced_registry.h"
#include "support/file_utils.h"
#include "support/log_writer.h"
#include "support/system_utils.h"
#include "support/text_fields.h"

namespace engine {
namespace {

constexpr char kExplorerKey[] = "\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer";
constexpr char kPublisher[] = "Kestrun";
constexpr char kMakerAddress[] = "https://www.kestrun.example/";
constexpr int kUninstallIcon = 1;
constexpr int kWebLogOnIcon = 2;
// The program group and the links lie outside the installation folder.
constexpr TInstallJournal::Scope kOutside = TInstallJournal::Scope::Outside;

}  // namespace

std::string LinkDescLine(int index) {
  return support::GetField(setup::LinkDesc, index, '\n');
}

std::string CommonProgramsFolder() {
  support::TAdvancedRegistry shellFolders(support::hkLOCAL_MACHINE, kExplorerKey, "Shell Folders");
  std::string common = shellFolders.ReadString("Common Programs");
  if (common.empty()) common = platform::SpecialFolderPath(platform::SpecialFolder::CommonPrograms);
  if (common.empty()) common = platform::SpecialFolderPath(platform::SpecialFolder::Programs);
  return common;
}

namespace {

// The program group's name: cName, or its English default when the translated
// name cannot name a folder.
std::string ProgramGroupName() {
  if (setup::IsSafeName(setup::cName)) return setup::cName;
  const std::string name = setup::DefaultMessage("cName");
  support::SetupLog("The translated program group name \"" + setup::cName +
                    "\" cannot name a folder; the group is named \"" + name + "\"");
  return name;
}

}  // namespace

std::string ProgramGroupFolder() {
  const std::string common = CommonProgramsFolder();
  return common.empty() ? "" : common + "\\" + ProgramGroupName() + "\\";
}

bool DeleteProgramGroup(const std::string& programs, const std::string& group) {
  if (!setup::IsStrictlyBelow(group, programs)) {
    support::SetupLog("Warning: \"" + group + "\" does not lie below \"" + programs +
                      "\"; it is not deleted");
    return false;
  }
  return support::DeleteDirectory(group, "", true);
}

std::string GetDesktopFolder() {
  std::string folder = platform::SpecialFolderPath(platform::SpecialFolder::Desktop);
  return folder.empty() ? "" : support::NormalizeDir(folder);
}

std::string GetQuickLaunchFolder() {
  std::string folder = support::GetTempDirectory();
  support::TAdvancedRegistry shellFolders(support::hkCURRENT_USER, kExplorerKey, "Shell Folders");
  std::string appData = shellFolders.ReadString("AppData");
  if (!appData.empty()) folder = appData;
  return support::NormalizeDir(folder) + "Microsoft\\Internet Explorer\\Quick Launch\\";
}

TSystemRegistration::TSystemRegistration(setup::TSetupState& state, ui::UserInterface& ui,
                                         std::string setupProgram, TInstallJournal& journal)
    : state_(state), ui_(ui), setupFile_(support::NameOfPath(setupProgram)), journal_(journal) {}

void TSystemRegistration::CreateProgramGroup() {
  const std::string name = ProgramGroupName();
  support::TAdvancedRegistry shellFolders(support::hkCURRENT_USER, kExplorerKey, "Shell Folders");
  std::string programs = shellFolders.ReadString("Programs");
  if (!programs.empty() &&
      journal_.Replacing(programs + "\\" + name + "\\", kOutside))  // an older per-user group
    DeleteProgramGroup(programs, programs + "\\" + name + "\\");

  const std::string common = CommonProgramsFolder();
  if (common.empty()) return;
  const std::string group = common + "\\" + name + "\\";
  journal_.Replacing(group, kOutside);
  DeleteProgramGroup(common, group);  // one group, whatever earlier runs left
  support::CreateDirectoryPath(group);

  const std::string& dir = state_.InstallDir;
  std::string setupCopy = dir + setupFile_;
  auto link = [&](const std::string& text, const std::string& target,
                  const std::string& arguments = "", int icon = 0) {
    const std::string file = setup::SafeFileName(text);
    if (file.empty()) return;
    platform::CreateShellLink(target, group + file + ".lnk", arguments, icon);
    ui_.ProcessMessages();  // the shell can take its time over each link
  };
  const char* const linkTargets[] = {"config.exe", "doc\\readme.txt", "doc\\manual.chm",
                                     "dnsquery.exe", "tutorial\\index.html"};
  for (int i = 0; i < 5; ++i) link(LinkDescLine(i), dir + linkTargets[i]);
  link(setup::UninstallDesc, setupCopy, "/UNINSTALL", kUninstallIcon);
  if (state_.WebMailDeployed) link(setup::cWebMailManual, dir + setup::cWebMailManualFile);
  if (!support::ServiceMode) {
    const std::string* const names[] = {&setup::OrvikSMTPLinkDesc, &setup::OrvikPOP3LinkDesc,
                                        &setup::OrvikControlLinkDesc, &setup::OrvikIMLinkDesc,
                                        &setup::OrvikGWLinkDesc};
    for (int i = 0; i < support::kModuleCount; ++i)
      link(*names[i], dir + support::kServerModules[i].Executable);
  }
  link(setup::cOrvikWebmail, setupCopy, "/WEBMAILLOGON", kWebLogOnIcon);
  link(setup::cOrvikWebAdmin, setupCopy, "/WEBADMINLOGON", kWebLogOnIcon);
}

bool TSystemRegistration::WriteUninstallEntry(uint64_t installedBytes) {
  const std::string& dir = state_.InstallDir;
  support::TAdvancedRegistry entry(support::hkLOCAL_MACHINE, kUninstallKey, kUninstallSection);
  support::TAdvancedRegistry product = setup::ProductRegistry();
  bool failed = false;
  entry.OnError = product.OnError = [&](support::TAdvancedRegistry&) { failed = true; };
  auto report = [&](const support::TAdvancedRegistry& key, const std::string& name) {
    std::string reason = "cannot write \"" + name + "\" of HKEY_LOCAL_MACHINE" + key.KeyPath();
    support::SetupLog("Error: " + setup::cRegistryError + reason);
    ui_.MessageBox(setup::cRegistryError + reason + setup::cErrorText, setup::cError,
                   ui::kOk | ui::kIconError | ui::kTaskModal);
    return false;
  };
  const std::pair<const char*, std::string> entryValues[] = {
      {"DisplayName", setup::cName + " " + setup::kProductVersion},
      // Quoted: the shell reads it as a command line.
      {"UninstallString", "\"" + dir + setupFile_ + "\" /UNINSTALL"},
      {"DisplayIcon", dir + "config.exe"},
      {"DisplayVersion", setup::kProductVersion},
      {"InstallLocation", dir},
      {"NoModify", "1"},
      {"NoRepair", "1"},
      {"Publisher", kPublisher},
      {"URLInfoAbout", kMakerAddress},
  };
  for (const auto& [name, value] : entryValues) {
    entry.WriteString(name, value);
    if (failed) return report(entry, name);
  }
  entry.WriteInteger("EstimatedSize", static_cast<int32_t>((installedBytes + 1023) / 1024));
  if (failed) return report(entry, "EstimatedSize");
  const std::pair<const char*, std::string> productValues[] = {{"InstallDir", dir},
                                                               {"Version", setup::kProductVersion}};
  for (const auto& [name, value] : productValues) {
    product.WriteString(name, value);
    if (failed) return report(product, name);
  }
  return true;
}

Outcome TSystemRegistration::RegisterSystem(uint64_t installedBytes) {
  ui_.ShowStatus(setup::cCreatingIcons);
  CreateProgramGroup();
  const std::string& dir = state_.InstallDir;
  const std::string firstLink = setup::SafeFileName(LinkDescLine(0));
  if (!firstLink.empty()) {
    auto link = [&](const std::string& folder) {
      journal_.Replacing(folder + firstLink + ".lnk", kOutside);
      platform::CreateShellLink(dir + "config.exe", folder + firstLink + ".lnk", "", 0);
      ui_.ProcessMessages();
    };
    if (state_.AddDesktop && !GetDesktopFolder().empty()) link(GetDesktopFolder());
    if (state_.AddQuickLaunch) link(GetQuickLaunchFolder());
  }
  return WriteUninstallEntry(installedBytes) ? Outcome::Done : Outcome::Fatal;
}

}  // namespace engine
