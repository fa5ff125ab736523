/* Stand-in for the server's COM libraries (api.dll, kestruncom.dll). Each
 * call of DllRegisterServer or DllUnregisterServer, and each load and unload,
 * appends one line to "<library>.calls" beside the library, so that tests see
 * what was called, how often and in which order. When "<library>.fail" exists
 * the entries return E_FAIL instead of S_OK. Built without the entries
 * (STANDIN_NO_ENTRIES) it stands for a library that is no COM server. */
#ifdef _WIN32
#include <windows.h>
#define STANDIN_EXPORT __declspec(dllexport)
typedef HRESULT Result;
#else
#define _GNU_SOURCE
#include <dlfcn.h>
#include <fcntl.h>
#include <unistd.h>
#define STANDIN_EXPORT __attribute__((visibility("default")))
typedef int Result;
#define S_OK ((Result)0)
#define E_FAIL ((Result)0x80004005)
#endif

#include <string.h>

/* The path of this library plus a suffix; false when it does not fit. */
static int BesideLibrary(const char* suffix, char* out, size_t size) {
  size_t length, extra = strlen(suffix);
#ifdef _WIN32
  HMODULE self = NULL;
  if (!GetModuleHandleExA(
          GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
          (LPCSTR)(void*)&BesideLibrary, &self))
    return 0;
  length = GetModuleFileNameA(self, out, (DWORD)size);
  if (length == 0 || length >= size) return 0;
#else
  Dl_info info;
  if (!dladdr((void*)&BesideLibrary, &info) || !info.dli_fname) return 0;
  length = strlen(info.dli_fname);
  if (length >= size) return 0;
  memcpy(out, info.dli_fname, length + 1);
#endif
  if (length + extra >= size) return 0;
  memcpy(out + length, suffix, extra + 1);
  return 1;
}

static void Record(const char* line) {
  char path[4096];
  if (!BesideLibrary(".calls", path, sizeof path)) return;
#ifdef _WIN32
  HANDLE file = CreateFileA(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL,
                            OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
  if (file == INVALID_HANDLE_VALUE) return;
  DWORD written;
  WriteFile(file, line, (DWORD)strlen(line), &written, NULL);
  WriteFile(file, "\n", 1, &written, NULL);
  CloseHandle(file);
#else
  int file = open(path, O_WRONLY | O_APPEND | O_CREAT, 0644);
  if (file < 0) return;
  if (write(file, line, strlen(line)) < 0 || write(file, "\n", 1) < 0) {
    /* nothing to do: the test sees the line missing */
  }
  close(file);
#endif
}

#ifndef STANDIN_NO_ENTRIES
static Result Answer(void) {
  char path[4096];
  if (!BesideLibrary(".fail", path, sizeof path)) return E_FAIL;
#ifdef _WIN32
  return GetFileAttributesA(path) == INVALID_FILE_ATTRIBUTES ? S_OK : E_FAIL;
#else
  return access(path, F_OK) != 0 ? S_OK : E_FAIL;
#endif
}

STANDIN_EXPORT Result DllRegisterServer(void) {
  Record("DllRegisterServer");
  return Answer();
}

STANDIN_EXPORT Result DllUnregisterServer(void) {
  Record("DllUnregisterServer");
  return Answer();
}
#endif

#ifdef _WIN32
BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
  (void)instance;
  if (reason == DLL_PROCESS_ATTACH) Record("load");
  /* Only an unload by FreeLibrary: at process end the library is not released. */
  if (reason == DLL_PROCESS_DETACH && reserved == NULL) Record("unload");
  return TRUE;
}
#else
__attribute__((constructor)) static void Loaded(void) {
  Record("load");
}
__attribute__((destructor)) static void Unloaded(void) {
  Record("unload");
}
#endif
