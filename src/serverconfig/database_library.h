// The binding to the server's database library (db.dll), which holds domains
// and accounts when the account storage mode is 2. The library is loaded at run
// time; every call into it is made under one lock and an exception it raises
// is swallowed, the caller then seeing the fallback result.
#pragma once

#include <mutex>
#include <string>

#include "platform/library.h"
#include "serverconfig/database_entries.h"

namespace serverconfig {

class TDatabaseLibrary {
 public:
  struct Entries {
    DBGetDomainCountFunc* GetDomainCount = nullptr;
    DBGetDomainsFunc* GetDomains = nullptr;
    DBAddDomainFunc* AddDomain = nullptr;
    DBGetDomainFunc* GetDomain = nullptr;
    DBSetDomainFunc* SetDomain = nullptr;
    DBSetDomainIPFunc* SetDomainIP = nullptr;
    DBMakeDomainPrimaryFunc* MakeDomainPrimary = nullptr;
    DBGetTotalUsersFunc* GetTotalUsers = nullptr;
    DBGetUsersFunc* GetUsers = nullptr;
    DBGetUsersIndexFunc* GetUsersIndex = nullptr;
    DBInitUsersFunc* InitUsers = nullptr;
    DBNextUserFunc* NextUser = nullptr;
    DBDoneUsersFunc* DoneUsers = nullptr;
    DBSaveUsersFunc* SaveUsers = nullptr;
    DBDoneConnectionFunc* DoneConnection = nullptr;
  };

  ~TDatabaseLibrary() { ReleaseDatabase(); }

  // Looks every entry up by name (a missing one is set empty); true when all
  // were found.
  static bool BindEntries(const platform::Library& library, Entries& entries);

  // True at once when loaded; otherwise loads installDir + "db.dll", then
  // installDir + "lib\db.dll", and looks the entries up (a missing one stays
  // empty). When neither loads, writes the error line to the server's error
  // log in logsDir and returns false.
  bool LoadDatabaseLibrary(const std::string& installDir, const std::string& logsDir);
  // Tells the library to close its connection and unloads it.
  void ReleaseDatabase();
  bool Loaded() const { return loaded_; }

  // Calls an entry; fallback when the library or the entry is missing, or the
  // call raised an exception.
  template <typename Result, typename Function, typename... Args>
  Result Call(Function* Entries::*entry, Result fallback, Args... args) {
    std::lock_guard<std::mutex> hold(lock_);
    Function* function = entries_.*entry;
    if (!loaded_ || function == nullptr) return fallback;
    try {
      return function(args...);
    } catch (...) {
      return fallback;
    }
  }
  template <typename Function, typename... Args>
  void CallVoid(Function* Entries::*entry, Args... args) {
    std::lock_guard<std::mutex> hold(lock_);
    Function* function = entries_.*entry;
    if (!loaded_ || function == nullptr) return;
    try {
      function(args...);
    } catch (...) {
    }
  }

 private:
  platform::Library library_;
  Entries entries_;
  bool loaded_ = false;
  std::mutex lock_;
};

}  // namespace serverconfig
