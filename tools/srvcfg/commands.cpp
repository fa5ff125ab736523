// The commands: each loads the configuration of the directory as the setup does, reads or
// changes it through the configuration store, and releases the database library at the end.
#include "commands.h"

#include <cstdio>
#include <string>
#include <vector>

#include "platform/system.h"
#include "serverconfig/config_store.h"
#include "serverconfig/name_rules.h"
#include "serverconfig/new_objects.h"
#include "support/file_utils.h"

namespace srvcfg {
namespace {

using serverconfig::TConfigStore;
namespace settings = serverconfig::settings;

constexpr char kWho[] = "srvcfg";  // the audit log's name for the changes made here

// The parent of a directory that ends in "\": the path cut before its last name. A "." or ".."
// there is no name to cut, and a single relative name has the current directory as parent.
std::string ParentDirectory(const std::string& dir) {
  const std::size_t cut = dir.find_last_of("\\/:", dir.size() - 2);
  const std::size_t start = cut == std::string::npos ? 0 : cut + 1;
  const std::string leaf = dir.substr(start, dir.size() - 1 - start);
  if (leaf == "." || leaf == "..") return dir + "..\\";
  return cut == std::string::npos ? ".\\" : dir.substr(0, cut + 1);
}

// The configuration of one directory, set up as the setup sets up an installation's: the
// installation directory is the configuration directory's parent, whose path.dat may name
// another configuration directory; settings the file does not hold are those the setup starts
// from. Loaded is false when settings.cfg is there but could not be read: nothing may then be
// written from the defaults that stand in for it.
class LoadedConfig {
 public:
  explicit LoadedConfig(const std::string& configDir) : dir_(support::NormalizeDir(configDir)) {
    store_.Dirs.InstallDir = ParentDirectory(dir_);
    store_.InitServerPaths();
    if (store_.PathOverrides[serverconfig::kConfigDirLine].empty()) store_.Dirs.ConfigDir = dir_;
    loaded_ = store_.LoadServerConfig(false, false) && !store_.SettingsUnreadable();
  }
  ~LoadedConfig() { store_.Database.ReleaseDatabase(); }
  LoadedConfig(const LoadedConfig&) = delete;
  LoadedConfig& operator=(const LoadedConfig&) = delete;

  bool Loaded() const { return loaded_; }
  TConfigStore& Store() { return store_; }
  int FailedToLoad() const {
    return Fail(store_.Dirs.ConfigDir +
                "settings.cfg exists but could not be read; nothing changed");
  }
  int FailedToSave() const {
    return Fail("the configuration in " + store_.Dirs.ConfigDir + " could not be saved");
  }

 private:
  std::string dir_;
  TConfigStore store_;
  bool loaded_ = false;
};

// Lines on standard output, in the line ends of the system.
void WriteLines(const std::vector<std::string>& lines) {
#ifdef _WIN32
  constexpr char kLineEnd[] = "\r\n";
#else
  constexpr char kLineEnd[] = "\n";
#endif
  std::string text;
  for (const std::string& line : lines) text += line + kLineEnd;
  platform::WriteStandardOutput(text);
}

struct PortField {
  std::size_t offset;
  const char* name;
};

constexpr PortField kPorts[] = {{1028, "SMTP"},
                                {1461, "SMTP SSL"},
                                {1024, "POP3"},
                                {1026, "POP3 SSL"},
                                {1038, "IMAP"},
                                {1030, "IMAP SSL"},
                                {settings::kWebAdminPort, "Web administration"},
                                {1040, "Web administration SSL"}};

std::string Quoted(const std::string& text) {
  return "\"" + text + "\"";
}

}  // namespace

int Fail(const std::string& message) {
  std::fprintf(stderr, "srvcfg: %s\n", message.c_str());
  return kExitFailed;
}

int Show(const std::string& configDir) {
  LoadedConfig config(configDir);
  if (!config.Loaded()) return config.FailedToLoad();
  TConfigStore& store = config.Store();
  const serverconfig::ServerDirectories& dirs = store.Dirs;

  std::vector<std::string> lines;
  std::string host = store.Settings.Str(settings::kHostName, settings::kHostNameSize);
  lines.push_back("Host name:" + (host.empty() ? "" : " " + host));
  lines.push_back("Install directory: " + dirs.InstallDir);
  lines.push_back("Config directory: " + dirs.ConfigDir);
  lines.push_back("Temp directory: " + dirs.TempDir);
  lines.push_back("Mail directory: " + dirs.MailDir);
  lines.push_back("Logs directory: " + dirs.LogsDir);
  lines.push_back("Account storage mode: " +
                  std::to_string(store.Settings.Byte(settings::kStorageMode)));
  for (const PortField& port : kPorts)
    lines.push_back(std::string(port.name) +
                    " port: " + std::to_string(store.Settings.Word(port.offset)));

  const int count = store.Domains.DomainCount();
  lines.push_back("Domains: " + std::to_string(count));
  for (int i = 0; i < count; ++i) {
    const std::string name = store.Domains.DomainName(i);
    const int accounts = store.Accounts.AccountCount(name);
    lines.push_back("Domain " + std::to_string(i + 1) + ": " + name + (i == 0 ? " (primary)" : "") +
                    ", " + std::to_string(accounts) + (accounts == 1 ? " account" : " accounts"));
  }
  WriteLines(lines);
  return kExitOk;
}

int AddDomain(const std::string& configDir, const std::string& name) {
  if (std::string problem = serverconfig::DomainNameProblem(name); !problem.empty())
    return Fail("invalid domain name " + Quoted(name) + ": " + problem);
  LoadedConfig config(configDir);
  if (!config.Loaded()) return config.FailedToLoad();
  TConfigStore& store = config.Store();
  if (store.Domains.DomainExists(name)) return Fail("domain " + name + " already exists");
  const int index =
      serverconfig::CreateDomain(store, name, serverconfig::NewDomainRecord(""), kWho);
  if (index < 0) return Fail("the record of domain " + name + " could not be written");
  if (!store.SaveServerConfig(false)) return config.FailedToSave();
  return kExitOk;
}

int AddAccount(const std::string& configDir, const std::string& domain, const std::string& alias,
               const std::string& password, uint8_t kind) {
  if (std::string problem = serverconfig::AliasProblem(alias); !problem.empty())
    return Fail("invalid alias " + Quoted(alias) + ": " + problem);
  if (password.size() > serverconfig::kMaxPassword)
    return Fail("the password is longer than " + std::to_string(serverconfig::kMaxPassword) +
                " characters");
  LoadedConfig config(configDir);
  if (!config.Loaded()) return config.FailedToLoad();
  TConfigStore& store = config.Store();
  const int domainIndex = store.Domains.FindDomain(domain);
  if (domainIndex < 0) return Fail("domain " + domain + " does not exist");
  const std::string name = store.Domains.DomainName(domainIndex);
  if (store.Accounts.FindAccount(name, alias) >= 0)
    return Fail("account " + alias + " already exists in " + name);
  serverconfig::TFixedRecord record = serverconfig::NewAccountRecord(name, alias, password, kind);
  int index = -1;
  std::string reason;
  if (!store.Accounts.SaveAccount(name, record, index, kWho, &reason))
    return Fail("account " + alias + " could not be stored in " + name + ": " + reason);
  WriteLines({std::to_string(index)});
  return kExitOk;
}

int MakePrimary(const std::string& configDir, const std::string& name) {
  LoadedConfig config(configDir);
  if (!config.Loaded()) return config.FailedToLoad();
  TConfigStore& store = config.Store();
  const int index = store.Domains.FindDomain(name);
  if (index < 0) return Fail("domain " + name + " does not exist");
  store.Domains.MakePrimaryDomain(index);
  if (!store.SaveServerConfig(false)) return config.FailedToSave();
  return kExitOk;
}

int ClearPaths(const std::string& configDir) {
  LoadedConfig config(configDir);
  if (!config.Loaded()) return config.FailedToLoad();
  TConfigStore& store = config.Store();
  for (std::size_t field : {settings::kTempDir, settings::kMailDir, settings::kLogsDir})
    store.Settings.SetStr(field, settings::kDirSize, "");
  if (!store.SaveServerConfig(true)) return config.FailedToSave();
  return kExitOk;
}

}  // namespace srvcfg
