#include "upgrade/webserver_config.h"

#include <algorithm>
#include <utility>
#include <variant>

#include "platform/files.h"
#include "support/base64.h"
#include "support/file_utils.h"
#include "support/numbers.h"
#include "support/short_string.h"
#include "support/text_fields.h"
#include "xml/xml_object.h"
#include "xml/xml_text.h"

namespace upgrade {

using support::LowerCase;
using support::ShortString;
using support::TXMLObject;

const char kDefaultLogFormat[] =
    "c-ip cs-username date time cs-method cs-uri-stem cs-version sc-status bytes cs(Referer) "
    "cs(User-Agent)";

namespace {

template <class... F>
struct Overloaded : F... {
  using F::operator()...;
};
template <class... F>
Overloaded(F...) -> Overloaded<F...>;

// A scalar of a site: its element in webserver.dat, its key in webserver.cfg
// ("" when the old file has none) and its field.
struct Scalar {
  const char* element;
  const char* oldKey;
  std::variant<bool WebSite::*, std::string WebSite::*, int32_t WebSite::*, uint8_t WebSite::*>
      field;
  bool emptyWhenZero = false;
};

// In the order of the elements in webserver.dat.
const Scalar kScalars[] = {
    {"USEGLOBAL", "UseGlobal", &WebSite::UseGlobal},
    {"NAME", "", &WebSite::Name},
    {"DESC", "Description", &WebSite::Description},
    {"IP", "IP", &WebSite::Ip},
    {"PATH", "", &WebSite::Path},
    {"NOKEEPOPENHTTP", "NoKeepOpenHTTP", &WebSite::NoKeepOpenHttp},
    {"LOGGING", "Logging", &WebSite::Logging},
    {"LOGGINGDEBUG", "", &WebSite::LoggingDebug},
    {"LOGGINGPATH", "LoggingPath", &WebSite::LoggingPath},
    {"DELETELOGS", "", &WebSite::DeleteLogs, true},
    {"NOSCRIPTS", "NoScripts", &WebSite::NoScripts},
    {"NOREAD", "NoRead", &WebSite::NoRead},
    {"WRITE", "Write", &WebSite::Write},
    {"NOWEBDAV", "", &WebSite::NoWebDav},
    {"NOPOST", "NoPost", &WebSite::NoPost},
    {"EXECUTABLES", "Executables", &WebSite::Executables},
    {"DIRLIST", "DirList", &WebSite::DirList},
    {"DEFAULTHOST", "DefaultHost", &WebSite::DefaultHost},
    {"MAXCONNECTIONS", "MaxConnections", &WebSite::MaxConnections, true},
    {"AUTHMODE", "AuthMode", &WebSite::AuthMode},
    {"AUTHADMIN", "AuthAdmin", &WebSite::AuthAdmin},
    {"AUTHDOMAINADMIN", "AuthDomainAdmin", &WebSite::AuthDomainAdmin},
    {"AUTHUSERS", "AuthUser", &WebSite::AuthUsers},
    {"EXPIRATIONMODE", "ExpireMode", &WebSite::ExpirationMode},
    {"EXPIRATIONMINS", "ExpireMins", &WebSite::ExpirationMins, true},
};

std::string ScalarText(const WebSite& site, const Scalar& scalar) {
  return std::visit(Overloaded{[&](bool WebSite::*f) { return support::XMLBoolToStr(site.*f); },
                               [&](std::string WebSite::*f) { return site.*f; },
                               [&](int32_t WebSite::*f) {
                                 return scalar.emptyWhenZero ? support::XMLIntToStr(site.*f)
                                                             : std::to_string(site.*f);
                               },
                               [&](uint8_t WebSite::*f) { return std::to_string(site.*f); }},
                    scalar.field);
}

// Booleans of webserver.dat are "true" or "1", those of webserver.cfg only "1".
void SetScalar(WebSite& site, const Scalar& scalar, const std::string& text, bool xml) {
  std::visit(
      Overloaded{
          [&](bool WebSite::*f) { site.*f = xml ? support::XMLStrToBool(text) : text == "1"; },
          [&](std::string WebSite::*f) { site.*f = ShortString(text); },
          [&](int32_t WebSite::*f) { site.*f = static_cast<int32_t>(support::StrToIntVal(text)); },
          [&](uint8_t WebSite::*f) { site.*f = static_cast<uint8_t>(support::StrToIntVal(text)); }},
      scalar.field);
}

// Indexed by ModuleType.
const char* const kModulePrefixes[] = {"(isapi)", "(cgi)", "(fastcgi)", "(ssi)"};

bool IsLibrary(const std::string& module) {
  return LowerCase(module).find(".dll") != std::string::npos;
}

const char* const kLogFields[] = {"c-ip",      "cs-username", "date",          "time",
                                  "cs-method", "cs-uri-stem", "cs-version",    "sc-status",
                                  "bytes",     "cs(Referer)", "cs(User-Agent)"};

const std::pair<const char*, const char*> kDefaultMime[] = {
    {".html", "text/html"},
    {".shtml", "text/html"},
    {".htm", "text/html"},
    {".txt", "text/plain"},
    {".gif", "image/gif"},
    {".jpg", "image/jpeg"},
    {".js", "application/x-javascript"},
    {".css", "text/css"},
    {".wml", "text/vnd.wap.wml"},
    {".wmls", "text/vnd.wap.wmlscript"},
    {".wbmp", "image/vnd.wap.wbmp"},
    {".xml", "text/xml"},
};

std::string Replaced(std::string text, char from, char to) {
  std::replace(text.begin(), text.end(), from, to);
  return text;
}

// The decoded text of the item's child, as a short string.
std::string Child(const TXMLObject& item, const char* name) {
  return ShortString(item.ChildText(name));
}

template <class Item, class Fill>
void WriteList(TXMLObject& host, const char* name, const std::vector<Item>& items, Fill fill) {
  if (items.empty()) return;
  TXMLObject* list = host.AddChild(name);
  for (const Item& item : items) fill(*list->AddChild("ITEM"), item);
}

template <class Item, class Read>
void ReadList(const TXMLObject& host, const char* name, std::vector<Item>& items, Read read) {
  const TXMLObject* list = host.FindChild(name);
  if (!list) return;
  for (const auto& item : list->Children())
    if (item->Name() == "ITEM") items.push_back(read(*item));
}

void WriteSite(const WebSite& site, TXMLObject& host) {
  for (const Scalar& scalar : kScalars) host.AddChild(scalar.element, ScalarText(site, scalar));
  WriteList(host, "EXTENSIONS", site.Extensions, [](TXMLObject& item, const WebExtension& e) {
    const bool bare = e.Type == ModuleType::Isapi && IsLibrary(e.Module);
    item.AddChild("EXT", e.Ext);
    item.AddChild("MODULE", (bare ? "" : kModulePrefixes[static_cast<int>(e.Type)]) + e.Module);
    item.AddChild("TITLE", e.TitleRest.empty() ? e.Title : e.Title + "," + e.TitleRest);
  });
  WriteList(host, "SPECIAL", site.Special, [](TXMLObject& item, const WebSpecial& s) {
    std::string title = "/";
    title += Replaced(s.Title, '\\', '/');
    item.AddChild("TITLE", title);
    item.AddChild("MODULE", s.Module);
    item.AddChild("SCRIPT", s.Script);
  });
  WriteList(host, "DEFAULTS", site.Defaults,
            [](TXMLObject& item, const std::string& d) { item.AddChild("DOC", d); });
  WriteList(host, "MIME", site.Mime, [](TXMLObject& item, const WebMime& m) {
    item.AddChild("EXT", m.Ext);
    item.AddChild("MIME", m.Mime);
  });
  WriteList(host, "DIRECTORIES", site.Directories, [](TXMLObject& item, const WebDirectory& d) {
    item.AddChild("ALIAS", d.Alias);
    item.AddChild("PATH", d.Path);
  });
  WriteList(host, "HEADERS", site.Headers, [](TXMLObject& item, const std::string& line) {
    const std::size_t colon = line.find(':');
    item.AddChild("HEADER", line.substr(0, colon));
    item.AddChild("VAL",
                  colon == std::string::npos ? "" : support::TrimBlanks(line.substr(colon + 1)));
  });
  WriteList(host, "REDIRECT", site.Redirects, [](TXMLObject& item, const WebRedirect& r) {
    item.AddChild("WHAT", r.What);
    item.AddChild("TO", r.To);
  });
  WriteList(host, "ERRORS", site.Errors, [](TXMLObject& item, const WebError& e) {
    item.AddChild("ERROR", e.Error);
    item.AddChild("TYPE", std::to_string(e.Type));
    item.AddChild("VAL", e.Value);
  });
  WriteList(host, "ACCESS", site.Access, [](TXMLObject& item, const WebAccess& a) {
    item.AddChild("IP", a.Ip);
    item.AddChild("MODE", std::to_string(a.Mode));
  });
  WriteList(host, "USERS", site.Users, [](TXMLObject& item, const WebUser& u) {
    item.AddChild("NAME", u.Name);
    item.AddChild("PASS", u.Password);
  });
}

// "\" becomes "/"; unless the alias is "*" it starts and ends with "/" (or "*").
std::string ReadAlias(const std::string& text) {
  if (text == "*") return text;
  std::string alias = Replaced(text, '\\', '/');
  if (alias.empty() || (alias.back() != '*' && alias.back() != '/')) alias += '/';
  if (alias[0] != '*' && alias[0] != '/') alias.insert(0, 1, '/');
  return ShortString(alias);
}

WebSite ReadSite(const TXMLObject& host) {
  WebSite site;
  site.AddDefaultMime();
  for (const Scalar& scalar : kScalars)
    SetScalar(site, scalar, host.ChildText(scalar.element), true);
  ReadList(host, "EXTENSIONS", site.Extensions, [](const TXMLObject& item) {
    return MakeExtension(item.ChildText("EXT"), item.ChildText("MODULE"), item.ChildText("TITLE"));
  });
  ReadList(host, "SPECIAL", site.Special, [](const TXMLObject& item) {
    std::string title = Replaced(Child(item, "TITLE"), '/', '\\');
    if (!title.empty() && title[0] == '\\') title.erase(0, 1);
    return WebSpecial{title, Child(item, "MODULE"), Child(item, "SCRIPT")};
  });
  ReadList(host, "DEFAULTS", site.Defaults,
           [](const TXMLObject& item) { return Child(item, "DOC"); });
  // The file's list replaces the default types.
  if (host.FindChild("MIME")) {
    site.Mime.clear();
    ReadList(host, "MIME", site.Mime, [](const TXMLObject& item) {
      return WebMime{Child(item, "EXT"), Child(item, "MIME")};
    });
  }
  ReadList(host, "DIRECTORIES", site.Directories, [](const TXMLObject& item) {
    return WebDirectory{ReadAlias(item.ChildText("ALIAS")), Child(item, "PATH")};
  });
  ReadList(host, "HEADERS", site.Headers, [](const TXMLObject& item) {
    return ShortString(item.ChildText("HEADER") + ": " + item.ChildText("VAL"));
  });
  ReadList(host, "REDIRECT", site.Redirects, [](const TXMLObject& item) {
    return WebRedirect{Child(item, "WHAT"), Child(item, "TO")};
  });
  ReadList(host, "ERRORS", site.Errors, [](const TXMLObject& item) {
    return WebError{Child(item, "ERROR"),
                    static_cast<int32_t>(support::StrToIntVal(item.ChildText("TYPE"))),
                    Child(item, "VAL")};
  });
  ReadList(host, "ACCESS", site.Access, [](const TXMLObject& item) {
    return WebAccess{Child(item, "IP"),
                     static_cast<int32_t>(support::StrToIntVal(item.ChildText("MODE")))};
  });
  ReadList(host, "USERS", site.Users, [](const TXMLObject& item) {
    return WebUser{Child(item, "NAME"), Child(item, "PASS")};
  });
  return site;
}

// The sections of webserver.cfg; a block under any other header, or under
// none, holds option lines.
enum class Section {
  Options,
  Alias,
  Default,
  IpRestriction,
  Mime,
  Redirect,
  Headers,
  Filter,
  AuthUsers,
  Errors,
  VirtualHost
};

Section SectionOf(const std::string& header) {
  static const std::pair<const char*, Section> kSections[] = {
      {"[Alias]", Section::Alias},
      {"[Default]", Section::Default},
      {"[IP-Restriction]", Section::IpRestriction},
      {"[MIME]", Section::Mime},
      {"[Redirect]", Section::Redirect},
      {"[Headers]", Section::Headers},
      {"[Filter]", Section::Filter},
      {"[Auth-Users]", Section::AuthUsers},
      {"[Errors]", Section::Errors},
      {"[Virtual-Host]", Section::VirtualHost},
  };
  for (const auto& [name, section] : kSections)
    if (support::SameText(header, name)) return section;
  return Section::Options;
}

// The text before the first occurrence of c (all of it without one), and the text after it.
std::pair<std::string, std::string> SplitAt(const std::string& text, char c) {
  const std::size_t at = text.find(c);
  if (at == std::string::npos) return {text, ""};
  return {text.substr(0, at), text.substr(at + 1)};
}

// Folders of the old [Alias] section end in "\".
std::string AliasFolder(const std::string& text) {
  std::string folder = Replaced(text, '/', '\\');
  if (folder.empty() || folder.back() != '\\') folder += '\\';
  return ShortString(folder);
}

}  // namespace

void WebSite::SetMime(const std::string& ext, const std::string& mime) {
  WebMime item{ShortString(LowerCase(ext)), ShortString(LowerCase(mime))};
  for (WebMime& existing : Mime)
    if (existing.Ext == item.Ext) {
      existing = item;
      return;
    }
  Mime.push_back(item);
}

void WebSite::AddDefaultMime() {
  for (const auto& [ext, mime] : kDefaultMime) SetMime(ext, mime);
}

std::string LogPattern(const std::string& logFormat) {
  std::vector<std::string> names;
  support::SplitToList(logFormat, ' ', names);
  std::string pattern;
  for (const std::string& name : names) {
    const auto known = std::find(std::begin(kLogFields), std::end(kLogFields), name);
    if (known == std::end(kLogFields)) continue;
    pattern += '%';
    pattern += std::to_string(known - std::begin(kLogFields));
    pattern += ":s ";
  }
  if (!pattern.empty()) pattern.pop_back();
  return pattern;
}

WebExtension MakeExtension(const std::string& ext, const std::string& module,
                           const std::string& title) {
  WebExtension extension;
  extension.Ext = ShortString(LowerCase(ext));
  std::string name = LowerCase(module);
  const std::size_t close = name.find(')');
  int prefixType = -1;
  if (!name.empty() && name[0] == '(' && close != std::string::npos) {
    const std::string prefix = name.substr(0, close + 1);
    name.erase(0, close + 1);
    for (int type = 0; type < 4; ++type)
      if (prefix == kModulePrefixes[type]) prefixType = type;
  }
  if (prefixType < 0) prefixType = name.empty() || IsLibrary(name) ? 0 : 1;
  extension.Type = static_cast<ModuleType>(prefixType);
  extension.Module = ShortString(name);
  auto [first, rest] = SplitAt(LowerCase(title), ',');
  extension.Title = ShortString(first);
  extension.TitleRest = ShortString(rest);
  return extension;
}

void WebServerConfig::Clear() {
  Sites.clear();
  Options = {};
  lastLoad_.reset();
  lastSiteCount_ = 0;
}

int WebServerConfig::ParseDocument(const std::string& text) {
  Clear();
  Options.ReloadIsapi = 20000;
  TXMLObject root;
  // An incomplete document (a file cut short) gives nothing: saving what
  // could be read would lose the rest.
  const TXMLObject* web = root.ParseXML(text) ? root.FindChild("WEB") : nullptr;
  if (web) {
    if (const TXMLObject* options = web->FindChild("OPTIONS")) {
      if (options->FindChild("RELOADISAPI"))
        Options.ReloadIsapi =
            static_cast<uint32_t>(support::StrToIntVal(options->ChildText("RELOADISAPI")));
      Options.Http10 = support::XMLStrToBool(options->ChildText("HTTP10"));
      Options.LogFormat = ShortString(options->ChildText("LOGFORMAT"));
    }
    for (const auto& child : web->Children())
      if (child->Name() == "HOST") Sites.push_back(ReadSite(*child));
  }
  const int count = static_cast<int>(Sites.size());
  if (Sites.empty()) SiteByName("");
  if (Options.LogFormat.empty()) Options.LogFormat = kDefaultLogFormat;
  Options.LogPattern = LogPattern(Options.LogFormat);
  return count;
}

std::string WebServerConfig::Document() const {
  TXMLObject root;
  TXMLObject* web = root.AddChild("WEB");
  TXMLObject* options = web->AddChild("OPTIONS");
  options->AddChild("RELOADISAPI", support::XMLIntToStr(Options.ReloadIsapi));
  options->AddChild("HTTP10", support::XMLBoolToStr(Options.Http10));
  options->AddChild("LOGFORMAT", Options.LogFormat);
  for (const WebSite& site : Sites) WriteSite(site, *web->AddChild("HOST"));
  return root.GetXML(true, true);
}

bool WebServerConfig::Save(const std::string& path) {
  const std::string file = path.empty() ? configDir_ + "webserver.dat" : path;
  if (platform::DirectoryExists(file)) return false;
  return support::ReplaceFileContent(file, Document());
}

int WebServerConfig::Load(const std::string& path) {
  std::string file = path;
  if (file.empty()) {
    file = configDir_ + "webserver.dat";
    ConvertOldFile(file);
  }
  FileStamp stamp{file, 0, platform::FileSize(file)};
  const bool exists = stamp.size >= 0 && platform::GetFileModified(file, stamp.modified);
  if (exists && lastLoad_ == stamp) return lastSiteCount_;
  std::string text;
  const bool read = exists && support::ReadWholeFile(file, text);
  const int count = ParseDocument(read ? text : "");
  if (read) lastLoad_ = stamp;
  lastSiteCount_ = count;
  return count;
}

// The converted configuration is saved before the old file is moved aside, and
// the old file goes to a free name, so that a conversion never runs twice over
// a saved webserver.dat.
void WebServerConfig::ConvertOldFile(const std::string& datPath) {
  const std::string old = configDir_ + "webserver.cfg";
  std::string text;
  if (!platform::FileExists(old) || !support::ReadWholeFile(old, text)) return;
  ParseOldConfig(text);
  if (!Save(datPath)) return;
  for (int n = 0; n < 1000; ++n) {
    const std::string target = old + ".old" + (n == 0 ? "" : "." + std::to_string(n));
    if (platform::GetFileAttributes(target) != platform::kInvalidAttributes) continue;
    support::MoveFileTo(old, target);
    return;
  }
}

void WebServerConfig::ParseOldConfig(const std::string& text) {
  Clear();
  ParseSiteText(text, SiteByName(""), true);
}

std::size_t WebServerConfig::SiteByName(const std::string& name) {
  if (name.empty() && !Sites.empty()) return 0;
  for (std::size_t i = 0; i < Sites.size(); ++i)
    if (Sites[i].Name == name) return i;
  Sites.emplace_back();
  Sites.back().Name = ShortString(name);
  Sites.back().AddDefaultMime();
  return Sites.size() - 1;
}

// Blocks of lines separated by empty lines; a block's first line may be its
// section header. Text after the last line feed is a line too.
void WebServerConfig::ParseSiteText(const std::string& text, std::size_t index, bool global) {
  Section section = Section::Options;
  bool blockStart = true;
  for (std::size_t from = 0; from < text.size();) {
    std::size_t end = std::min(text.find('\n', from), text.size());
    const std::string line = support::StripComments(text.substr(from, end - from));
    from = end + 1;
    if (line.empty()) {
      blockStart = true;
      continue;
    }
    if (blockStart) {
      blockStart = false;
      section = line[0] == '[' ? SectionOf(line) : Section::Options;
      if (line[0] == '[') continue;
    }
    if (line[0] == ';') continue;
    // The value ends at a second "=".
    auto [key, value] = SplitAt(line, '=');
    key = LowerCase(key);
    value = SplitAt(value, '=').first;
    WebSite& site = Sites[index];
    switch (section) {
      case Section::Options:
        SetOption(key, value, index, global);
        break;
      case Section::Alias: {
        if (value.empty()) break;
        std::string alias = Replaced(key, '/', '\\');
        if (alias.starts_with('\\')) alias.erase(0, 1);
        site.Directories.push_back({AliasFolder(alias), AliasFolder(value)});
        break;
      }
      case Section::Default:
        site.Defaults.push_back(ShortString(key));
        break;
      case Section::IpRestriction:
        site.Access.push_back(
            {ShortString(key), static_cast<int32_t>(support::StrToIntVal(value))});
        break;
      case Section::Mime:
        site.SetMime(key, value);
        break;
      case Section::Redirect:
        site.Redirects.push_back({ShortString(key), ShortString(value)});
        break;
      case Section::Headers:
        site.Headers.push_back(ShortString(line));
        break;
      case Section::Filter: {
        auto [module, title] = SplitAt(value, '|');
        site.Extensions.push_back(MakeExtension(key, module, title));
        break;
      }
      case Section::AuthUsers:
        site.Users.push_back({ShortString(key), ShortString(value)});
        break;
      case Section::Errors: {
        auto [type, rest] = SplitAt(value, ';');
        site.Errors.push_back({ShortString(key), static_cast<int32_t>(support::StrToIntVal(type)),
                               ShortString(rest)});
        break;
      }
      case Section::VirtualHost:
        if (global) AddVirtualHost(key, value);
        break;
    }
  }
}

void WebServerConfig::SetOption(const std::string& key, const std::string& value, std::size_t index,
                                bool global) {
  if (global && key == "http10") {
    Options.Http10 = value == "1";
  } else if (global && key == "restart_isapi") {
    Options.ReloadIsapi = static_cast<uint32_t>(support::StrToIntVal(value));
  } else if (global && key == "defaultpath") {
    Sites[0].Path = ShortString(value);
  } else {
    for (const Scalar& scalar : kScalars)
      if (*scalar.oldKey && support::SameText(key, scalar.oldKey))
        SetScalar(Sites[index], scalar, value, false);
  }
}

// host=path|settings, the settings being a site text in Base64; or host/sub=path,
// which maps a path of that site to a module.
void WebServerConfig::AddVirtualHost(const std::string& key, const std::string& value) {
  auto [path, settings] = SplitAt(value, '|');
  const std::size_t slash = key.find('/');
  if (slash != std::string::npos) {
    WebSite& site = Sites[SiteByName(key.substr(0, slash))];
    site.Special.push_back(
        {ShortString(Replaced(key.substr(slash + 1), '/', '\\')), ShortString(path), ""});
    return;
  }
  const std::string text = support::Base64DecodeLenient(settings);
  const std::size_t index = SiteByName(key);
  Sites[index].Path = ShortString(path);
  Sites[index].UseGlobal = text.empty();
  Sites[index].AddDefaultMime();
  ParseSiteText(text, index, false);
}

}  // namespace upgrade
