// Program entry of setup.exe.
#ifdef _WIN32
#include <windows.h>
#endif

#include "platform/system.h"

#ifdef _WIN32
int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) { return 0; }
#else
int main(int argc, char** argv) {
  platform::SetCommandLineArgs(argc, argv);
  return 0;
}
#endif
