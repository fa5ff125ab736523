// Program entry of setup.exe. A GUI program on Windows too: the mingw-w64 run time
// starts main in either subsystem.
#include "platform/library.h"
#include "platform/system.h"
#include "setup/application.h"

int main([[maybe_unused]] int argc, [[maybe_unused]] char** argv) {
  // Before anything can load a DLL by name: setup runs elevated, often from a
  // download folder where anyone may have put a DLL.
  platform::LimitLibrarySearchToSystem();
#ifndef _WIN32
  // Windows splits its own command line by the setup's rules instead.
  platform::SetCommandLineArgs(argc, argv);
#endif
  setup::TSetupApplication application;
  return application.Run();
}
