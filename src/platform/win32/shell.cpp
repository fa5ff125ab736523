// The shell: its execute operation, shell links and special folders.
#include "platform/shell.h"

#include "platform/codepage.h"
#include "platform/win32/windows_api.h"

namespace platform {
namespace {

// COM for the calling thread for one call. A thread already in another apartment
// keeps it (RPC_E_CHANGED_MODE) and COM still works there; only a successful
// initialisation, S_FALSE included, is balanced by CoUninitialize.
class ComScope {
 public:
  ComScope() : result_(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)) {}
  ~ComScope() {
    if (SUCCEEDED(result_)) CoUninitialize();
  }
  ComScope(const ComScope&) = delete;
  ComScope& operator=(const ComScope&) = delete;

 private:
  HRESULT result_;
};

// Saves the link through its file interface, under the wide form of the name.
bool SaveLink(IShellLinkA* link, const std::string& linkFile) {
  IPersistFile* file = nullptr;
  if (FAILED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file)))) return false;
  const std::u16string wide = AnsiToWide(linkFile);
  const bool saved = SUCCEEDED(file->Save(reinterpret_cast<LPCOLESTR>(wide.c_str()), TRUE));
  file->Release();
  return saved;
}

}  // namespace

bool ShellExecute(uintptr_t window, const std::string& verb, const std::string& file,
                  const std::string& parameters, const std::string& directory, int showCommand) {
  using win32::NullIfEmpty;
  HINSTANCE result = ShellExecuteA(reinterpret_cast<HWND>(window), NullIfEmpty(verb), file.c_str(),
                                   NullIfEmpty(parameters), NullIfEmpty(directory), showCommand);
  // Values up to 32 are error codes.
  return reinterpret_cast<intptr_t>(result) > 32;
}

bool CreateShellLink(const std::string& target, const std::string& linkFile,
                     const std::string& arguments, int iconIndex) {
  ComScope com;
  IShellLinkA* link = nullptr;
  if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA,
                              reinterpret_cast<void**>(&link))))
    return false;
  const bool made =
      SUCCEEDED(link->SetPath(target.c_str())) &&
      (iconIndex == 0 || SUCCEEDED(link->SetIconLocation(target.c_str(), iconIndex))) &&
      (arguments.empty() || SUCCEEDED(link->SetArguments(arguments.c_str()))) &&
      SaveLink(link, linkFile);
  link->Release();
  return made;
}

std::string SpecialFolderPath(SpecialFolder folder) {
  int id = CSIDL_DESKTOP;
  if (folder == SpecialFolder::CommonPrograms) id = CSIDL_COMMON_PROGRAMS;
  if (folder == SpecialFolder::Programs) id = CSIDL_PROGRAMS;
  if (folder == SpecialFolder::Profile) id = CSIDL_PROFILE;
  if (folder == SpecialFolder::CommonAppData) id = CSIDL_COMMON_APPDATA;
  LPITEMIDLIST location = nullptr;
  if (FAILED(SHGetSpecialFolderLocation(nullptr, id, &location)) || !location) return {};
  char path[MAX_PATH] = {};
  const bool named = SHGetPathFromIDListA(location, path) != 0;
  CoTaskMemFree(location);
  return named ? path : "";
}

}  // namespace platform
