#include "engine/file_deployment.h"

#include <algorithm>
#include <functional>
#include <utility>
#include <vector>

#include "archive/entry_names.h"
#include "archive/extract.h"
#include "engine/antivirus_setup.h"
#include "engine/folder_swap.h"
#include "platform/files.h"
#include "platform/folder_handle.h"
#include "platform/library.h"
#include "platform/security.h"
#include "platform/system.h"
#include "product/destination.h"
#include "product/messages.h"
#include "product/product.h"
#include "registration/odbc_data_sources.h"
#include "support/file_utils.h"
#include "support/log_writer.h"
#include "support/short_string.h"
#include "support/text_fields.h"
#include "translations/message_table.h"

namespace engine {
namespace {

// Files of the LDAP server that an installation keeps.
constexpr char kLdapKeepList[] =
    ";slapd.conf;schema\\corba.schema;schema\\core.schema;schema\\cosine.schema;"
    "schema\\inetorgperson.schema;schema\\java.schema;schema\\krb5-kdc.schema;schema\\misc.schema;"
    "schema\\nadf.schema;schema\\nis.schema;schema\\openldap.schema;ldbm\\dn2id.dbb;"
    "ldbm\\id2entry.dbb;ldbm\\nextid.dbb;ldbm\\objectClass.dbb;";
constexpr uint32_t kErrorFilenameTooLong = 206;
// The folders of the installation that staged trees are moved into; ldap\,
// php\ and avast\ are filled straight from their archives.
constexpr const char* kMovedInto[] = {"doc\\",      "modules\\",  "html\\",   "wizards\\",
                                      "spam\\",     "calendar\\", "api\\",    "tutorial\\",
                                      "examples\\", "xml\\",      "webmail\\"};
// The archives StagePackage unpacks, and the folder below the staging folder
// that each goes into.
constexpr std::pair<const char*, const char*> kStagedArchives[] = {
    {setup::kPackageArchive, ""}, {"setupweb.dat", "webmail\\"}, {"setupav.dat", "avast\\"}};

// Who an access list entry is for, as the log names it.
std::string SidName(const std::string& sid) {
  static const std::pair<const char*, const char*> names[] = {
      {platform::kSidEveryone, "Everyone"},
      {platform::kSidAuthenticatedUsers, "Authenticated Users"},
      {platform::kSidUsers, "Users"},
      {platform::kSidCreatorOwner, "Creator Owner"}};
  for (const auto& [known, name] : names)
    if (sid == known) return name;
  return sid;
}

// What an entry let its holder do that only administrators may.
std::string WriteRights(uint32_t rights) {
  if ((rights & platform::kRightGenericAll) ||
      (rights & platform::kRightFullControl) == platform::kRightFullControl)
    return "full control";
  static const std::pair<uint32_t, const char*> words[] = {
      {platform::kRightWriteData | platform::kRightGenericWrite, "write"},
      {platform::kRightAppendData, "append"},
      {platform::kRightDelete | platform::kRightDeleteChild, "delete"},
      {platform::kRightWriteDac, "change permissions"},
      {platform::kRightWriteOwner, "take ownership"}};
  std::string text;
  for (const auto& [bits, word] : words)
    if (rights & bits) text += (text.empty() ? "" : ", ") + std::string(word);
  return text;
}

void EnsureDataSource(const registration::AccessDataSource& source, const std::string& installDir) {
  if (!registration::DataSourceExists(source.name))
    registration::CreateAccessDataSource(source.name, false, installDir + source.file);
}

}  // namespace

// Runs a step that may end the deployment; its end is passed on.
#define ORVIK_TRY(step)                                                        \
  do {                                                                         \
    if (Outcome outcome_ = (step); outcome_ != Outcome::Done) return outcome_; \
  } while (false)

TFileDeployment::TFileDeployment(setup::TSetupState& state, ui::UserInterface& ui,
                                 std::string setupProgram, TInstallJournal& journal)
    : state_(state),
      ui_(ui),
      setupProgram_(std::move(setupProgram)),
      setupFolder_(support::FolderOfPath(setupProgram_)),
      journal_(journal),
      swap_(
          [this](const std::string& name, const std::string& from, const std::string& to) {
            // An extra of the installation carried into the staged folder.
            return Place(name, to + name, [&] { return journal_.Move(from + name, to + name); });
          },
          journal) {}

Outcome TFileDeployment::EnsureInstallDir() {
  const std::string& dir = state_.InstallDir;
  if (support::DirExists(dir) || support::CreateDirectoryPath(dir)) return Outcome::Done;
  // The reason is that of creating the folder itself, read before anything is
  // logged or shown.
  uint32_t error = kErrorFilenameTooLong;
  if (dir.size() <= support::kShortStringMax) {
    platform::CreateDirectory(dir);
    error = platform::LastError();
  }
  std::string text = setup::cErrorDir + platform::SystemErrorText(error);
  ui_.MessageBox(text, setup::cError, ui::kOk | ui::kIconError | ui::kTaskModal);
  support::SetupLog("Error: Setup aborted - " + text + "\r\n");
  return Outcome::Fatal;
}

Outcome TFileDeployment::ProtectInstallDir(bool existed, std::vector<std::string>& lines) {
  const std::string& dir = state_.InstallDir;
  bool network = false;
  const std::string expected = setup::ComparableFolder(setup::ResolveSubstDrive(dir, network));
  std::string reached;
  platform::FolderSecurity before;
  const platform::SecureResult result = platform::SetFolderSecurity(
      dir, platform::ProtectedFolderSecurity(),
      [&](const std::string& finalPath, const platform::FolderSecurity& current) {
        reached = finalPath;
        before = current;
        return !network && setup::ComparableFolder(finalPath) == expected &&
               platform::IsAdministratorOwner(current.Owner);
      });
  const uint32_t error = platform::LastError();
  std::string text;
  switch (result) {
    case platform::SecureResult::Done:
      break;
    case platform::SecureResult::Link:
      text = setup::DestinationRefusal(dir, setup::DestinationFault::Link);
      break;
    case platform::SecureResult::Refused:
      // Checked before; what differs now was changed while setup ran.
      text = platform::IsAdministratorOwner(before.Owner)
                 ? "The installation folder " + dir + " now leads to " + reached +
                       ".\r\nNothing was installed."
                 : setup::DestinationRefusal(dir, setup::DestinationFault::UserOwned);
      break;
    case platform::SecureResult::Failed:
      text = "Setup cannot protect the installation folder " + dir + ": " +
             platform::SystemErrorText(error);
      break;
  }
  if (!text.empty()) {
    ui_.MessageBox(text, setup::cError, ui::kOk | ui::kIconError | ui::kTaskModal);
    support::SetupLog("Error: Setup aborted - " + text + "\r\n");
    return Outcome::Fatal;
  }
  if (existed)
    for (const platform::AccessEntry& entry : platform::UserWritableEntries(before))
      lines.push_back("Access removed from \"" + dir + "\": " + SidName(entry.Sid) + " had " +
                      WriteRights(entry.Rights));
  lines.push_back(
      "Installation folder protected: owner Administrators, SYSTEM and "
      "Administrators full control, Users read and execute");
  return Outcome::Done;
}

Outcome TFileDeployment::Place(const std::string& name, const std::string& target,
                               const std::function<bool()>& attempt) {
  for (;;) {
    // The file replaced waits in the backup folder. Without a journal, a
    // read-only, hidden or system file is not replaced as it stands.
    const bool aside = journal_.Replacing(target);
    const uint32_t attributes = platform::GetFileAttributes(target);
    if (aside && attributes != platform::kInvalidAttributes &&
        (attributes & (platform::kAttrReadOnly | platform::kAttrHidden | platform::kAttrSystem)))
      platform::SetFileAttributes(target, platform::kAttrNormal);
    if (aside && attempt()) return Outcome::Done;
    std::string reason = platform::SystemErrorText(platform::LastError());
    support::SetupLog("Error: File \"" + target + "\" - " + reason);
    int answer = ui_.MessageBox(support::FillMessage(setup::cErrorFile, {name, reason}),
                                setup::cError, ui::kRetryCancel | ui::kIconError | ui::kTaskModal);
    if (answer != ui::kIdRetry) {
      support::SetupLog("Error: Setup aborted\r\n");
      return Outcome::Cancelled;
    }
  }
}

Outcome TFileDeployment::CopyOneFile(const std::string& name, const std::string& sourceDir,
                                     const std::string& targetDir) {
  std::string source = sourceDir + name, target = targetDir + name;
  // Started from the installation folder: the file is already in place.
  if (platform::SameFile(source, target)) return Outcome::Done;
  return Place(name, target, [&] { return support::CopyFileTo(source, target, false); });
}

Outcome TFileDeployment::MoveOneFile(const std::string& name, const std::string& sourceDir,
                                     const std::string& targetDir) {
  std::string source = sourceDir + name, target = targetDir + name;
  return Place(name, target, [&] {
    // Without a journal the target was not moved aside.
    if (!(journal_.Active() ? journal_.Move(source, target)
                            : platform::ReplaceFile(source, target)))
      return false;
    platform::InheritAccess(target);
    return true;
  });
}

Outcome TFileDeployment::CopyIfPresent(const std::string& name, const std::string& sourceDir,
                                       const std::string& targetDir) {
  if (!platform::FileExists(sourceDir + name)) return Outcome::Done;
  return CopyOneFile(name, sourceDir, targetDir);
}

Outcome TFileDeployment::MoveIfPresent(const std::string& name, const std::string& sourceDir,
                                       const std::string& targetDir) {
  if (!platform::FileExists(sourceDir + name)) return Outcome::Done;
  return MoveOneFile(name, sourceDir, targetDir);
}

Outcome TFileDeployment::MoveTree(const std::string& sourceRoot, const std::string& sub,
                                  const std::string& targetRoot) {
  // A folder the installation has is swapped for the staged one in a few
  // renames when it can be; otherwise each file moves over its namesake.
  ORVIK_TRY(SetAsideLink(targetRoot + sub));
  if (support::DirExists(targetRoot + sub) && support::DirExists(sourceRoot + sub)) {
    bool swapped = false;
    ORVIK_TRY(swap_.Swap(sourceRoot + sub, targetRoot + sub, swapped));
    if (swapped) return Outcome::Done;
  }
  // Folders still to move; a list, not recursion, whatever the tree's depth.
  std::vector<std::string> pending{sub};
  ui::TMessagePump pump(ui_);
  while (!pending.empty()) {
    std::string folder = pending.back();
    pending.pop_back();
    const std::string target = targetRoot + folder;
    ORVIK_TRY(SetAsideLink(target));
    // A folder the installation does not have yet arrives whole, in one rename.
    if (!support::DirExists(target) && MoveFolder(sourceRoot + folder, target)) continue;
    // Held while its files move out of it.
    platform::FolderHandle source;
    std::vector<platform::DirEntry> entries;
    if (!source.Open(sourceRoot + folder) || !source.List(entries)) continue;
    std::vector<std::string> subfolders;
    bool made = false;
    for (const platform::DirEntry& entry : entries) {
      // A link or junction could lead anywhere on the machine: it moves as
      // an entry of its own, never followed.
      if ((entry.attributes & platform::kAttrDirectory) &&
          !(entry.attributes & platform::kAttrReparsePoint)) {
        subfolders.push_back(folder + entry.name + "\\");
        continue;
      }
      if (!made) MakeFolder(target);
      made = true;
      pump(target, 0, 0);
      ORVIK_TRY(MoveOneFile(entry.name, sourceRoot + folder, target));
    }
    pending.insert(pending.end(), subfolders.rbegin(), subfolders.rend());
  }
  return Outcome::Done;
}

void TFileDeployment::Survey() {
  bool any = false;
  for (const char* folder : kMovedInto) {
    if (!support::DirExists(state_.InstallDir + folder)) continue;
    swap_.Survey(state_.InstallDir + folder);
    any = true;
  }
  if (any) swap_.Survey(state_.ExtractDir);
}

bool TFileDeployment::RetireReplaced() {
  return swap_.Retire();
}

bool TFileDeployment::MoveFolder(const std::string& source, const std::string& target) {
  if (!support::DirExists(source) || !journal_.Replacing(target) || !journal_.Move(source, target))
    return false;
  platform::InheritAccess(support::NormalizeDir(target, false));
  return true;
}

Outcome TFileDeployment::SetAsideLink(const std::string& folder) {
  const std::string bare = support::NormalizeDir(folder, false);
  const uint32_t attributes = platform::GetFileAttributes(bare);
  if (attributes == platform::kInvalidAttributes || !(attributes & platform::kAttrReparsePoint))
    return Outcome::Done;
  support::SetupLog("\"" + bare + "\" is a link, not a folder of the installation: set aside");
  journal_.Removing(bare);  // moved aside as the link itself
  if (platform::GetFileAttributes(bare) != platform::kInvalidAttributes)
    (attributes & platform::kAttrDirectory) ? platform::RemoveDirectory(bare)
                                            : platform::DeleteFile(bare);
  if (platform::GetFileAttributes(bare) == platform::kInvalidAttributes) return Outcome::Done;
  // Files moved into place would land wherever the link leads.
  const std::string text = "Setup cannot set aside the link \"" + bare +
                           "\": " + platform::SystemErrorText(platform::LastError());
  ui_.MessageBox(text, setup::cError, ui::kOk | ui::kIconError | ui::kTaskModal);
  support::SetupLog("Error: Setup aborted - " + text + "\r\n");
  return Outcome::Fatal;
}

void TFileDeployment::MakeFolder(const std::string& folder, TInstallJournal::Scope scope) {
  if (support::DirExists(folder)) return;
  if (journal_.Replacing(folder, scope)) support::CreateDirectoryPath(folder);
}

bool TFileDeployment::JournalArchive(const std::string& archive, const std::string& destination,
                                     bool overwrite, const std::string& keepList) {
  uint32_t version = 0;
  std::vector<archive::EntryHeader> entries;
  archive::ExtractEnd end;
  archive::ListArchive(archive, version, entries, end);
  for (const archive::EntryHeader& entry : entries) {
    const std::string name = archive::EntryPath(entry.Name);
    if (!archive::IsSafeEntryName(name)) {
      support::SetupLog("Error: \"" + archive + "\" names \"" + name +
                        "\", which is not a file below \"" + destination + "\"");
      return false;
    }
    const std::string target = destination + name;
    // The extraction keeps what the list names as Windows finds the file.
    const bool kept = !overwrite && platform::FileExists(target) &&
                      (keepList.empty() || archive::ListHolds(keepList, name));
    if (!kept && !journal_.Replacing(target)) return false;
  }
  return true;
}

Outcome TFileDeployment::UnpackInPlace(const std::string& archive, const std::string& destination,
                                       bool overwrite, const std::string& keepList) {
  const std::string path = setupFolder_ + archive;
  if (!platform::FileExists(path)) return Outcome::Done;
  if (!JournalArchive(path, destination, overwrite, keepList)) {
    ui_.MessageBox(setup::cErrorDataFile, setup::cError, ui::kOk | ui::kIconError | ui::kTaskModal);
    support::SetupLog("Error: Setup aborted - " + setup::cErrorDataFile + " " + archive + "\r\n");
    return Outcome::Fatal;
  }
  archive::ArchiveStatus status;
  archive::ExtractArchive(path, destination, status, overwrite, keepList, "", "");
  return Outcome::Done;
}

Outcome TFileDeployment::MoveTrees(std::initializer_list<const char*> subs) {
  for (const char* sub : subs) ORVIK_TRY(MoveTree(state_.ExtractDir, sub, state_.InstallDir));
  return Outcome::Done;
}

void TFileDeployment::WriteWithPaths(const std::string& sourceFile, const std::string& targetDir,
                                     TInstallJournal::Scope scope) {
  MakeFolder(targetDir, scope);
  std::string tempPath = support::GetWindowsDirectoryPath() + "temp\\";
  MakeFolder(tempPath + "cache\\", TInstallJournal::Scope::Outside);
  std::string source =
      support::IsRootedPath(sourceFile) ? sourceFile : state_.ExtractDir + sourceFile;
  std::string text;
  if (!support::ReadWholeFile(source, text)) return;
  std::string out;
  for (std::string line : support::SplitLines(text)) {
    support::ReplaceText(line, "%%installpath%%", state_.InstallDir, false);
    support::ReplaceText(line, "%%temppath%%", tempPath, false);
    out += line + "\r\n";
  }
  // Written beside the target and renamed over it: never left half written.
  const std::string target = targetDir + support::NameOfPath(source);
  if (journal_.Replacing(target, scope)) support::ReplaceFileContent(target, out);
}

bool TFileDeployment::AntivirusChosen() const {
  return platform::FileExists(setupFolder_ + "setupav.dat") && !state_.Components.NoInstallAV;
}

Outcome TFileDeployment::Unpack(const std::string& name, const std::string& destination,
                                const std::function<void(uint64_t, uint64_t)>& progress) {
  archive::ExtractOptions options;
  options.AllOrNothing = true;
  options.Progress = progress;
  const archive::ExtractResult result = archive::Extract(
      support::ShortString(setupFolder_ + name), support::ShortString(destination), options);
  stagedBytes_ += result.BytesDecoded;
  if (result.Succeeded()) return Outcome::Done;
  std::string text = setup::cErrorDataFile, logged = text + " " + name;
  if (result.End == archive::ExtractEnd::WriteError) {
    text = logged = "Setup cannot write \"" + destination + result.FailedEntry +
                    "\": " + platform::SystemErrorText(result.SystemError);
  } else if (result.End == archive::ExtractEnd::CannotCreateDestination) {
    text = logged = setup::cErrorDir + destination;
  }
  ui_.MessageBox(text, setup::cError, ui::kOk | ui::kIconError | ui::kTaskModal);
  support::SetupLog("Error: Setup aborted - " + logged + "\r\n");
  return Outcome::Fatal;
}

std::vector<std::pair<const char*, const char*>> TFileDeployment::StagedArchives() const {
  std::vector<std::pair<const char*, const char*>> chosen;
  for (const auto& [archive, folder] : kStagedArchives)
    // setupav.dat is not even opened when anti-virus is not chosen.
    if (archive != std::string("setupav.dat") || AntivirusChosen())
      chosen.emplace_back(archive, folder);
  return chosen;
}

Outcome TFileDeployment::StagePackage() {
  stagedBytes_ = 0;
  // The bar moves with the bytes read of all the archives together.
  ui::TStepsProgress progress(ui_, kStagingSteps, PackedBytes());
  uint64_t before = 0, size = 0;  // of the archives unpacked, and of this one
  for (const auto& [archive, folder] : StagedArchives()) {
    const std::string name = archive;
    ORVIK_TRY(Unpack(archive, state_.ExtractDir + folder, [&](uint64_t done, uint64_t total) {
      size = total;
      progress(name, before + done);
    }));
    before += size;
  }
  progress.Finish();
  return Outcome::Done;
}

uint64_t TFileDeployment::PackedBytes() const {
  uint64_t bytes = 0;
  for (const auto& [archive, folder] : StagedArchives())
    bytes +=
        static_cast<uint64_t>(std::max<int64_t>(platform::FileSize(setupFolder_ + archive), 0));
  return bytes;
}

Outcome TFileDeployment::DeployFiles() {
  ORVIK_TRY(EnsureInstallDir());
  ui_.ShowStatus(setup::cInstallFiles);
  const std::string& dir = state_.InstallDir;
  const std::string& extracted = state_.ExtractDir;
  for (const char* sub : {"config\\", "xml\\"}) MakeFolder(dir + sub);
  ORVIK_TRY(CopyIfPresent("info.xml", setupFolder_, dir + "xml\\"));
  ORVIK_TRY(CopyIfPresent("setup.lng", setupFolder_, dir));

  for (const char* name : kCoreFiles) ORVIK_TRY(MoveOneFile(name, extracted, dir));
  ORVIK_TRY(MoveOneFile("kestruncom.dll", extracted, dir));
  ORVIK_TRY(MoveIfPresent("im.exe", extracted, dir));
  ORVIK_TRY(MoveIfPresent("cal.exe", extracted, dir));
  // Older versions kept these in the installation folder itself.
  for (const char* name : {"cert.pem", "cert.dat", "default.ini", "db.ini"})
    if (platform::FileExists(dir + name) && journal_.Replacing(dir + "config\\" + name))
      journal_.Move(dir + name, dir + "config\\" + name);
  if (!platform::FileExists(dir + "config\\cert.pem"))
    ORVIK_TRY(MoveOneFile("cert.pem", extracted, dir + "config\\"));

  ORVIK_TRY(DeployComponentData());
  // The documents beside the setup program are optional.
  MakeFolder(dir + "doc\\");
  for (const char* name : {"readme.txt", "releasenotes.txt", "license.txt"})
    ORVIK_TRY(CopyIfPresent(name, setupFolder_, dir + "doc\\"));
  if (!platform::FileExists(dir + "config\\webserver.dat"))
    WriteWithPaths(extracted + "webserver.dat", dir + "config\\");
  // The uninstall runs this copy.
  ORVIK_TRY(CopyOneFile(support::NameOfPath(setupProgram_), setupFolder_, dir));

  ORVIK_TRY(UnpackInPlace("setupldap.dat", dir + "ldap\\", false, kLdapKeepList));
  if (platform::FileExists(setupFolder_ + "setupphp.dat")) {
    ORVIK_TRY(UnpackInPlace("setupphp.dat", dir + "php\\", true));
    WriteWithPaths(dir + "php\\wmi.ini", support::GetWindowsDirectoryPath(),
                   TInstallJournal::Scope::Outside);
    platform::DeleteFile(dir + "php\\wmi.ini");
  }

  ui_.StepProgress();
  state_.WebMailDeployed = true;
  ui_.ShowStatus(setup::cInstallingWeb);
  platform::File local;
  journal_.Replacing(dir + "control.exe.local");
  local.Open(dir + "control.exe.local", platform::File::Mode::Create);
  local.Close();

  std::string webmail = extracted + "webmail\\";
  if (!platform::FileExists(dir + "webmail\\config\\settings.dat"))
    WriteWithPaths("webmail\\settings.dat", dir + "webmail\\config\\");
  platform::DeleteFile(webmail + "settings.dat");
  ORVIK_TRY(MoveTree(webmail + "html\\", "", dir + "html\\mail\\"));
  archive::DeleteExtracted(webmail + "html\\");
  journal_.Removing(dir + "webmail\\projects\\");
  support::DeleteDirectory(dir + "webmail\\projects\\", "", true);
  ORVIK_TRY(MoveTree(extracted, "webmail\\", dir));
  archive::DeleteExtracted(webmail);

  return UnpackInPlace("other.dat", dir, true);
}

Outcome TFileDeployment::DeployComponentData() {
  const std::string& dir = state_.InstallDir;
  const std::string& extracted = state_.ExtractDir;
  ORVIK_TRY(MoveTrees({"doc\\", "modules\\", "html\\", "wizards\\"}));

  // Anti-spam: the challenge database and the local rules are the installation's;
  // the rules 1* to 6* are the package's.
  const bool hadSpam = support::DirExists(dir + "spam\\");
  if (!hadSpam) ORVIK_TRY(MoveTrees({"spam\\"}));
  ORVIK_TRY(MoveTrees({"spam\\template\\"}));
  if (!platform::FileExists(dir + "spam\\challenge.mdb"))
    ORVIK_TRY(MoveOneFile("challenge.mdb", extracted + "spam\\", dir + "spam\\"));
  EnsureDataSource(registration::kAccessDataSources[0], dir);
  if (hadSpam && support::DirExists(dir + "spam\\rules\\")) {
    std::vector<platform::DirEntry> rules;
    platform::ListDirectory(dir + "spam\\rules\\*.*", rules);
    for (const platform::DirEntry& rule : rules)
      if (rule.name[0] >= '1' && rule.name[0] <= '6' &&
          !(rule.attributes & platform::kAttrDirectory))
        journal_.Removing(dir + "spam\\rules\\" + rule.name);
    for (char n = '1'; n <= '6'; ++n)
      support::DeleteDirectory(dir + "spam\\rules\\", std::string(1, n) + "*.*", false);
    platform::DeleteFile(extracted + "spam\\rules\\local.cf");
  }
  ORVIK_TRY(MoveTrees({"spam\\rules\\"}));

  // GroupWare: its database and settings are the installation's.
  if (!support::DirExists(dir + "calendar\\")) {
    ORVIK_TRY(MoveTrees({"calendar\\"}));
  } else {
    ORVIK_TRY(MoveOneFile("calendar.xml", extracted + "calendar\\", dir + "calendar\\"));
    ORVIK_TRY(MoveTrees({"calendar\\holidays\\", "calendar\\doc\\"}));
  }
  if (!platform::FileExists(dir + "calendar\\calendar.mdb"))
    ORVIK_TRY(MoveOneFile("calendar.mdb", extracted + "calendar\\", dir + "calendar\\"));
  EnsureDataSource(registration::kAccessDataSources[1], dir);

  ORVIK_TRY(MoveTrees({"api\\", "tutorial\\", "examples\\", "xml\\"}));
  ui_.StepProgress();
  if (AntivirusChosen()) return InstallAntivirus();
  return Outcome::Done;
}

Outcome TFileDeployment::InstallAntivirus() {
  const std::string& dir = state_.InstallDir;
  ui_.ShowStatus(setup::cInstallingAV);
  std::string extracted = state_.ExtractDir + "avast\\";
  if (support::DirExists(dir + "avast") && state_.UpgradeFromPre827) {
    journal_.Removing(dir + "avast\\");
    support::DeleteDirectory(dir + "avast\\", "", true);
  }

  // The engine's installer makes its own folder: a rollback deletes it when
  // the run made it.
  if (!support::DirExists(dir + "avast\\")) journal_.Replacing(dir + "avast\\");
  int32_t status = 0;
  std::string installed = dir + "avast\\setup\\";
  {
    platform::Library library;
    SetifaceInstallProgram* install = nullptr;
    bool installedBefore = platform::FileExists(installed + "setiface.dll");
    if (!installedBefore &&
        BindAntivirusSetup(extracted, "setifaceInstallProgram", library, install))
      install(kAntivirusPartner, (extracted + "avastoem.exe").c_str(), (dir + "avast").c_str(),
              "/minicore /noreboot /forceinstall", kAntivirusMode, &status);
  }
  {
    platform::Library library;
    SetifaceUpdateFiles* update = nullptr;
    if (BindAntivirusSetup(installed, "setifaceUpdateFiles", library, update))
      update(kAntivirusPartner, "/overwrite", kAntivirusMode, &status);
  }
  archive::DeleteExtracted(extracted);
  return Outcome::Done;
}

namespace {

// Where a line goes last in the section whose header is at `header`: at the
// section's first empty line, or before the next section's header; npos when
// the section runs to the end of the text.
size_t SectionEnd(const std::string& text, size_t header) {
  for (size_t lf = text.find('\n', header); lf != std::string::npos; lf = text.find('\n', lf + 1)) {
    size_t next = lf + 1;
    if (text.compare(next, 1, "\n") == 0 || text.compare(next, 2, "\r\n") == 0 ||
        text.compare(next, 1, "[") == 0)
      return next;
  }
  return std::string::npos;
}

// The position of a section header (lower case) in the text, appending the
// section when there is none.
size_t FindOrAppendSection(std::string& text, const std::string& lowerHeader,
                           const std::string& header) {
  size_t at = support::LowerCase(text).find(lowerHeader);
  if (at != std::string::npos) return at;
  text = support::TrimWhite(text) + "\r\n\r\n";
  at = text.size();
  text += header + "\r\n";
  return at;
}

void AppendLine(std::string& text, const std::string& line) {
  if (!text.empty() && text.back() != '\n') text += "\r\n";
  text += line;
}

}  // namespace

void TFileDeployment::RegisterWebFilter() {
  std::string file = state_.InstallDir + "config\\webserver.cfg";
  std::string text;
  if (!platform::FileExists(file) || !support::ReadWholeFile(file, text)) return;
  std::string original = text;
  if (text.find("wcs.dll") == std::string::npos) {
    // The filter goes last in its section.
    size_t filter = FindOrAppendSection(text, "[filter]", "[Filter]");
    const std::string filterLine = "=modules\\wcs.dll|[wcs]\r\n";
    size_t end = SectionEnd(text, filter);
    if (end == std::string::npos)
      AppendLine(text, filterLine);
    else
      text.insert(end, filterLine);
    // The virtual folder goes first in its section.
    size_t host = FindOrAppendSection(text, "[virtual-host]", "[Virtual-Host]");
    const std::string hostLine = "/wcs/=[wcs]\r\n";
    size_t lineEnd = text.find('\n', host);
    if (lineEnd == std::string::npos)
      AppendLine(text, hostLine);
    else
      text.insert(lineEnd + 1, hostLine);
  }
  support::ReplaceText(text, "webmail\\web.dll", "php\\php.dll", true, false);
  if (text != original && journal_.Preserving(file)) support::ReplaceFileContent(file, text);
}

#undef ORVIK_TRY

}  // namespace engine
