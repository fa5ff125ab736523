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

constexpr char kLinkSeparator = '|';
constexpr char kLinkExtension[] = ".lnk";

// The current user's programs folder, where older versions put the group.
std::string UserProgramsFolder() {
  support::TAdvancedRegistry shellFolders(support::hkCURRENT_USER, kExplorerKey, "Shell Folders");
  return shellFolders.ReadString("Programs");
}

bool SameFolder(const std::string& a, const std::string& b) {
  return !a.empty() && !b.empty() && setup::ComparableFolder(a) == setup::ComparableFolder(b);
}

bool Contains(const std::vector<std::string>& names, const std::string& name) {
  for (const std::string& n : names)
    if (support::SameText(n, name)) return true;
  return false;
}

// The programs folder a group folder lies strictly below; "" when none.
std::string ProgramsFolderOf(const std::string& group) {
  for (const std::string& programs :
       {CommonProgramsFolder(), UserProgramsFolder(),
        platform::SpecialFolderPath(platform::SpecialFolder::Programs)})
    if (!programs.empty() && setup::IsStrictlyBelow(group, programs)) return programs;
  return "";
}

// The program group's name: cName, or its English default when the translated
// name cannot name a folder, or names one that someone else made: the group's
// links and its removal are then never aimed at another folder's content.
std::string ProgramGroupName(const std::string& recorded) {
  const std::string english = setup::DefaultMessage("cName");
  std::string why;
  if (!setup::IsSafeName(setup::cName)) {
    why = "cannot name a folder";
  } else if (setup::cName != english) {
    for (const std::string& programs : {CommonProgramsFolder(), UserProgramsFolder()}) {
      const std::string folder = programs + "\\" + setup::cName + "\\";
      if (!programs.empty() && platform::DirectoryExists(folder) && !SameFolder(folder, recorded)) {
        why = "names the folder \"" + folder + "\", which setup did not make";
        break;
      }
    }
  }
  if (why.empty()) return setup::cName;
  support::SetupLog("The translated program group name \"" + setup::cName + "\" " + why +
                    "; the group is named \"" + english + "\"");
  return english;
}

struct GroupLink {
  std::string text, target, arguments;
  int icon = 0;
};

// The links of the group, in the order they are made.
std::vector<GroupLink> GroupLinks(const std::string& dir, const std::string& setupCopy,
                                  bool webMail, bool serviceMode) {
  std::vector<GroupLink> links;
  const char* const linkTargets[] = {"config.exe", "doc\\readme.txt", "doc\\manual.chm",
                                     "dnsquery.exe", "tutorial\\index.html"};
  for (int i = 0; i < 5; ++i) links.push_back({LinkDescLine(i), dir + linkTargets[i], "", 0});
  links.push_back({setup::UninstallDesc, setupCopy, "/UNINSTALL", kUninstallIcon});
  if (webMail) links.push_back({setup::cWebMailManual, dir + setup::cWebMailManualFile, "", 0});
  if (!serviceMode) {
    const std::string* const names[] = {&setup::OrvikSMTPLinkDesc, &setup::OrvikPOP3LinkDesc,
                                        &setup::OrvikControlLinkDesc, &setup::OrvikIMLinkDesc,
                                        &setup::OrvikGWLinkDesc};
    for (int i = 0; i < support::kModuleCount; ++i)
      links.push_back({*names[i], dir + support::kServerModules[i].Executable, "", 0});
  }
  links.push_back({setup::cOrvikWebmail, setupCopy, "/WEBMAILLOGON", kWebLogOnIcon});
  links.push_back({setup::cOrvikWebAdmin, setupCopy, "/WEBADMINLOGON", kWebLogOnIcon});
  return links;
}

bool IsLinkFileName(const std::string& name) {
  const std::size_t n = sizeof kLinkExtension - 1;
  return name.size() > n && setup::IsSafeName(name) &&
         support::SameText(name.substr(name.size() - n), kLinkExtension);
}

bool IsEmptyFolder(const std::string& folder) {
  std::vector<platform::DirEntry> entries;
  if (!platform::ListDirectory(folder + "*.*", entries)) return false;
  for (const platform::DirEntry& e : entries)
    if (e.name != "." && e.name != "..") return false;
  return true;
}

}  // namespace

ProgramGroupRecord RecordedProgramGroup() {
  support::TAdvancedRegistry product = setup::ProductRegistry();
  ProgramGroupRecord record;
  const std::string folder = product.ReadString(kProgramGroupValue);
  if (!folder.empty()) record.folder = support::NormalizeDir(folder);
  std::vector<std::string> names;
  support::SplitToList(product.ReadString(kProgramGroupLinksValue), kLinkSeparator, names);
  for (const std::string& name : names)
    if (IsLinkFileName(name)) record.links.push_back(name);
  return record;
}

std::vector<std::string> OwnLinkNames() {
  std::vector<std::string> names;
  for (const GroupLink& link : GroupLinks("", "", true, false)) {
    const std::string file = setup::SafeFileName(link.text);
    if (!file.empty() && !Contains(names, file + kLinkExtension))
      names.push_back(file + kLinkExtension);
  }
  return names;
}

std::string ProgramGroupFolder() {
  const std::string common = CommonProgramsFolder();
  return common.empty() ? ""
                        : common + "\\" + ProgramGroupName(RecordedProgramGroup().folder) + "\\";
}

std::vector<std::string> DeleteProgramGroup(const std::string& programs, const std::string& group,
                                            const std::vector<std::string>& links,
                                            TInstallJournal* journal) {
  if (!platform::DirectoryExists(group)) return {};
  if (!setup::IsStrictlyBelow(group, programs)) {
    support::SetupLog("Warning: \"" + group + "\" does not lie below \"" + programs +
                      "\"; nothing in it is deleted");
    return {group};
  }
  const std::string folder = support::NormalizeDir(group);
  std::vector<std::string> stayed;
  for (const std::string& name : links) {
    const std::string file = folder + name;
    if (!platform::FileExists(file)) continue;
    if ((journal && !journal->Removing(file, kOutside)) ||
        (!platform::DeleteFile(file) && platform::FileExists(file)))
      stayed.push_back(file);
  }
  // Whatever else is there is someone else's: the folder stays with it.
  if (IsEmptyFolder(folder) && (!journal || journal->Removing(folder, kOutside)))
    platform::RemoveDirectory(folder);
  return stayed;
}

std::vector<std::string> RemoveProgramGroup() {
  const ProgramGroupRecord record = RecordedProgramGroup();
  if (!record.folder.empty())
    return DeleteProgramGroup(ProgramsFolderOf(record.folder), record.folder, record.links);
  const std::string common = CommonProgramsFolder();
  if (common.empty()) return {};
  return DeleteProgramGroup(common, ProgramGroupFolder(), OwnLinkNames());
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
  const ProgramGroupRecord before = RecordedProgramGroup();
  const std::string name = ProgramGroupName(before.folder);
  const std::string common = CommonProgramsFolder();
  const std::string group = common.empty() ? "" : common + "\\" + name + "\\";
  group_ = {group, {}};
  if (!group.empty()) {
    // A folder that is there already is not copied whole: only the links go
    // through the journal.
    if (!platform::DirectoryExists(group)) journal_.Replacing(group, kOutside);
    support::CreateDirectoryPath(group);
    const std::string& dir = state_.InstallDir;
    for (const GroupLink& link :
         GroupLinks(dir, dir + setupFile_, state_.WebMailDeployed, support::ServiceMode)) {
      const std::string file = setup::SafeFileName(link.text);
      if (file.empty()) continue;
      journal_.Replacing(group + file + kLinkExtension, kOutside);
      platform::CreateShellLink(link.target, group + file + kLinkExtension, link.arguments,
                                link.icon);
      if (!Contains(group_.links, file + kLinkExtension))
        group_.links.push_back(file + kLinkExtension);
      ui_.ProcessMessages();  // the shell can take its time over each link
    }
  }
  // What earlier runs left: the recorded group's links that this run did not
  // make again, then its folder when empty. A group made before groups were
  // recorded, and an older per-user group, hold setup's own link names at most.
  auto leftOver = [&](const std::string& folder, const std::vector<std::string>& links) {
    std::vector<std::string> old;
    for (const std::string& link : links)
      if (!SameFolder(folder, group) || !Contains(group_.links, link)) old.push_back(link);
    DeleteProgramGroup(ProgramsFolderOf(folder), folder, old, &journal_);
  };
  if (!before.folder.empty())
    leftOver(before.folder, before.links);
  else if (!group.empty())
    leftOver(group, OwnLinkNames());
  const std::string programs = UserProgramsFolder();
  if (!programs.empty()) leftOver(programs + "\\" + name + "\\", OwnLinkNames());
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
  std::string links;
  for (const std::string& link : group_.links)
    links += (links.empty() ? "" : std::string(1, kLinkSeparator)) + link;
  const std::pair<const char*, std::string> productValues[] = {{"InstallDir", dir},
                                                               {"Version", setup::kProductVersion},
                                                               {kProgramGroupValue, group_.folder},
                                                               {kProgramGroupLinksValue, links}};
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
