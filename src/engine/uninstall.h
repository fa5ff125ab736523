// The uninstall: removes the server's services, programs, shortcuts and entry
// in the list of installed programs. The server's data (configuration, mail,
// logs), the setup program and the product key stay.
#pragma once

#include <string>
#include <vector>

#include "engine/outcome.h"
#include "product/setup_state.h"
#include "product/user_interface.h"

namespace engine {

// The anti-spam files that hold the administrator's own data; they stay when
// the anti-spam folder is removed.
inline constexpr const char* kAntispamKeptFiles[] = {"spam\\challenge.mdb",
                                                     "spam\\rules\\local.cf"};

// Deletes the folder (relative to installDir, ending in "\") with everything
// below it but the kept files (relative to installDir); folders that hold a
// kept file stay. The result: the full paths of what was to go but stayed
// (in use, or refused); kept files and the folders that hold them are not in it.
std::vector<std::string> DeleteFolderKeeping(const std::string& installDir,
                                             const std::string& folder,
                                             std::initializer_list<const char*> kept = {});

// Deletes the anti-spam folder of the installation but the administrator's
// data; what stayed, as DeleteFolderKeeping says.
std::vector<std::string> RemoveAntispam(const std::string& installDir);
// Has the anti-virus engine uninstall itself, then deletes its folder; what stayed.
std::vector<std::string> RemoveAntivirus(const std::string& installDir);

// Whether the folder of the running program (ending in "\") is the installation
// an uninstall started from it may remove: the registered installation folder
// (spelled in any case, with or without the last "\"), or with none registered
// a folder that holds config\settings.cfg.
bool IsOwnInstallation(const std::string& programFolder, const std::string& registeredDir);

class TUninstall {
 public:
  // programFolder is the folder of the running program, ending in "\".
  TUninstall(setup::TSetupState& state, ui::UserInterface& ui, std::string programFolder);

  // The whole uninstall, ended by the completion message. Fatal, with a message
  // and nothing changed, when the program's folder is not the installation
  // registered as registeredDir; Fatal also when something that was to go
  // stayed (a service, a running module, a file or folder in use), each
  // named in the setup log.
  Outcome Uninstall(const std::string& registeredDir);

 private:
  void StopModules();
  void RemoveShortcuts();
  void RemoveProgramFiles();

  setup::TSetupState& state_;
  ui::UserInterface& ui_;
  std::string dir_;
  std::vector<std::string> stayed_;  // what was to go but stayed
};

}  // namespace engine
