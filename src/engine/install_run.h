// The install run: turns the choices of the wizard (or of the command line)
// into an installed or upgraded server. It checks the package and the
// destination, then journals every change it makes until the new modules have
// started: it unpacks the package into a staging folder, stops the modules,
// moves the package into place, prepares a new server's configuration and
// demo data, registers the installation and installs and starts the services.
// A run that ends before that puts the previous installation back. The upgrade
// procedures follow. Every line it writes goes to the setup log.
#pragma once

#include <string>
#include <vector>

#include "engine/file_deployment.h"
#include "engine/install_journal.h"
#include "engine/outcome.h"
#include "engine/service_control.h"
#include "product/setup_state.h"
#include "product/user_interface.h"
#include "serverconfig/config_store.h"

namespace engine {

// The product key value that holds the version an upgrade started from until
// its upgrade procedures have run, and then the threshold of the last one that
// finished, so that a run that ended early leaves to the next one exactly the
// procedures it had not finished.
inline constexpr char kUpgradeFromValue[] = "UpgradeFromVersion";

// Free space the destination drive must have beyond the unpacked package.
inline constexpr int64_t kSpaceMargin = 16 << 20;

class TInstallRun {
 public:
  // setupProgram is the running setup program; the package lies beside it.
  TInstallRun(setup::TSetupState& state, ui::UserInterface& ui, serverconfig::TConfigStore& config,
              std::string setupProgram);

  // The whole run into destination. Done, or ModulesDown when a selected
  // module is not running at the end; Fatal or Cancelled when it ended early,
  // with the previous installation put back when it ended before the new
  // modules were started.
  Outcome Run(const std::string& destination);

  // Where the demonstration message is delivered: the server just installed.
  std::string MailServer = "127.0.0.1";

 private:
  Outcome Verify();
  Outcome VerifyPackage(int64_t& unpacked);
  Outcome Stage();
  Outcome Steps();
  Outcome Abort(Outcome outcome);
  Outcome Refuse(const std::string& text);
  void JournalServices();
  void SaveStartTypes();
  void RestoreStartTypes();
  void LoadConfiguration();
  void SetServerFolders();
  void PrepareNewServer();
  void MarkDemoAccounts();
  void SetInterfaceMode();
  void RemoveDeselected();
  void SendDemoMessage();

  setup::TSetupState& state_;
  ui::UserInterface& ui_;
  serverconfig::TConfigStore& config_;
  std::string setupProgram_;
  std::string setupFolder_;  // with a trailing "\"
  TInstallJournal journal_;
  TServiceControl services_;
  TFileDeployment deployment_;
  bool demoCreated_ = false;
  std::string demoDomain_;     // the domain of the demo data
  uint64_t packageBytes_ = 0;  // unpacked, of the archives that go straight into place
  bool extracting_ = false;    // ExtractDir, the staging folder, may exist and is ours to delete
  std::vector<std::string> accessLines_;  // what protecting the folder changed, for the log
};

}  // namespace engine
