// Reads a shell link back through the shell's own link object (Windows only).
#pragma once
#ifdef _WIN32

#include <string>

#include "platform/codepage.h"
#include "platform/win32/windows_api.h"

namespace testing_support {

struct LinkFields {
  std::string target, arguments, iconFile;
  int iconIndex = -1;
};

// Loads a link into the shell's link object and reads its fields.
inline bool ReadLink(const std::string& linkFile, LinkFields& fields) {
  const HRESULT init = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  IShellLinkA* link = nullptr;
  IPersistFile* file = nullptr;
  bool ok = SUCCEEDED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER,
                                       IID_IShellLinkA, reinterpret_cast<void**>(&link))) &&
            SUCCEEDED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file)));
  if (ok) {
    const std::u16string wide = platform::AnsiToWide(linkFile);
    char target[MAX_PATH] = {}, arguments[MAX_PATH] = {}, icon[MAX_PATH] = {};
    ok = SUCCEEDED(file->Load(reinterpret_cast<LPCOLESTR>(wide.c_str()), STGM_READ)) &&
         SUCCEEDED(link->GetPath(target, MAX_PATH, nullptr, SLGP_RAWPATH)) &&
         SUCCEEDED(link->GetArguments(arguments, MAX_PATH)) &&
         SUCCEEDED(link->GetIconLocation(icon, MAX_PATH, &fields.iconIndex));
    fields.target = target;
    fields.arguments = arguments;
    fields.iconFile = icon;
  }
  if (file) file->Release();
  if (link) link->Release();
  if (SUCCEEDED(init)) CoUninitialize();
  return ok;
}

}  // namespace testing_support

#endif
