#include "serverconfig/config_store.h"

#include "platform/clock.h"
#include "platform/files.h"
#include "platform/network.h"
#include "platform/system.h"
#include "serverconfig/scramble.h"
#include "serverconfig/server_log.h"
#include "support/file_utils.h"
#include "support/short_string.h"
#include "support/system_utils.h"
#include "support/text_fields.h"
#include "translations/strings_file.h"
#include "xml/xml_object.h"

namespace serverconfig {
namespace {

using namespace settings;

// Lines of path.dat.
enum PathLine {
  kConfigLine = kConfigDirLine,
  kHtmlLine = 1,
  kNetworkLine = 4,
  kOutgoingLine = 7,
  kRetryLine = 8,
  kBindLine = 9,
  kHostLine = 10,
  kIncomingLine = 12,
};

std::string WithBackslash(const std::string& dir) {
  return support::NormalizeDir(dir);
}

std::string JoinedDnsServers() {
  std::string joined;
  for (const std::string& server : platform::DnsServers())
    joined += (joined.empty() ? "" : ";") + server;
  return joined;
}

std::string ProgramDirectory() {
  std::string path = platform::ProgramPath();
  return path.substr(0, path.find_last_of('\\') + 1);
}

bool StartsWithNoCase(const std::string& text, std::string_view prefix) {
  return text.size() >= prefix.size() && support::SameText(text.substr(0, prefix.size()), prefix);
}

}  // namespace

PathLines ParsePathLines(const std::string& text) {
  PathLines result;
  std::vector<std::string> lines = support::SplitLines(text);
  for (std::size_t i = 0; i < kPathLines && i < lines.size(); ++i)
    result[i] = support::TrimBlanks(support::StripComments(lines[i]));
  return result;
}

void ParseServerTitle(const std::string& text, ServerTitle& title) {
  std::vector<std::string> lines = support::SplitLines(text);
  if (lines.empty()) return;
  title.Title = support::ShortString(lines[0]);
  title.Variables.clear();
  for (std::size_t i = 1; i < lines.size(); ++i) {
    std::size_t equals = lines[i].find('=');
    if (equals == std::string::npos) continue;
    title.Variables.emplace_back(support::ShortString(lines[i].substr(0, equals)),
                                 support::ShortString(lines[i].substr(equals + 1)));
  }
}

void ParseBindFile(const std::string& text, std::string& outgoingBind, std::string& ipv6Bind) {
  for (const std::string& raw : support::SplitLines(text)) {
    std::string line;
    for (char c : support::TrimBlanks(support::StripComments(raw)))
      if (c != ' ') line += c;
    std::size_t equals = line.find('=');
    if (equals == std::string::npos) continue;
    std::string value = line.substr(equals + 1);
    if (StartsWithNoCase(line, "Outgoing_Bind="))
      outgoingBind = support::TrimBlanks(support::GetField(value, 0, ';'));
    else if (StartsWithNoCase(line, "IPv6_Bind="))
      ipv6Bind = value;
  }
}

TConfigStore::TConfigStore() = default;
TConfigStore::~TConfigStore() = default;

void TConfigStore::InitServerPaths() {
  std::lock_guard<std::recursive_mutex> hold(Lock);
  Settings.SetDouble(kCreationDate, platform::Now());
  Settings.SetByte(kFormatMarker, 1);
  // No command-line option chooses it: the elevated setup would load db.dll
  // and connect the shares of path.dat from any folder a command line names.
  if (Dirs.InstallDir.empty()) Dirs.InstallDir = ProgramDirectory();
  Dirs.ConfigDir = Dirs.InstallDir + "config\\";
  Dirs.HtmlDir = Dirs.InstallDir + "html\\";
  ApplyPathFile();
  DeriveDirectories();

  support::TXMLObject info;
  if (info.LoadFromFile(Dirs.InstallDir + "xml\\info.xml") && !info.Children().empty())
    ProductPrefix = info.Children().front()->ChildText("PREFIX");
  ParseServerTitle(support::LoadFileToString(Dirs.ConfigDir + "servertitle.dat"), Title);
}

void TConfigStore::ApplyPathFile() {
  std::string path_dat = Dirs.InstallDir + "path.dat";
  if (!platform::FileExists(path_dat) && platform::FileExists(Dirs.InstallDir + "path.cfg"))
    platform::MoveFile(Dirs.InstallDir + "path.cfg", path_dat);
  PathOverrides = ParsePathLines(support::LoadFileToString(path_dat));
  const PathLines& p = PathOverrides;
  if (!p[kConfigLine].empty()) Dirs.ConfigDir = WithBackslash(p[kConfigLine]);
  if (!p[kHtmlLine].empty()) Dirs.HtmlDir = WithBackslash(p[kHtmlLine]);
  std::vector<std::string> shares;
  support::SplitToList(p[kNetworkLine], '|', shares, true);
  for (const std::string& item : shares) {
    support::ConnectNetworkShare(support::GetField(item, 0, ';'), support::GetField(item, 1, ';'),
                                 support::GetField(item, 2, ';'));
  }
}

void TConfigStore::DeriveDirectories() {
  struct {
    std::size_t offset;
    const char* leaf;
    std::string* dir;
  } fields[] = {{kTempDir, "temp\\", &Dirs.TempDir},
                {kMailDir, "mail\\", &Dirs.MailDir},
                {kLogsDir, "logs\\", &Dirs.LogsDir}};
  for (auto& f : fields) {
    std::string value = Settings.Str(f.offset, kDirSize);
    value = value.empty() ? Dirs.InstallDir + f.leaf : WithBackslash(value);
    Settings.SetStr(f.offset, kDirSize, value);
    *f.dir = Settings.Str(f.offset, kDirSize);
  }
  const PathLines& p = PathOverrides;
  auto queue = [&](PathLine line, const std::string& derived) {
    return p[line].empty() ? derived : WithBackslash(p[line]);
  };
  Dirs.OutgoingQueue = queue(kOutgoingLine, Dirs.MailDir + "_outgoing\\");
  Dirs.IncomingQueue = queue(kIncomingLine, Dirs.MailDir + "_incoming\\");
  Dirs.RetryQueue = queue(kRetryLine, Dirs.MailDir + "_outgoing\\retry\\");
}

bool TConfigStore::LoadServerConfig(bool keepResult, bool settingsOnly) {
  std::string file = Dirs.ConfigDir + "settings.cfg";
  if (Dirs.InstallDir.empty()) Dirs.InstallDir = Dirs.ConfigDir + "..\\";

  bool result = !keepResult;
  {
    std::lock_guard<std::recursive_mutex> hold(Lock);
    settingsUnreadable_ = false;
    platform::File input;
    if (input.Open(file, platform::File::Mode::Read)) {
      // Bytes beyond the end of a short file keep the values held before.
      ScrambleBytes(Settings.Data(), Settings.Size());
      int64_t got = input.Read(Settings.Data(), static_cast<int64_t>(Settings.Size()));
      ScrambleBytes(Settings.Data(), Settings.Size());
      if (got < 0) settingsUnreadable_ = true;
      result = got >= 0;
    } else if (platform::GetFileAttributes(file) != platform::kInvalidAttributes) {
      settingsUnreadable_ = true;
    }

    ApplySettingsDefaults(Settings, Held, platform::Now());
    if (Settings.Str(kDnsServers, kAddressListSize).empty())
      Settings.SetStr(kDnsServers, kAddressListSize, JoinedDnsServers());
    DeriveDirectories();
    const PathLines& p = PathOverrides;
    if (!p[kBindLine].empty()) {
      Settings.SetStr(kLocalAddresses, kAddressListSize,
                      NormalizeList(support::GetField(p[kBindLine], 0, '|')));
      OutgoingBind = support::GetField(p[kBindLine], 1, '|');
    }
    if (!p[kHostLine].empty())
      Settings.SetStr(kHostName, kHostNameSize, NormalizeList(p[kHostLine]));
  }
  ReadLoadedFiles();
  if (!settingsOnly) {
    Domains.LoadDomains();
    support::SetProcessorAffinity(Settings.Byte(kFirstProcessorOnly) == 0);
    std::lock_guard<std::recursive_mutex> hold(Lock);
    Accounts.CreateCache();
    Domains.CreateRecordCache();
  }
  return result;
}

void TConfigStore::ReadLoadedFiles() {
  ParseBindFile(support::LoadFileToString(Dirs.ConfigDir + "bind.dat"), OutgoingBind, IPv6Bind);
  ArchiveDomains.clear();
  if (Settings.Byte(kArchiveDomains) != 0)
    support::SplitToList(support::LoadFileToString(Dirs.ConfigDir + "archivedomains.dat"), '\n',
                         ArchiveDomains, true);
  support::LoadStringsFile(Dirs.ConfigDir);
  HasSubdomainsFile = platform::FileExists(Dirs.ConfigDir + "subdomains.dat");
}

bool TConfigStore::SaveServerConfig(bool settingsOnly) {
  std::lock_guard<std::recursive_mutex> hold(Lock);
  if (settingsUnreadable_) return false;
  bool written =
      support::ReplaceFileContent(Dirs.ConfigDir + "settings.cfg", ScrambledCopy(Settings));
  if (!settingsOnly) Domains.SaveDomains();
  return written;
}

std::string TConfigStore::WebAdminHost() const {
  std::string host = support::TrimBlanks(
      support::GetField(Settings.Str(kLocalAddresses, kAddressListSize), 0, ';'));
  return host.empty() ? "localhost" : host;
}

bool TConfigStore::UsesDatabase() const {
  return Settings.Byte(kStorageMode) == kStorageDatabase && Database.Loaded();
}

bool TConfigStore::BindDatabase() {
  if (Settings.Byte(kStorageMode) != kStorageDatabase) return false;
  return Database.LoadDatabaseLibrary(Dirs.InstallDir, Dirs.LogsDir);
}

TConfigStore::Storage TConfigStore::AccountStorage() {
  if (Settings.Byte(kStorageMode) != kStorageDatabase) return Storage::Files;
  return BindDatabase() ? Storage::Database : Storage::Unavailable;
}

void TConfigStore::Audit(const std::string& who, bool isNew, const std::string& name) {
  if (Settings.Byte(kAuditLog) == 0) return;
  WriteServerLog(Dirs.LogsDir, "audit",
                 "'" + (who.empty() ? std::string("System") : who) + "' " +
                     (isNew ? "Created" : "Updated") + " '" + name + "'");
}

}  // namespace serverconfig
