/* A program that only records how it was started: it appends its command line
 * and its current directory, separated by a tab, as one line to "<program>.log"
 * beside itself (config.exe.log), and exits with 0. Built as config.exe and
 * copied as dnsquery.exe: the programs setup may start after the installation. */
#include <windows.h>

int main(void) {
  char path[MAX_PATH + 8], current[MAX_PATH];
  DWORD length = GetModuleFileNameA(NULL, path, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return 0;
  lstrcpyA(path + length, ".log");
  if (!GetCurrentDirectoryA(MAX_PATH, current)) current[0] = '\0';

  HANDLE file = CreateFileA(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL,
                            OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
  if (file == INVALID_HANDLE_VALUE) return 0;
  const char* command = GetCommandLineA();
  DWORD written;
  WriteFile(file, command, (DWORD)lstrlenA(command), &written, NULL);
  WriteFile(file, "\t", 1, &written, NULL);
  WriteFile(file, current, (DWORD)lstrlenA(current), &written, NULL);
  WriteFile(file, "\r\n", 2, &written, NULL);
  CloseHandle(file);
  return 0;
}
