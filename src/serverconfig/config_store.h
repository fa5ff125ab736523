// The server's configuration as this program shares it with the server: the
// installation's directories, the settings record (settings.cfg) and the files
// that hang off it, the domains, the accounts and the database library. One
// object serves the whole process; its lock is the configuration lock.
#pragma once

#include <array>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "serverconfig/account_store.h"
#include "serverconfig/database_library.h"
#include "serverconfig/domain_list.h"
#include "serverconfig/fixed_record.h"
#include "serverconfig/settings_defaults.h"
#include "serverconfig/settings_fields.h"

namespace serverconfig {

// Directories end in "\".
struct ServerDirectories {
  std::string InstallDir, ConfigDir, HtmlDir;
  std::string TempDir, MailDir, LogsDir;
  std::string OutgoingQueue, IncomingQueue, RetryQueue;
};

// The positional lines of path.dat, comments stripped and trimmed ("" = unset).
// Line 0 names the configuration directory.
constexpr std::size_t kPathLines = 13, kConfigDirLine = 0;
using PathLines = std::array<std::string, kPathLines>;
PathLines ParsePathLines(const std::string& text);

// servertitle.dat: the title and its variables.
struct ServerTitle {
  std::string Title = "Orvik 8.9.1";
  std::vector<std::pair<std::string, std::string>> Variables;
};
void ParseServerTitle(const std::string& text, ServerTitle& title);

// bind.dat: the outgoing bind address and the IPv6 bind list (unchanged when
// the text names none).
void ParseBindFile(const std::string& text, std::string& outgoingBind, std::string& ipv6Bind);

class TConfigStore {
 public:
  TConfigStore();
  ~TConfigStore();
  TConfigStore(const TConfigStore&) = delete;
  TConfigStore& operator=(const TConfigStore&) = delete;

  // Start-up: the installation directory (the program's directory) unless
  // already set, the directories, path.dat, the
  // product prefix of info.xml and the title of servertitle.dat.
  void InitServerPaths();
  // Reads settings.cfg and what derives from it; unless settingsOnly also the
  // domains, the processor affinity and the record caches. True when the file
  // was read, otherwise !keepResult.
  bool LoadServerConfig(bool keepResult, bool settingsOnly);
  // Writes settings.cfg and, unless settingsOnly, domains.cfg. True when
  // settings.cfg was written. A settings.cfg that exists but could not be read
  // is never overwritten.
  bool SaveServerConfig(bool settingsOnly);
  // The last load found something at settings.cfg's place that it could not
  // read (a file held by another process, a folder): the values are defaults
  // and nothing based on them should be written.
  bool SettingsUnreadable() const { return settingsUnreadable_; }
  // The first entry of the local address list, or "localhost".
  std::string WebAdminHost() const;

  // Database storage in use: mode 2 and the library loaded.
  bool UsesDatabase() const;
  // Loads the database library from the installation directory when the
  // storage mode asks for it; true when database storage is then in use.
  bool BindDatabase();
  // Where domains and accounts are kept. In storage mode 2 without the
  // library they are nowhere: operations do nothing and report failure.
  enum class Storage { Files, Database, Unavailable };
  Storage AccountStorage();
  // The audit line of a configuration change, when the settings ask for it.
  void Audit(const std::string& who, bool isNew, const std::string& name);

  TFixedRecord Settings{settings::kRecordSize};
  ServerDirectories Dirs;
  PathLines PathOverrides;
  std::string ProductPrefix;
  ServerTitle Title;
  std::string OutgoingBind, IPv6Bind;
  std::vector<std::string> ArchiveDomains;
  bool HasSubdomainsFile = false;
  HeldSettings Held;

  TDomainList Domains{*this};
  TAccountStore Accounts{*this};
  TDatabaseLibrary Database;
  std::recursive_mutex Lock;  // the configuration lock

 private:
  void DeriveDirectories();
  void ApplyPathFile();
  void ReadLoadedFiles();

  bool settingsUnreadable_ = false;
};

}  // namespace serverconfig
