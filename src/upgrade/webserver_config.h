// The built-in web server's configuration: the global options and the sites,
// read from and written to webserver.dat (XML), and the one-way conversion of
// the older webserver.cfg (a sectioned text file) into it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace upgrade {

// How the web server runs the module of a file extension.
enum class ModuleType { Isapi = 0, Cgi = 1, FastCgi = 2, Ssi = 3 };

// A file extension mapped to a module (EXTENSIONS). Stored in lower case, the
// module without its type prefix, the title split at its first ",".
struct WebExtension {
  std::string Ext, Module, Title, TitleRest;
  ModuleType Type = ModuleType::Isapi;
  bool operator==(const WebExtension&) const = default;
};

// A path of the site served by a module (SPECIAL); the title is held with "\".
struct WebSpecial {
  std::string Title, Module, Script;
  bool operator==(const WebSpecial&) const = default;
};

struct WebMime {
  std::string Ext, Mime;
  bool operator==(const WebMime&) const = default;
};

struct WebDirectory {
  std::string Alias, Path;
  bool operator==(const WebDirectory&) const = default;
};

struct WebRedirect {
  std::string What, To;
  bool operator==(const WebRedirect&) const = default;
};

struct WebError {
  std::string Error;
  int32_t Type = 0;
  std::string Value;
  bool operator==(const WebError&) const = default;
};

struct WebAccess {
  std::string Ip;
  int32_t Mode = 0;
  bool operator==(const WebAccess&) const = default;
};

struct WebUser {
  std::string Name, Password;
  bool operator==(const WebUser&) const = default;
};

// One site; the first of the configuration is the default site. Strings hold
// at most 255 characters.
struct WebSite {
  bool UseGlobal = false;
  std::string Name, Description, Ip, Path;
  bool NoKeepOpenHttp = false, Logging = false, LoggingDebug = false;
  std::string LoggingPath;
  int32_t DeleteLogs = 0;
  bool NoScripts = false, NoRead = false, Write = false, NoWebDav = false, NoPost = false;
  bool Executables = false, DirList = false;
  std::string DefaultHost;
  int32_t MaxConnections = 0;
  uint8_t AuthMode = 0;
  bool AuthAdmin = false, AuthDomainAdmin = false, AuthUsers = false;
  int32_t ExpirationMode = 0, ExpirationMins = 0;

  std::vector<WebExtension> Extensions;
  std::vector<WebSpecial> Special;
  std::vector<std::string> Defaults;
  std::vector<WebMime> Mime;
  std::vector<WebDirectory> Directories;
  std::vector<std::string> Headers;  // "name: value"
  std::vector<WebRedirect> Redirects;
  std::vector<WebError> Errors;
  std::vector<WebAccess> Access;
  std::vector<WebUser> Users;

  // Sets the type of the extension, or appends one (extension and type in lower case).
  void SetMime(const std::string& ext, const std::string& mime);
  // The twelve types every new site starts with, set as SetMime does.
  void AddDefaultMime();

  bool operator==(const WebSite&) const = default;
};

struct WebOptions {
  uint32_t ReloadIsapi = 0;
  bool Http10 = false;
  std::string LogFormat;  // W3C extended log field names, blank-separated
  // Derived from LogFormat at each load: "%<index>:s" per known field.
  std::string LogPattern;
  bool operator==(const WebOptions&) const = default;
};

extern const char kDefaultLogFormat[];
// The log line pattern of a LOGFORMAT text; unknown field names are skipped.
std::string LogPattern(const std::string& logFormat);

// The extension as EXTENSIONS and [Filter] give it: the module's "(cgi)"-style
// prefix removed and turned into the type, everything in lower case.
WebExtension MakeExtension(const std::string& ext, const std::string& module,
                           const std::string& title);

class WebServerConfig {
 public:
  // The folder of webserver.dat and webserver.cfg, ending in "\"; used when
  // Load or Save are given no path.
  void SetConfigDir(const std::string& dir) { configDir_ = dir; }

  // Loads webserver.dat (path "": in the configuration folder, converting a
  // webserver.cfg there first). Returns the number of sites the file held; 0
  // when it is missing, unreadable, incomplete or holds none, and the
  // configuration then has one default site that must not be saved over the
  // file. A file unchanged since the last load (path, time, size) is not read
  // again and the earlier count is returned.
  int Load(const std::string& path = "");
  // Writes webserver.dat (path "": in the configuration folder), replacing it.
  bool Save(const std::string& path = "");

  // Replaces the configuration with the XML text; returns the number of sites
  // it held. Without a site the configuration gets one default site.
  int ParseDocument(const std::string& text);
  // The XML text of webserver.dat.
  std::string Document() const;
  // Replaces the configuration with the one of an old webserver.cfg text.
  void ParseOldConfig(const std::string& text);

  // No sites, options zero; the next load reads the file again.
  void Clear();

  WebOptions Options;
  std::vector<WebSite> Sites;

 private:
  struct FileStamp {
    std::string path;
    double modified = 0;
    int64_t size = 0;
    bool operator==(const FileStamp&) const = default;
  };

  void ConvertOldFile(const std::string& datPath);
  // Sites are held by index: parsing the global text adds sites.
  void ParseSiteText(const std::string& text, std::size_t site, bool global);
  void SetOption(const std::string& key, const std::string& value, std::size_t site, bool global);
  void AddVirtualHost(const std::string& key, const std::string& value);
  std::size_t SiteByName(const std::string& name);

  std::string configDir_;
  std::optional<FileStamp> lastLoad_;
  int lastSiteCount_ = 0;
};

}  // namespace upgrade
