#include "setup/startup.h"

#include "engine/install_run.h"
#include "engine/rollback.h"
#include "engine/uninstall.h"
#include "platform/files.h"
#include "platform/shell.h"
#include "product/destination.h"
#include "product/messages.h"
#include "product/product.h"
#include "registration/registry_migration.h"
#include "support/file_utils.h"
#include "support/log_writer.h"
#include "support/numbers.h"
#include "support/short_string.h"
#include "support/text_fields.h"
#include "support/versions.h"
#include "translations/message_table.h"
#include "xml/xml_object.h"

namespace setup {

namespace settings = serverconfig::settings;

TStartup::TStartup(TSetupState& state, ui::UserInterface& ui, serverconfig::TConfigStore& config,
                   ui::TForm& mainForm, std::string programPath)
    : state_(state),
      ui_(ui),
      config_(config),
      mainForm_(mainForm),
      programPath_(std::move(programPath)),
      programFolder_(support::FolderOfPath(programPath_)) {}

std::optional<int> TStartup::Run(const CommandLine& commandLine) {
  state_.ProductsXmlAddress.clear();
  state_.FooterText.clear();
  state_.PreviousInstallDir.clear();
  ReadProductDescription();
  state_.UpgradeFromPre827 = state_.OldWebMailFound = false;
  state_.IsUpgrade = state_.WebMailDeployed = false;
  // A run that was killed, crashed or lost power is undone before anything is
  // read; opening a web page, which may happen beside a running setup, leaves
  // its journal alone.
  const RunMode mode = commandLine.Mode;
  if (mode != RunMode::WebMailLogOn && mode != RunMode::WebAdminLogOn &&
      !engine::RecoverInterruptedRun(state_, ui_))
    return engine::ExitCodeOf(engine::Outcome::Fatal);
  registration::MigrateRegistry(false);

  if (auto end = RunSpecialMode(commandLine)) return end;

  state_.WindowCaption =
      support::ShortString(support::FillMessage(cPSetup, {cName, kProductVersion}));
  mainForm_.SetCaption(state_.WindowCaption);
  ui::TComponent& title = mainForm_.Get("WelcomeTitle");
  if (title.Caption().find("%s") != std::string::npos)
    title.SetCaption(support::FillMessage(title.Caption(), {kProductVersion}));

  // setupweb.dat is as necessary as setup.Dat: without it no installation can end well.
  for (const char* required : {kPackageArchive, "setupweb.dat"}) {
    if (!platform::FileExists(programFolder_ + required)) {
      ui_.MessageBox(cSetupError, cError, ui::kOk | ui::kIconError | ui::kTaskModal);
      support::SetupLog(std::string("Error: Setup aborted - ") + cSetupError + " " + required);
      return engine::ExitCodeOf(engine::Outcome::Fatal);
    }
  }
  if (commandLine.Mode != RunMode::Silent && !commandLine.Unattended.VerySilent &&
      ui_.MessageBox(support::FillMessage(cInstallQ, {cName + " " + kProductVersion}),
                     support::FillMessage(cSetup, {cName}),
                     ui::kYesNo | ui::kIconQuestion | ui::kTaskModal) != ui::kIdYes)
    return 0;

  ReadPreviousVersion();
  if (platform::FileExists(programFolder_ + kLicenceText))
    mainForm_.Get("LicenseMemo").SetText(support::LoadFileToString(programFolder_ + kLicenceText));
  if (!PresetUpgrade()) PresetFresh();
  CheckWebMail();
  return std::nullopt;
}

void TStartup::ReadProductDescription() {
  support::TXMLObject info;
  if (!info.LoadFromFile(programFolder_ + kProductDescription) || info.Children().empty()) return;
  const support::TXMLObject& keys = *info.Children().front();
  state_.ProductsXmlAddress = keys.ChildText("PRODUCTSXML");
  config_.ProductPrefix = keys.ChildText("PREFIX");
  state_.FooterText = keys.ChildText("FOOTERVALUE");
  if (keys.FindChild("INTEFACEMODE")) {
    int64_t mode = support::StrToIntVal(keys.ChildText("INTEFACEMODE"));
    if (mode == 0) state_.Mode = InterfaceMode::Advanced;
    if (mode == 1) state_.Mode = InterfaceMode::Basic;
  }
}

// Only the known switches read the configuration: an unknown one has ended
// before anything was read or written.
std::optional<int> TStartup::RunSpecialMode(const CommandLine& commandLine) {
  const RunMode mode = commandLine.Mode;
  if (mode != RunMode::Uninstall && mode != RunMode::WebMailLogOn && mode != RunMode::WebAdminLogOn)
    return std::nullopt;
  config_.InitServerPaths();
  config_.LoadServerConfig(false, false);
  // The uninstall deletes db.dll: it must not stay loaded.
  config_.Database.ReleaseDatabase();
  if (mode == RunMode::Uninstall) return Uninstall(!commandLine.Unattended.VerySilent);

  const std::string url = "http://" + config_.WebAdminHost() + ":" +
                          std::to_string(config_.Settings.Word(settings::kWebAdminPort)) +
                          (mode == RunMode::WebMailLogOn ? "/mail/" : "/admin/");
  platform::ShellExecute(0, "open", url, "", "", platform::kShowNormal);
  return 0;
}

std::optional<int> TStartup::Uninstall(bool ask) {
  if (ask && ui_.MessageBox(cUnInstallQ, support::FillMessage(cSetup, {cName}),
                            ui::kYesNo | ui::kIconQuestion | ui::kTaskModal) != ui::kIdYes)
    return 0;
  support::TAdvancedRegistry product = ProductRegistry();
  engine::TUninstall uninstall(state_, ui_, programFolder_);
  engine::Outcome outcome = uninstall.Uninstall(product.ReadString("InstallDir"));
  support::SetupLog(outcome == engine::Outcome::Done ? "Uninstall finished"
                                                     : "Error: Uninstall not completed");
  return engine::ExitCodeOf(outcome);
}

// A run that ended before all its upgrade procedures had run left the version
// they are still due from: the one it started from, or the threshold of the
// last procedure that finished.
void TStartup::ReadPreviousVersion() {
  support::TAdvancedRegistry product = ProductRegistry();
  std::string pending = product.ReadString(engine::kUpgradeFromValue);
  state_.PreviousVersion =
      support::ShortString(pending.empty() ? product.ReadString("Version") : pending);
}

bool TStartup::PresetUpgrade() {
  support::TAdvancedRegistry product = ProductRegistry();
  ReadComponentFlags(product, state_.Components);
  const std::string dir = product.ReadString("InstallDir");
  if (dir.empty()) return false;
  state_.PreviousInstallDir = dir;
  config_.Dirs.InstallDir = support::ShortString(dir);
  SetDestination(dir);
  state_.AddDesktop = state_.AddQuickLaunch = false;
  config_.Dirs.ConfigDir = support::ShortString(dir + "config\\");
  config_.LoadServerConfig(false, false);
  config_.Database.ReleaseDatabase();
  const std::string profile =
      config_.Settings.Str(settings::kConsoleProfile, settings::kConsoleProfileSize);
  if (support::SameText(profile, "basic.xml")) state_.Mode = InterfaceMode::Basic;
  if (support::SameText(profile, "advanced.xml")) state_.Mode = InterfaceMode::Advanced;
  state_.UpgradeFromPre827 = !state_.PreviousVersion.empty() &&
                             !support::VersionAtLeast(state_.PreviousVersion, kFirstCurrentLayout);
  return true;
}

void TStartup::PresetFresh() {
  SetDestination(ProgramFilesFolder() + kDefaultDestinationLeaf);
}

void TStartup::CheckWebMail() {
  support::TAdvancedRegistry webMail(support::hkLOCAL_MACHINE, kProductKeyArea, kWebMailKeySection);
  const std::string version = webMail.ReadString("Version");
  const std::string dir = webMail.ReadString("InstallDir");
  if (!dir.empty() && support::DirExists(dir.substr(0, dir.size() - 1)) &&
      !support::VersionAtLeast(version, kOldestCurrentWebMail))
    state_.OldWebMailFound = true;
}

void TStartup::SetDestination(const std::string& dir) {
  state_.InstallDir = dir;
  mainForm_.Get("PathEdit").SetCaption(dir);
}

}  // namespace setup
