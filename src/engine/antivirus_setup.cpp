#include "engine/antivirus_setup.h"

#include "platform/files.h"

namespace engine {

bool LoadAntivirusSetup(const std::string& folder, platform::Library& library) {
  std::string previous = platform::CurrentDirectory();
  platform::SetCurrentDirectory(folder);
  bool loaded = library.Load(folder + "setiface.dll");
  platform::SetCurrentDirectory(previous);
  return loaded;
}

void UninstallAntivirusEngine(const std::string& installDir) {
  platform::Library library;
  SetifaceUninstallProgram* uninstall = nullptr;
  int32_t status = 0;
  if (LoadAntivirusSetup(installDir + "avast\\setup\\", library) &&
      library.Bind("setifaceUninstallProgram", uninstall))
    uninstall(kAntivirusPartner, "", kAntivirusMode, &status);
}

}  // namespace engine
