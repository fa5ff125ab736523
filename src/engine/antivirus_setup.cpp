#include "engine/antivirus_setup.h"

#include "platform/files.h"
#include "platform/folder_handle.h"
#include "platform/system.h"
#include "support/log_writer.h"

namespace engine {

bool LoadAntivirusSetup(const std::string& folder, const char* entry, platform::Library& library) {
  std::string path = folder + "setiface.dll";
  // Held while the library loads: a link on the way would load whatever it
  // points to, as the administrator.
  platform::FolderHandle held;
  if (!held.Open(folder)) {
    support::SetupLog("Warning: \"" + path + "\" could not be loaded - \"" + folder +
                      "\" is not a plain folder, reached without a link");
    return false;
  }
  std::string previous = platform::CurrentDirectory();
  platform::SetCurrentDirectory(folder);
  bool loaded = library.Load(path);
  platform::SetCurrentDirectory(previous);
  if (!loaded) {
    support::SetupLog("Warning: \"" + path + "\" could not be loaded - " +
                      platform::SystemErrorText(library.LoadError()));
    return false;
  }
  if (library.Find(entry)) return true;
  support::SetupLog("Warning: \"" + path + "\" has no entry " + entry);
  return false;
}

void UninstallAntivirusEngine(const std::string& installDir) {
  std::string folder = installDir + "avast\\setup\\";
  if (!platform::FileExists(folder + "setiface.dll")) return;  // no engine was installed
  platform::Library library;
  SetifaceUninstallProgram* uninstall = nullptr;
  int32_t status = 0;
  if (BindAntivirusSetup(folder, "setifaceUninstallProgram", library, uninstall))
    uninstall(kAntivirusPartner, "", kAntivirusMode, &status);
}

}  // namespace engine
