// Start-up: what the setup learns before it installs. It reads the product
// description beside the program, runs the command line's special modes
// (uninstall, web log-on), checks that the package is there, asks whether to
// install, and presets the choices from an existing installation or for a new
// one.
#pragma once

#include <optional>
#include <string>

#include "product/setup_state.h"
#include "product/user_interface.h"
#include "serverconfig/config_store.h"
#include "setup/command_line.h"
#include "ui/form.h"

namespace setup {

// The oldest web mail client that needs no upgrade, and the version from which
// on the configuration needs no conversion of 8.2.7.
constexpr char kOldestCurrentWebMail[] = "4.2.2";
constexpr char kFirstCurrentLayout[] = "8.2.7";

class TStartup {
 public:
  // mainForm carries the destination, the welcome title and the licence.
  TStartup(TSetupState& state, ui::UserInterface& ui, serverconfig::TConfigStore& config,
           ui::TForm& mainForm, std::string programPath);

  // Every step after the translation. The exit code when the process ends
  // here; none when the installation goes on.
  std::optional<int> Run(const CommandLine& commandLine);

 private:
  void ReadProductDescription();
  std::optional<int> RunSpecialMode(const CommandLine& commandLine);
  std::optional<int> Uninstall(bool ask);
  void ReadPreviousVersion();
  bool PresetUpgrade();
  void PresetFresh();
  void CheckWebMail();
  void SetDestination(const std::string& dir);

  TSetupState& state_;
  ui::UserInterface& ui_;
  serverconfig::TConfigStore& config_;
  ui::TForm& mainForm_;
  std::string programPath_;
  std::string programFolder_;  // with a trailing "\"
};

}  // namespace setup
