#include "upgrade/upgrade_tasks.h"

#include <algorithm>
#include <iterator>
#include <optional>
#include <vector>

#include "net/http_client.h"
#include "platform/files.h"
#include "platform/folder_handle.h"
#include "product/module_notification.h"
#include "product/server_modules.h"
#include "serverconfig/scramble.h"
#include "support/file_utils.h"
#include "support/log_writer.h"
#include "support/versions.h"
#include "upgrade/webserver_config.h"

namespace upgrade {
namespace {

namespace fields = serverconfig::settings;

constexpr int kSMTP = support::kModuleSMTP, kGroupWare = support::kModuleGroupWare;
constexpr uint32_t kReloadConfiguration = 0x101;
// The web administration converts the IMAP rules of every account before it
// answers: the request may take as long as the server allows a read.
constexpr uint32_t kImapRulesDeadlineMs = 300000;
constexpr int kMaxFolderDepth = 32;

bool IsDigits(const std::string& text) {
  return !text.empty() && text.size() <= 9 &&
         std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// A host as a URL carries it: IPv6 literals in brackets, and an address that
// stands for every interface reached through the loopback name.
std::string UrlHost(const std::string& host) {
  if (host == "0.0.0.0" || host == "*" || host == "::" || host == "[::]") return "localhost";
  if (host.find(':') != std::string::npos && host[0] != '[') return "[" + host + "]";
  return host;
}

std::string WithoutBackslash(std::string path) {
  while (!path.empty() && path.back() == '\\') path.pop_back();
  return path;
}

bool IsPlainFolder(uint32_t attributes) {
  return attributes != platform::kInvalidAttributes && (attributes & platform::kAttrDirectory) &&
         !(attributes & platform::kAttrReparsePoint);
}

void MoveEntries(const std::string& from, const std::string& to, int depth) {
  // Held while its entries move; a link in either place is never walked.
  platform::FolderHandle held;
  std::vector<platform::DirEntry> entries;
  if (!held.Open(from) || !held.List(entries)) return;
  for (const platform::DirEntry& entry : entries) {
    const std::string source = from + "\\" + entry.name, target = to + "\\" + entry.name;
    if (platform::MoveFile(source, target)) continue;
    const bool folders =
        IsPlainFolder(entry.attributes) && IsPlainFolder(platform::GetFileAttributes(target));
    if (folders && depth < kMaxFolderDepth) {
      MoveEntries(source, target, depth + 1);
      platform::RemoveDirectory(source);
      if (!platform::DirectoryExists(source)) continue;
    }
    if (!folders) support::SetupLog("Upgrade: " + source + " was not moved: " + target + " exists");
  }
}

// One run of the task list: the configuration is loaded by the first task that
// needs it and kept for the later ones.
class TaskRunner {
 public:
  TaskRunner(serverconfig::TConfigStore& config, const std::string& installDir)
      : config_(config), installDir_(installDir) {}

  void Notify(int module, uint32_t wParam, uint32_t lParam) {
    NotifyModule(module, kModuleCommand, wParam, lParam);
  }
  void Load();
  void Save() { config_.SaveServerConfig(false); }
  void ClearUnusedLocalAddresses();
  void MoveRenamedFolders();
  void AddWebDav() { EditFirstSite(true); }
  void AddPhp() { EditFirstSite(false); }
  void ScaleUnits(std::initializer_list<std::pair<std::size_t, uint32_t>> scaled);
  void SetResolverDefaults();
  void ConvertImapRules();

 private:
  void EditFirstSite(bool webdav);
  // The value settings.cfg held at an offset when it was loaded, before any
  // default was filled in; none when the file was shorter.
  std::optional<uint32_t> FileValue(std::size_t offset) const;

  serverconfig::TConfigStore& config_;
  std::string installDir_;
  bool loaded_ = false;
  serverconfig::TFixedRecord fileSettings_{0};  // settings.cfg as loaded, descrambled
};

void TaskRunner::Load() {
  if (loaded_) return;
  loaded_ = true;
  config_.Dirs.InstallDir = installDir_;
  config_.Dirs.ConfigDir = installDir_ + "config\\";
  const std::string file = support::LoadFileToString(config_.Dirs.ConfigDir + "settings.cfg");
  fileSettings_ = serverconfig::TFixedRecord(file.size());
  std::copy(file.begin(), file.end(), fileSettings_.Data());
  serverconfig::ScrambleBytes(fileSettings_.Data(), fileSettings_.Size());
  config_.LoadServerConfig(false, false);
  config_.Database.ReleaseDatabase();
}

std::optional<uint32_t> TaskRunner::FileValue(std::size_t offset) const {
  if (config_.SettingsUnreadable() || fileSettings_.Size() < offset + 4) return std::nullopt;
  return fileSettings_.DWord(offset);
}

void TaskRunner::ClearUnusedLocalAddresses() {
  Load();
  if (config_.Settings.Byte(fields::kLocalAddressesInUse) == 0)
    config_.Settings.SetByte(fields::kLocalAddresses, 0);
  Save();
}

// Only what the file held is converted: a default that the load filled in is
// already in the new unit. A product too large for 32 bits stays at the largest.
void TaskRunner::ScaleUnits(std::initializer_list<std::pair<std::size_t, uint32_t>> scaled) {
  Load();
  for (auto [offset, factor] : scaled) {
    const uint32_t value = config_.Settings.DWord(offset);
    if (FileValue(offset) != value) continue;
    const uint64_t product = static_cast<uint64_t>(value) * factor;
    config_.Settings.SetDWord(offset,
                              static_cast<uint32_t>(std::min<uint64_t>(product, 0xFFFFFFFF)));
  }
  Save();
}

void TaskRunner::MoveRenamedFolders() {
  Load();
  const std::string& configDir = config_.Dirs.ConfigDir;
  const std::string& mailDir = config_.Dirs.MailDir;
  MoveDataFolder(configDir + "remotewatchdog", configDir + "_remotewatchdog\\");
  MoveDataFolder(configDir + "certs", configDir + "_certs\\");
  MoveDataFolder(mailDir + "forward", mailDir + "_outgoing\\");
}

void TaskRunner::SetResolverDefaults() {
  Load();
  config_.Settings.SetByte(fields::kResolverByte, 3);
  config_.Settings.SetDWord(fields::kResolverValue, 1);
  Save();
}

// A webserver.dat without a site (or none that could be read) is left alone.
void TaskRunner::EditFirstSite(bool webdav) {
  WebServerConfig web;
  web.SetConfigDir(config_.Dirs.ConfigDir.empty() ? installDir_ + "config\\"
                                                  : config_.Dirs.ConfigDir);
  if (web.Load() == 0) return;
  WebSite& site = web.Sites[0];
  auto has = [&](auto test) {
    return std::any_of(site.Extensions.begin(), site.Extensions.end(), test);
  };
  if (webdav) {
    if (has([](const WebExtension& e) { return e.Title == "[webdav]"; })) return;
    site.Extensions.push_back({"", "php\\php.dll", "[webdav]", "", ModuleType::Isapi});
    site.Special.push_back({"webdav\\", "[webdav]", "webdav\\index.html"});
  } else {
    if (has([](const WebExtension& e) { return e.Ext == ".php"; })) return;
    site.Extensions.push_back({".php", "php\\php.dll", "", "", ModuleType::Isapi});
  }
  web.Save();
}

void TaskRunner::ConvertImapRules() {
  Load();
  if (config_.Settings.DWord(fields::kDomainCount) < 20 &&
      config_.Accounts.AccountCount("") < 2000) {
    const std::string url = "http://" + UrlHost(config_.WebAdminHost()) + ":" +
                            std::to_string(config_.Settings.Word(fields::kWebAdminPort)) +
                            "/admin/tools/convert_imap_rules.html";
    std::string answer;
    support::HttpGet(url, true, "", answer, "", "", kImapRulesDeadlineMs);
    if (!answer.empty()) platform::DeleteFile(answer);
  }
  config_.Database.ReleaseDatabase();
}

struct Task {
  const char* threshold;
  void (*run)(TaskRunner&);
};

// The thresholds in the order the conversions must run, never descending (a run
// resumed from a threshold skips everything up to it); a task runs when the
// previous version lies below its threshold. Step 17 was withdrawn.
const Task kTasks[] = {
    {"7.1.3",
     [](TaskRunner& r) {
       r.Notify(kGroupWare, 0xF01, 0);
       r.Notify(kSMTP, 2, 0);
     }},
    {"7.4.6",
     [](TaskRunner& r) {
       r.Notify(kSMTP, 3, 1);
       r.Notify(kSMTP, 4, 2);
     }},
    {"7.4.7",
     [](TaskRunner& r) {
       r.Notify(kSMTP, 4, 3);
       r.Notify(kSMTP, 4, 4);
     }},
    {"7.6.1", [](TaskRunner& r) { r.Notify(kGroupWare, 0xF05, 5); }},
    {"7.6.3", [](TaskRunner& r) { r.Notify(kGroupWare, 0xF05, 6); }},
    {"7.7.2", [](TaskRunner& r) { r.Notify(kGroupWare, 0xF05, 8); }},
    {"8.2.10", [](TaskRunner& r) { r.Notify(kSMTP, 2, 9); }},
    {"8.2.13", [](TaskRunner& r) { r.Notify(kSMTP, 2, 10); }},
    {"8.3.11", [](TaskRunner& r) { r.Notify(kSMTP, 4, 11); }},
    {"8.3.12", [](TaskRunner& r) { r.Notify(kGroupWare, 0xF05, 12); }},
    {"8.3.13", [](TaskRunner& r) { r.Notify(kGroupWare, 0xF05, 13); }},
    {"8.3.14", [](TaskRunner& r) { r.Notify(kGroupWare, 0xF05, 14); }},
    {"8.3.15", [](TaskRunner& r) { r.Notify(kSMTP, 4, 15); }},
    {"8.3.16", [](TaskRunner& r) { r.ClearUnusedLocalAddresses(); }},
    {"8.3.17", [](TaskRunner& r) { r.Notify(kSMTP, 4, 16); }},
    {"8.5.2",
     [](TaskRunner& r) {
       r.AddWebDav();
       r.Notify(kSMTP, 4, 18);
     }},
    {"8.5.2-9", [](TaskRunner& r) { r.Notify(kGroupWare, 0xF05, 19); }},
    {"8.5.3", [](TaskRunner& r) { r.MoveRenamedFolders(); }},
    {"8.5.3-7", [](TaskRunner& r) { r.Notify(kGroupWare, 0xF05, 20); }},
    {"8.5.3-11", [](TaskRunner& r) { r.Notify(kSMTP, 2, 21); }},
    {"8.5.6-1", [](TaskRunner& r) { r.Notify(kSMTP, 2, 22); }},
    {"8.5.6-2", [](TaskRunner& r) { r.AddPhp(); }},
    {"8.5.7-5",
     [](TaskRunner& r) {
       r.ScaleUnits({{fields::kScaledBy60, 60}, {fields::kScaledBy1440, 1440}});
     }},
    {"8.5.7-6",
     [](TaskRunner& r) {
       r.ScaleUnits({{fields::kScaledBy1024, 1024}});
     }},
    {"8.6.9", [](TaskRunner& r) { r.SetResolverDefaults(); }},
    {"8.9.0-1", [](TaskRunner& r) { r.ConvertImapRules(); }},
};

}  // namespace

bool IsComparableVersion(const std::string& version) {
  const std::size_t dash = version.find('-');
  const std::string numbers = version.substr(0, dash);
  int fields = 0;
  for (std::size_t start = 0;; ++fields) {
    const std::size_t dot = numbers.find('.', start);
    if (!IsDigits(numbers.substr(start, dot - start))) return false;
    if (dot == std::string::npos) break;
    start = dot + 1;
  }
  if (fields > 2) return false;
  return dash == std::string::npos || (fields == 2 && IsDigits(version.substr(dash + 1)));
}

void ReloadAllModules(serverconfig::TConfigStore& config) {
  for (int module : {support::kModuleSMTP, support::kModulePOP3, support::kModuleIM,
                     support::kModuleGroupWare, support::kModuleControl})
    NotifyModule(module, kModuleCommand, kReloadConfiguration, 0);
  config.Database.CallVoid(&serverconfig::TDatabaseLibrary::Entries::DoneConnection);
}

void MoveDataFolder(const std::string& from, const std::string& to) {
  const std::string source = WithoutBackslash(from), target = WithoutBackslash(to);
  if (!platform::DirectoryExists(source)) return;
  if (platform::MoveFile(source, target)) return;
  if (!platform::DirectoryExists(target)) {
    support::SetupLog("Upgrade: " + source + " could not be moved to " + target);
    return;
  }
  MoveEntries(source, target, 0);
  platform::RemoveDirectory(source);
}

bool RunUpgradeTasks(serverconfig::TConfigStore& config, const std::string& oldVersion,
                     const std::string& installDir, const TaskFinished& finished) {
  if (!IsComparableVersion(oldVersion)) {
    support::SetupLog("Upgrade procedures skipped: the previous version \"" + oldVersion +
                      "\" is not a version number");
    return true;
  }
  TaskRunner runner(config, installDir);
  for (const Task* task = std::begin(kTasks); task != std::end(kTasks); ++task) {
    const bool current = support::VersionAtLeast(oldVersion, task->threshold);
    ReloadAllModules(config);
    if (current) continue;
    task->run(runner);
    // A threshold is passed on only with the last of its tasks: resuming from
    // it skips them all.
    const bool last = task + 1 == std::end(kTasks) ||
                      !support::VersionAtLeast(task->threshold, task[1].threshold);
    if (finished && last) finished(task->threshold);
  }
  return true;
}

}  // namespace upgrade
