// Program entry of setup.exe.
#ifdef _WIN32
#include <windows.h>
#endif

#include "platform/system.h"
#include "setup/application.h"
#include "ui/headless.h"

namespace {

int RunSetup() {
  ui::HeadlessUI ui;
  setup::TSetupApplication application(ui);
  return application.Run();
}

}  // namespace

#ifdef _WIN32
int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  return RunSetup();
}
#else
int main(int argc, char** argv) {
  platform::SetCommandLineArgs(argc, argv);
  return RunSetup();
}
#endif
