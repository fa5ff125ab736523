#include "serverconfig/database_library.h"

#include <cstdio>

#include "platform/system.h"
#include "serverconfig/server_log.h"

namespace serverconfig {

bool TDatabaseLibrary::LoadDatabaseLibrary(const std::string& installDir,
                                           const std::string& logsDir) {
  std::lock_guard<std::mutex> hold(lock_);
  if (loaded_) return true;
  std::string path = installDir + "db.dll";
  if (!library_.Load(path) && !library_.Load(installDir + "lib\\db.dll")) {
    uint32_t code = library_.LoadError();
    char line[1024];
    std::snprintf(line, sizeof line, "%s function %s(%s) error %d : %s", "Config", "LoadLibrary",
                  ("'" + path + "'").c_str(), static_cast<int>(code),
                  platform::SystemErrorText(code).c_str());
    WriteServerLog(logsDir, "error", line);
    return false;
  }
  BindEntries(library_, entries_);
  loaded_ = true;
  return true;
}

bool TDatabaseLibrary::BindEntries(const platform::Library& library, Entries& entries) {
  // Every lookup runs, so that each missing entry is left empty.
  int missing = 0;
  missing += !library.Bind("DBGetDomainCount", entries.GetDomainCount);
  missing += !library.Bind("DBGetDomains", entries.GetDomains);
  missing += !library.Bind("DBAddDomain", entries.AddDomain);
  missing += !library.Bind("DBGetDomain", entries.GetDomain);
  missing += !library.Bind("DBSetDomain", entries.SetDomain);
  missing += !library.Bind("DBSetDomainIP", entries.SetDomainIP);
  missing += !library.Bind("DBMakeDomainPrimary", entries.MakeDomainPrimary);
  missing += !library.Bind("DBGetTotalUsers", entries.GetTotalUsers);
  missing += !library.Bind("DBGetUsers", entries.GetUsers);
  missing += !library.Bind("DBGetUsersIndex", entries.GetUsersIndex);
  missing += !library.Bind("DBInitUsers", entries.InitUsers);
  missing += !library.Bind("DBNextUser", entries.NextUser);
  missing += !library.Bind("DBDoneUsers", entries.DoneUsers);
  missing += !library.Bind("DBSaveUsers", entries.SaveUsers);
  missing += !library.Bind("DBDoneConnection", entries.DoneConnection);
  return missing == 0;
}

void TDatabaseLibrary::ReleaseDatabase() {
  if (!loaded_) return;
  CallVoid(&Entries::DoneConnection);
  std::lock_guard<std::mutex> hold(lock_);
  loaded_ = false;
  library_.Unload();
  entries_ = Entries();
}

}  // namespace serverconfig
