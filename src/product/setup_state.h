// The one record of setup state: what start-up found, what the wizard chose and
// what the install run computed. It lives as long as the process.
#pragma once

#include <string>

#include "product/server_modules.h"
#include "support/advanced_registry.h"

namespace setup {

// True means the component is not installed.
struct ComponentFlags {
  bool NoInstallMail = false;      // SMTP and POP3/IMAP services
  bool NoInstallControl = false;   // control, web and FTP service
  bool NoInstallIAS = false;       // anti-spam
  bool NoInstallAV = false;        // anti-virus
  bool NoInstallCalendar = false;  // groupware
  bool NoInstallIM = false;        // instant messaging and VoIP
};

enum class InterfaceMode { Advanced, Basic };

struct TSetupState {
  std::string InstallDir;
  std::string PreviousVersion;     // short; empty when nothing is registered
  std::string PreviousInstallDir;  // cleared once service control has acted on it
  bool UpgradeFromPre827 = false;
  bool OldWebMailFound = false;
  std::string ProductsXmlAddress;
  std::string FooterText;
  std::string WindowCaption;  // short
  int CurrentPage = 0;        // the welcome page
  ComponentFlags Components;
  // Shortcut choices: ticked on a fresh install.
  bool AddDesktop = true;
  bool AddQuickLaunch = true;
  InterfaceMode Mode = InterfaceMode::Advanced;
  // Finishing choices.
  bool RunConfig = false;
  bool RunTutorial = true;
  bool ShowTutorial = true;
  bool IsUpgrade = false;
  std::string ExtractDir;  // short
  bool WebMailDeployed = false;
  // Service control, per module of the module table.
  bool MustCreate[support::kModuleCount] = {};  // the service has to be created
  // A start type to write back after the run; -1 leaves it unchanged.
  int SavedStartTypes[support::kModuleCount] = {-1, -1, -1, -1, -1};
};

// The product key's registry component, as the main window carries it once
// start-up has pointed it at the product key.
support::TAdvancedRegistry ProductRegistry();

// Reads the six flags in the order IM, Calendar, AV, IAS, Control, Mail. A key
// that cannot be read stops the pass; flags not yet read keep their values.
void ReadComponentFlags(support::TAdvancedRegistry& registry, ComponentFlags& flags);
// Writes them in the order IM, Calendar, AV, IAS, Mail, Control. A failed write
// stops the pass; nothing is reported.
void WriteComponentFlags(support::TAdvancedRegistry& registry, const ComponentFlags& flags);

}  // namespace setup
