#include "engine/install_run.h"

#include <algorithm>
#include <exception>
#include <vector>

#include "archive/extract.h"
#include "engine/antivirus_setup.h"
#include "engine/file_deployment.h"
#include "engine/rollback.h"
#include "engine/system_registration.h"
#include "engine/uninstall.h"
#include "net/smtp_client.h"
#include "platform/clock.h"
#include "platform/files.h"
#include "platform/network.h"
#include "platform/registry.h"
#include "platform/services.h"
#include "platform/system.h"
#include "product/destination.h"
#include "product/messages.h"
#include "product/product.h"
#include "product/server_modules.h"
#include "registration/registry_migration.h"
#include "support/file_utils.h"
#include "support/log_writer.h"
#include "support/short_string.h"
#include "support/system_utils.h"
#include "support/versions.h"
#include "upgrade/upgrade_tasks.h"

namespace engine {
namespace {

using serverconfig::TFixedRecord;
namespace settings = serverconfig::settings;
namespace account = serverconfig::account;

constexpr char kProductName[] = "Orvik Mail Server";
constexpr char kOldestWithWebFilter[] = "7.7.3";
constexpr uint32_t kSettleMs = 2000;
constexpr int kDemoDays = 30;
constexpr std::size_t kDnsEntryMax = 16, kDnsListMax = 127;

// The nearest folder of the path that exists; "" when none does.
std::string ExistingFolder(std::string dir) {
  while (!dir.empty() && !support::DirExists(dir)) {
    std::string parent = support::FolderOfPath(support::NormalizeDir(dir, false));
    if (parent.size() >= dir.size()) return "";
    dir = parent;
  }
  return dir;
}

void ForgetUpgradeFrom() {
  platform::RegKey key;
  if (key.Open(platform::RegRoot::LocalMachine,
               std::string(setup::kProductKeyArea) + "\\" + setup::kProductKeySection, false))
    key.DeleteValue(kUpgradeFromValue);
}

// "Tue, 08 Dec 2026 12:41:52 +0100"
std::string MailDate() {
  int offset = platform::UtcOffsetMinutes();
  std::string zone = offset < 0 ? "-" : "+";
  offset = offset < 0 ? -offset : offset;
  for (int part : {offset / 60 % 100, offset % 60}) {
    zone += static_cast<char>('0' + part / 10);
    zone += static_cast<char>('0' + part % 10);
  }
  return support::FormatDateTime("ddd, dd mmm yyyy hh:nn:ss", platform::Now()) + " " + zone;
}

}  // namespace

TInstallRun::TInstallRun(setup::TSetupState& state, ui::UserInterface& ui,
                         serverconfig::TConfigStore& config, std::string setupProgram)
    : state_(state),
      ui_(ui),
      config_(config),
      setupProgram_(std::move(setupProgram)),
      setupFolder_(support::FolderOfPath(setupProgram_)),
      journal_(TInstallJournal::DefaultPath()),
      services_(state, ui, &journal_),
      deployment_(state, ui, setupProgram_, journal_) {}

Outcome TInstallRun::Run(const std::string& destination) {
  // Stored as Windows spells it, so that later runs compare it with their own folder.
  std::string folder = destination;
  std::replace(folder.begin(), folder.end(), '/', '\\');
  state_.InstallDir = support::NormalizeDir(folder, true);
  state_.IsUpgrade = support::DirExists(state_.InstallDir + "config\\");
  for (int& type : state_.SavedStartTypes) type = -1;
  demoCreated_ = false;
  demoDomain_.clear();
  packageBytes_ = 0;
  extracting_ = false;
  try {
    // What a run that was killed while it had modules stopped still holds goes
    // back first, whatever this run then does.
    if (support::ServiceMode) services_.RestoreFailureActions();
    Outcome verified = Verify();
    if (verified != Outcome::Done) return verified;
    return Steps();
  } catch (const std::exception& error) {
    // Nothing that went wrong may end as a success.
    std::string text = std::string("Unexpected error: ") + error.what();
    support::SetupLog("Error: Setup aborted - " + text + "\r\n");
    ui_.MessageBox(text, setup::cError, ui::kOk | ui::kIconError | ui::kTaskModal);
    return Abort(Outcome::Fatal);
  }
}

Outcome TInstallRun::Refuse(const std::string& text) {
  ui_.MessageBox(text, setup::cError, ui::kOk | ui::kIconError | ui::kTaskModal);
  support::SetupLog("Error: Setup aborted - " + text + "\r\n");
  return Outcome::Fatal;
}

// Everything that can be known to fail is checked before anything on the
// machine changes: the destination, the package, the space and the version.
Outcome TInstallRun::Verify() {
  const std::string& dir = state_.InstallDir;
  setup::DestinationFault fault = setup::CheckDestination(dir);
  if (fault != setup::DestinationFault::None) {
    return Refuse(setup::DestinationRefusal(dir, fault));
  }
  // Protected before anything, the log included, is written into it.
  const bool existed = support::DirExists(dir);
  accessLines_.clear();
  Outcome made = deployment_.EnsureInstallDir();
  if (made == Outcome::Done) made = deployment_.ProtectInstallDir(existed, accessLines_);
  if (made != Outcome::Done) return made;
  support::InitLog(dir + setup::kSetupLogFile, nullptr, support::lfTimeStamp, 4);

  int64_t unpacked = 0;
  Outcome package = VerifyPackage(unpacked);
  if (package != Outcome::Done) return package;

  std::string existing = ExistingFolder(dir);
  int64_t free = existing.empty() ? -1 : platform::FreeDiskSpace(existing);
  if (free >= 0 && free < unpacked + kSpaceMargin) {
    std::string text = "There is not enough free space for the installation in " + dir + ": " +
                       std::to_string((unpacked + kSpaceMargin) >> 20) + " MB are needed, " +
                       std::to_string(free >> 20) + " MB are free.";
    return Refuse(text);
  }

  const std::string& previous = state_.PreviousVersion;
  if (!previous.empty() && !support::VersionAtLeast(setup::kProductVersion, previous)) {
    std::string question = std::string("A newer version of ") + kProductName + " (" + previous +
                           ") is installed. Do you want to replace it with version " +
                           setup::kProductVersion + "?";
    if (ui_.MessageBox(question, setup::cQuestion,
                       ui::kYesNo | ui::kIconQuestion | ui::kDefaultButton2 | ui::kTaskModal) !=
        ui::kIdYes) {
      support::SetupLog("Error: Setup aborted - version " + previous + " is installed\r\n");
      return Outcome::Fatal;
    }
  }
  return Outcome::Done;
}

Outcome TInstallRun::VerifyPackage(int64_t& unpacked) {
  // setup.Dat, setupweb.dat and setupav.dat are checked as they are unpacked
  // into the staging folder; here they count with their packed size, which
  // their content needs at least. The others go straight into the
  // installation: checked here when they are there.
  unpacked += static_cast<int64_t>(deployment_.PackedBytes());
  for (const char* name : {"setupldap.dat", "setupphp.dat", "other.dat", "orvik.mcb"}) {
    std::string path = setupFolder_ + name;
    if (!platform::FileExists(path)) continue;
    archive::ExtractOptions options;
    options.VerifyOnly = true;
    archive::ExtractResult result = archive::Extract(path, "", options);
    if (!result.Succeeded()) {
      ui_.MessageBox(setup::cErrorDataFile, setup::cError,
                     ui::kOk | ui::kIconError | ui::kTaskModal);
      support::SetupLog("Error: Setup aborted - " + setup::cErrorDataFile + " " + name + "\r\n");
      return Outcome::Fatal;
    }
    unpacked += static_cast<int64_t>(result.BytesDecoded);
    packageBytes_ += result.BytesDecoded;
  }
  return Outcome::Done;
}

// The journal begins here. The package is unpacked into the staging folder
// before the installation changes: unpacking checks every entry. Deployment
// then renames the files into place, on the same volume.
Outcome TInstallRun::Stage() {
  Outcome made = deployment_.EnsureInstallDir();
  if (made != Outcome::Done) return made;
  if (!journal_.Begin(state_.InstallDir))
    return Refuse("Setup cannot write its journal \"" + journal_.Path() +
                  "\": " + platform::SystemErrorText(platform::LastError()));
  // The staging folder carries the run's identity: the journal names it, and
  // nothing else of that name is ever deleted.
  const std::string staging = support::ShortString(journal_.StagingDir());
  state_.ExtractDir = staging;
  extracting_ = true;
  if (!support::CreateDirectoryPath(staging))
    return Refuse(setup::cErrorDir + platform::SystemErrorText(platform::LastError()));
  platform::SetFileAttributes(staging, platform::kAttrHidden);
  ui_.ShowStatus(setup::cExtractingFiles);
  Outcome staged = deployment_.StagePackage();
  if (staged != Outcome::Done) return staged;
  support::SetupLog("Data file extracted to \"" + staging + "\"");
  return Outcome::Done;
}

Outcome TInstallRun::Steps() {
  const std::string& dir = state_.InstallDir;
  support::SetupLog(std::string("Started \"") + kProductName + "\" " + setup::kProductVersion +
                    " \"" + dir + "\"");
  for (const std::string& line : accessLines_) support::SetupLog(line);
  Outcome staged = Stage();
  if (staged != Outcome::Done) return Abort(staged);

  registration::MigrateRegistry(true);
  support::TAdvancedRegistry product = setup::ProductRegistry();
  setup::WriteComponentFlags(product, state_.Components);
  const std::string previous = state_.PreviousVersion;
  if (state_.IsUpgrade && !previous.empty()) product.WriteString(kUpgradeFromValue, previous);
  config_.Dirs.InstallDir = support::ShortString(dir);

  // The modules are stopped only now that the package is unpacked and the
  // installed folders read: the server is down for the renames, not for the
  // unpacking.
  ui::RunPumping(ui_, [this] { deployment_.Survey(); });
  JournalServices();
  if (state_.IsUpgrade && support::ServiceMode) SaveStartTypes();
  support::SetupLog("Checking running services");
  ui_.StepProgress();
  services_.StopRunningServices();
  bool stopped = services_.StopRunningServices();
  ui_.StepProgress();
  support::SetupLog(stopped ? "Services stopped" : "Error: Services could not be stopped");
  ui_.StepProgress();

  support::SetupLog("Copying files...");
  Outcome deployed = deployment_.DeployFiles();
  if (deployed != Outcome::Done) return Abort(deployed);
  ui_.StepProgress();
  archive::ArchiveStatus status;
  if (platform::FileExists(setupFolder_ + "orvik.mcb") && !state_.IsUpgrade)
    archive::ExtractArchive(setupFolder_ + "orvik.mcb", dir + "config\\", status, true, "", "", "");
  ui_.StepProgress();
  support::SetupLog("Copying files done");

  if (!state_.IsUpgrade) PrepareNewServer();
  ui_.StepProgress();
  // Changed in place below: a copy of each is kept first, and without a
  // whole copy nothing is changed.
  for (const char* file : {"settings.cfg", "domains.cfg"})
    if (!journal_.Preserving(dir + "config\\" + file))
      return Abort(Refuse("Setup cannot keep a copy of \"" + dir + "config\\" + file +
                          "\": " + platform::SystemErrorText(platform::LastError())));
  SetInterfaceMode();
  ui_.StepProgress();
  if (state_.IsUpgrade && !previous.empty() &&
      !support::VersionAtLeast(previous, kOldestWithWebFilter))
    deployment_.RegisterWebFilter();
  ui_.StepProgress();
  const uint64_t installed = packageBytes_ + deployment_.StagedBytes() +
                             std::max<int64_t>(platform::FileSize(setupProgram_), 0);
  if (TSystemRegistration(state_, ui_, setupProgram_, journal_).RegisterSystem(installed) !=
      Outcome::Done)
    return Abort(Outcome::Fatal);

  // What the journal refused was never changed: the installation would be incomplete.
  if (!journal_.Refused().empty())
    return Abort(Refuse("Setup refused to change \"" + journal_.Refused() +
                        "\", which lies outside the installation folder"));
  support::SetupLog("Installing services");
  services_.InstallServices();
  // The point of no return: the new modules have been started.
  journal_.Finish();
  ui_.StepProgress();
  RemoveDeselected();
  // The replaced folders and the backups can be large: they are deleted while
  // the window keeps answering. What could not be merged stays, with the
  // journal, for the next setup.
  ui::RunPumping(ui_, [this] {
    if (deployment_.RetireReplaced()) journal_.CleanUp();
  });
  extracting_ = false;
  if (!support::DirExists(state_.ExtractDir))
    support::SetupLog("Extracted data deleted \"" + state_.ExtractDir + "\"");
  ui_.ProcessMessages();
  services_.SettleAfterStart(kSettleMs);
  if (demoCreated_) SendDemoMessage();

  ui_.StepProgress();
  ui_.ShowStatus(setup::cFinished);
  support::SetupLog("Starting services");
  bool allUp = services_.CheckStartedServices();
  if (state_.IsUpgrade && support::ServiceMode) RestoreStartTypes();
  // Only an installation that had a configuration is converted; a new one is
  // already in the current form.
  if (state_.IsUpgrade && !previous.empty()) {
    support::SetupLog("Running upgrade procedures " + previous + " -> " + setup::kProductVersion);
    // Conversions of large data and the control module's answers take their
    // time: the window keeps answering.
    ui::RunPumping(ui_, [&] {
      upgrade::RunUpgradeTasks(config_, previous, dir, [&product](const std::string& threshold) {
        product.WriteString(kUpgradeFromValue, threshold);
      });
    });
  }
  ForgetUpgradeFrom();
  support::SetupLog("Finished\r\n");
  if (state_.OldWebMailFound)
    ui_.MessageBox(setup::cSetupRequireWebMail, "Warning",
                   ui::kOk | ui::kIconInformation | ui::kTaskModal);
  return allUp ? Outcome::Done : Outcome::ModulesDown;
}

// Before the new modules were started, everything the run changed goes back
// and the modules that ran start again. Past that point the modules are not
// started again over files that may be half converted: running setup again
// completes the installation.
Outcome TInstallRun::Abort(Outcome outcome) {
  if (journal_.Active()) {
    const bool restored = RestorePreviousInstallation(journal_, services_, state_, ui_);
    extracting_ = false;
    // What could not be undone stays, with the journal, for the next setup.
    return restored ? outcome : Outcome::Fatal;
  }
  if (state_.IsUpgrade && support::ServiceMode) RestoreStartTypes();
  if (support::ServiceMode) services_.RestoreFailureActions();
  if (extracting_ && deployment_.RetireReplaced()) journal_.CleanUp();
  extracting_ = false;
  return outcome;
}

// What the run may change of the services, and which modules run, before
// anything is stopped.
void TInstallRun::JournalServices() {
  std::vector<int> running;
  for (int index = 0; index < support::kModuleCount; ++index) {
    if (support::ServiceMode) journal_.SavingService(support::kServerModules[index].ServiceName);
    uint32_t state = 0;
    if (services_.QueryServerState(index, state) &&
        (!support::ServiceMode || state == platform::kServiceRunning))
      running.push_back(index);
  }
  journal_.Running(running);
}

void TInstallRun::SaveStartTypes() {
  for (int index = 0; index < support::kModuleCount; ++index) {
    const char* name = support::kServerModules[index].ServiceName;
    int type = services_.ServiceStartType(name, false, -1);
    state_.SavedStartTypes[index] = type;
    // A disabled service could not be started after the copy.
    if (type == static_cast<int>(platform::kStartDisabled))
      services_.ServiceStartType(name, true, platform::kStartAutomatic);
  }
}

void TInstallRun::RestoreStartTypes() {
  const setup::ComponentFlags& c = state_.Components;
  const bool deselected[support::kModuleCount] = {
      c.NoInstallMail, c.NoInstallMail, c.NoInstallControl, c.NoInstallIM, c.NoInstallCalendar};
  for (int index = 0; index < support::kModuleCount; ++index)
    if (!deselected[index])
      services_.ServiceStartType(support::kServerModules[index].ServiceName, true,
                                 state_.SavedStartTypes[index]);
}

void TInstallRun::LoadConfiguration() {
  config_.Dirs.ConfigDir = support::ShortString(state_.InstallDir + "config\\");
  config_.LoadServerConfig(false, false);
}

void TInstallRun::SetServerFolders() {
  const std::string& dir = state_.InstallDir;
  config_.Settings.SetStr(settings::kTempDir, settings::kDirSize, dir + "temp\\");
  config_.Settings.SetStr(settings::kMailDir, settings::kDirSize, dir + "mail\\");
  config_.Settings.SetStr(settings::kLogsDir, settings::kDirSize, dir + "logs\\");
}

// A new server: the demo configuration with this machine's folders, name
// servers and footer, and demo accounts that expire.
void TInstallRun::PrepareNewServer() {
  const std::string configDir = state_.InstallDir + "config\\";
  demoCreated_ = true;
  support::SetupLog("Creating demo accounts");
  archive::ArchiveStatus status;
  archive::ExtractArchive(state_.ExtractDir + "demo.dat", configDir, status, true, "", "", "");
  LoadConfiguration();
  config_.Settings.SetDouble(settings::kCreationDate, static_cast<int>(platform::Now()));
  config_.Settings.SetByte(settings::kFormatMarker, 1);
  SetServerFolders();

  std::string servers;
  for (const std::string& server : platform::DnsServers()) {
    if (!servers.empty()) servers += ';';
    servers += server.substr(0, kDnsEntryMax);
  }
  if (!servers.empty())
    config_.Settings.SetStr(settings::kDnsServers, settings::kAddressListSize,
                            servers.substr(0, kDnsListMax));

  if (!state_.FooterText.empty()) {
    support::SaveStringToFile("\r\nfootervalue.txt\r\n\r\n\r\n10\r\n", configDir + "tags.dat",
                              false, false);
    support::SaveStringToFile(state_.FooterText, configDir + "footervalue.txt", false, false);
    config_.Settings.SetByte(settings::kFooterSwitch, 1);
  }
  config_.SaveServerConfig(false);
  MarkDemoAccounts();
  config_.Database.ReleaseDatabase();
}

// The users of the demo domain become demo accounts for a month. All records
// are read before any is written back: no walk is open while saving.
void TInstallRun::MarkDemoAccounts() {
  if (config_.Domains.DomainCount() < 1) return;
  const std::string domain = demoDomain_ = config_.Domains.DomainName(0);
  std::vector<TFixedRecord> users;
  serverconfig::TAccountIterator walk;
  if (!config_.Accounts.OpenAccounts(domain, walk, "", false, 0)) return;
  while (!config_.Accounts.NextAccount(walk))
    if (walk.Record.Byte(account::kKind) == account::kUser) users.push_back(walk.Record);
  config_.Accounts.CloseAccounts(walk);

  const double expiry = static_cast<int>(platform::Now()) + kDemoDays;
  for (TFixedRecord& record : users) {
    record.SetByte(account::kDemoAccount, 1);
    record.SetDouble(account::kDemoExpiry, expiry);
    int index =
        config_.Accounts.FindAccount(domain, record.Str(account::kAlias, account::kAliasSize));
    config_.Accounts.SaveAccount(domain, record, index, "");
  }
}

void TInstallRun::SetInterfaceMode() {
  LoadConfiguration();
  config_.Settings.SetStr(
      settings::kConsoleProfile, settings::kConsoleProfileSize,
      state_.Mode == setup::InterfaceMode::Advanced ? "advanced.xml" : "basic.xml");
  if (!state_.IsUpgrade) SetServerFolders();
  config_.SaveServerConfig(false);
  config_.Database.ReleaseDatabase();
}

// What deselected components left behind goes; the administrator's anti-spam
// data stays, and the anti-virus engine uninstalls itself first.
void TInstallRun::RemoveDeselected() {
  const std::string& dir = state_.InstallDir;
  const setup::ComponentFlags& c = state_.Components;
  const std::pair<bool, const char*> programs[] = {{c.NoInstallMail, "smtp.exe"},
                                                   {c.NoInstallMail, "pop3.exe"},
                                                   {c.NoInstallControl, "control.exe"},
                                                   {c.NoInstallIM, "im.exe"},
                                                   {c.NoInstallCalendar, "cal.exe"}};
  for (const auto& [deselected, program] : programs)
    if (deselected) platform::DeleteFile(dir + program);
  if (c.NoInstallAV) RemoveAntivirus(dir);
  if (c.NoInstallIAS) RemoveAntispam(dir);
}

void TInstallRun::SendDemoMessage() {
  uint32_t smtp = 0;
  if (state_.Components.NoInstallMail || !services_.QueryServerState(support::kModuleSMTP, smtp) ||
      (support::ServiceMode && smtp != platform::kServiceRunning))
    return;
  if (demoDomain_.empty()) return;
  const std::string sender = "user@" + demoDomain_, recipient = "admin@" + demoDomain_;
  std::string message = "Date: " + MailDate() + "\r\nSubject: " + setup::DemoMsgSubject +
                        "\r\nFrom: " + sender + "\r\nReply-To: " + sender + "\r\nTo: " + recipient +
                        "\r\n\r\n" + setup::DemoMsg + "\r\n\r\n";
  std::string error;
  // The window keeps answering while the message goes out.
  ui::RunPumping(
      ui_, [&] { support::SendMail(error, MailServer, message, "", "", "", recipient, sender); });
}

}  // namespace engine
