// Stand-in for the anti-virus engine's setup library (setiface.dll; setiface.so
// natively), so that deployment's calls can run end to end and be checked.
//
// Each entry appends one line to "setiface.log" in the library's own folder:
// the entry's name, every argument and the current directory, separated by
// tabs ("(null)" for a missing text); it sets the status to 0 and returns 0.
// setifaceInstallProgram also installs as the engine would, as far as setup
// sees it: it creates <destination>\setup\ and copies this library there as
// setiface.dll, and the installer file given beside it.
//
// Natively "\" is read as "/" and a drive letter is mapped as the native file
// layer maps it (see SystemPath).
#ifdef _WIN32
#include <windows.h>
#define STANDIN_EXPORT __declspec(dllexport)
#define SEPARATOR '\\'
#else
#include <dlfcn.h>
#include <sys/stat.h>
#include <unistd.h>
#define STANDIN_EXPORT __attribute__((visibility("default")))
#define SEPARATOR '/'
#endif

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <type_traits>

#include "engine/antivirus_setup.h"

extern "C" {
STANDIN_EXPORT int32_t setifaceInstallProgram(const char* product, const char* installer,
                                              const char* destination, const char* options,
                                              int32_t mode, int32_t* status);
STANDIN_EXPORT int32_t setifaceUpdateFiles(const char* product, const char* options, int32_t mode,
                                           int32_t* status);
STANDIN_EXPORT int32_t setifaceUninstallProgram(const char* product, const char* path, int32_t mode,
                                                int32_t* status);
}

// The entries are those the product calls.
static_assert(std::is_same_v<decltype(setifaceInstallProgram), engine::SetifaceInstallProgram>);
static_assert(std::is_same_v<decltype(setifaceUpdateFiles), engine::SetifaceUpdateFiles>);
static_assert(std::is_same_v<decltype(setifaceUninstallProgram), engine::SetifaceUninstallProgram>);

namespace {

constexpr size_t kPathSize = 4096;

// The full path of this library; false when the system does not tell.
bool LibraryPath(char (&out)[kPathSize]) {
#ifdef _WIN32
  HMODULE self = nullptr;
  if (!GetModuleHandleExA(
          GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
          reinterpret_cast<LPCSTR>(&setifaceInstallProgram), &self))
    return false;
  DWORD length = GetModuleFileNameA(self, out, kPathSize);
  return length > 0 && length < kPathSize;
#else
  Dl_info info;
  if (!dladdr(reinterpret_cast<void*>(&setifaceInstallProgram), &info) || !info.dli_fname ||
      std::strlen(info.dli_fname) >= kPathSize)
    return false;
  std::strcpy(out, info.dli_fname);
  return true;
#endif
}

// Formats into out; false when the text does not fit.
template <typename... Args>
bool Format(char (&out)[kPathSize], const char* format, Args... args) {
  int length = std::snprintf(out, kPathSize, format, args...);
  return length >= 0 && static_cast<size_t>(length) < kPathSize;
}

// A path as this system takes it. Natively a drive letter X: is the folder x
// below the drive root, which the caller exports as ORVIK_DRIVE_ROOT (the file
// layer's default root otherwise).
bool SystemPath(const char* path, char (&out)[kPathSize]) {
  bool fits = Format(out, "%s", path);
#ifndef _WIN32
  if (std::isalpha(static_cast<unsigned char>(path[0])) && path[1] == ':') {
    const char* root = std::getenv("ORVIK_DRIVE_ROOT");
    const char* tmp = std::getenv("TMPDIR");
    fits = root && *root ? Format(out, "%s/%c%s", root, std::tolower(path[0]), path + 2)
                         : Format(out, "%s/orvik-drives/%c%s", tmp && *tmp ? tmp : "/tmp",
                                  std::tolower(path[0]), path + 2);
  }
#endif
  for (char* c = out; *c; ++c)
    if (*c == '\\' || *c == '/') *c = SEPARATOR;
  return fits;
}

const char* Text(const char* text) {
  return text ? text : "(null)";
}

void Record(const char* entry, const char* const* texts, size_t count, int32_t mode) {
  char path[kPathSize], current[kPathSize] = "";
  if (!LibraryPath(path)) return;
  char* name = std::strrchr(path, SEPARATOR);
  if (!name || std::strlen(path) + 20 > kPathSize) return;
  std::strcpy(name + 1, "setiface.log");
#ifdef _WIN32
  GetCurrentDirectoryA(kPathSize, current);
#else
  if (!getcwd(current, kPathSize)) current[0] = '\0';
#endif
  FILE* log = std::fopen(path, "ab");
  if (!log) return;
  std::fputs(entry, log);
  for (size_t i = 0; i < count; ++i) std::fprintf(log, "\t%s", Text(texts[i]));
  std::fprintf(log, "\t%d\t%s\n", static_cast<int>(mode), current);
  std::fclose(log);
}

void MakeFolder(const char* path) {
#ifdef _WIN32
  CreateDirectoryA(path, nullptr);
#else
  mkdir(path, 0755);
#endif
}

void CopyTo(const char* from, const char* to) {
  FILE* in = std::fopen(from, "rb");
  if (!in) return;
  FILE* out = std::fopen(to, "wb");
  if (out) {
    char buffer[16384];
    size_t got;
    while ((got = std::fread(buffer, 1, sizeof buffer, in)) > 0) std::fwrite(buffer, 1, got, out);
    std::fclose(out);
  }
  std::fclose(in);
}

int32_t Done(int32_t* status) {
  if (status) *status = 0;
  return 0;
}

}  // namespace

int32_t setifaceInstallProgram(const char* product, const char* installer, const char* destination,
                               const char* options, int32_t mode, int32_t* status) {
  const char* texts[] = {product, installer, destination, options};
  Record("setifaceInstallProgram", texts, 4, mode);
  char self[kPathSize], target[kPathSize], setup[kPathSize], file[kPathSize];
  if (destination && LibraryPath(self) && SystemPath(destination, target) &&
      Format(setup, "%s%csetup%c", target, SEPARATOR, SEPARATOR)) {
    MakeFolder(target);
    MakeFolder(setup);
    if (Format(file, "%ssetiface.dll", setup)) CopyTo(self, file);
    char source[kPathSize];
    if (installer && SystemPath(installer, source)) {
      const char* name = std::strrchr(source, SEPARATOR);
      if (Format(file, "%s%s", setup, name ? name + 1 : source)) CopyTo(source, file);
    }
  }
  return Done(status);
}

int32_t setifaceUpdateFiles(const char* product, const char* options, int32_t mode,
                            int32_t* status) {
  const char* texts[] = {product, options};
  Record("setifaceUpdateFiles", texts, 2, mode);
  return Done(status);
}

int32_t setifaceUninstallProgram(const char* product, const char* path, int32_t mode,
                                 int32_t* status) {
  const char* texts[] = {product, path};
  Record("setifaceUninstallProgram", texts, 2, mode);
  return Done(status);
}
