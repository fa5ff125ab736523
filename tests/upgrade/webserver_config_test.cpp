// The web server configuration: webserver.dat written and read back, the
// conversion of an old webserver.cfg, and what Load does with the files.
#include "upgrade/webserver_config.h"

#include <gtest/gtest.h>

#include "common/scratch_dir.h"
#include "platform/files.h"
#include "support/base64.h"

namespace {

using testing_support::ReadFile;
using testing_support::ScratchDir;
using testing_support::WriteFile;
using upgrade::ModuleType;
using upgrade::WebServerConfig;
using upgrade::WebSite;

WebSite DefaultSite(const std::string& name = "") {
  WebSite site;
  site.Name = name;
  site.AddDefaultMime();
  return site;
}

// Every field set, with text that needs escaping and a byte of the code page.
WebSite FullSite() {
  WebSite s;
  s.UseGlobal = s.NoKeepOpenHttp = s.Logging = s.LoggingDebug = true;
  s.Name = "www.example.com";
  s.Description = "Caf\xe9 <&> \"site\" 'x'";
  s.Ip = "10.0.0.1";
  s.Path = "D:\\web\\caf\xe9\\";
  s.LoggingPath = "D:\\logs\\";
  s.DeleteLogs = 30;
  s.NoScripts = s.NoRead = s.Write = s.NoWebDav = s.NoPost = s.Executables = s.DirList = true;
  s.DefaultHost = "example.com";
  s.MaxConnections = 100;
  s.AuthMode = 200;
  s.AuthAdmin = s.AuthDomainAdmin = s.AuthUsers = true;
  s.ExpirationMode = 2;
  s.ExpirationMins = 1440;
  s.Extensions = {{".php", "php\\php.dll", "", "", ModuleType::Isapi},
                  {".pl", "c:\\perl\\perl.exe", "perl", "x,y", ModuleType::Cgi},
                  {".fcgi", "c:\\fcgi.exe", "", "", ModuleType::FastCgi},
                  {".shtml", "", "", "", ModuleType::Ssi},
                  {".x", "isapi.exe", "", "", ModuleType::Isapi}};
  s.Special = {{"webdav\\", "[webdav]", "webdav\\index.html"}};
  s.Defaults = {"index.html", "default.htm"};
  s.Mime = {{".md", "text/markdown"}};
  s.Directories = {{"/docs/", "D:\\docs\\"}, {"*", ""}};
  s.Headers = {"X-Frame-Options: DENY"};
  s.Redirects = {{"/old", "http://example.com/new?a=1&b=2"}};
  s.Errors = {{"404", 1, "/missing.html"}};
  s.Access = {{"10.0.0.*", 2}};
  s.Users = {{"admin", "p&ss<>"}};
  return s;
}

TEST(WebServerConfigTest, EveryFieldSurvivesWriteAndRead) {
  WebServerConfig config;
  config.Options = {7, true, "date time", ""};
  config.Sites = {FullSite(), DefaultSite("b")};
  const std::string document = config.Document();

  WebServerConfig read;
  EXPECT_EQ(read.ParseDocument(document), 2);
  EXPECT_EQ(read.Options, (upgrade::WebOptions{7, true, "date time", "%2:s %3:s"}));
  ASSERT_EQ(read.Sites.size(), 2u);
  EXPECT_EQ(read.Sites[0], FullSite());
  EXPECT_EQ(read.Sites[1], DefaultSite("b"));
  EXPECT_EQ(read.Document(), document);
}

TEST(WebServerConfigTest, WritesTheFormsTheServerReads) {
  WebServerConfig config;
  config.Sites = {FullSite(), WebSite{}};
  const std::string document = config.Document();
  for (const char* expected :
       {"<MODULE>php\\php.dll</MODULE>", "<MODULE>(cgi)c:\\perl\\perl.exe</MODULE>",
        "<MODULE>(fastcgi)c:\\fcgi.exe</MODULE>", "<MODULE>(ssi)</MODULE>",
        "<MODULE>(isapi)isapi.exe</MODULE>", "<TITLE>perl,x,y</TITLE>", "<TITLE>/webdav/</TITLE>",
        "<HEADER>X-Frame-Options</HEADER>\r\n<VAL>DENY</VAL>", "<DESC>Caf\xc3\xa9 &lt;&amp;&gt;",
        "<RELOADISAPI/>\r\n<HTTP10>0</HTTP10>\r\n<LOGFORMAT/>"})
    EXPECT_NE(document.find(expected), std::string::npos) << expected;
  // Lists in their order.
  std::size_t last = 0;
  for (const char* list : {"<EXTENSIONS>", "<SPECIAL>", "<DEFAULTS>", "<MIME>", "<DIRECTORIES>",
                           "<HEADERS>", "<REDIRECT>", "<ERRORS>", "<ACCESS>", "<USERS>"}) {
    const std::size_t at = document.find(list);
    EXPECT_GT(at, last) << list;
    last = at;
  }
  // An empty site: scalars in their order, zeros as the server writes them, no lists.
  EXPECT_NE(document.find(
                "<HOST><USEGLOBAL>0</USEGLOBAL>\r\n<NAME/>\r\n<DESC/>\r\n<IP/>\r\n<PATH/>\r\n"
                "<NOKEEPOPENHTTP>0</NOKEEPOPENHTTP>\r\n<LOGGING>0</LOGGING>\r\n"
                "<LOGGINGDEBUG>0</LOGGINGDEBUG>\r\n<LOGGINGPATH/>\r\n<DELETELOGS/>\r\n"
                "<NOSCRIPTS>0</NOSCRIPTS>\r\n<NOREAD>0</NOREAD>\r\n<WRITE>0</WRITE>\r\n"
                "<NOWEBDAV>0</NOWEBDAV>\r\n<NOPOST>0</NOPOST>\r\n<EXECUTABLES>0</EXECUTABLES>\r\n"
                "<DIRLIST>0</DIRLIST>\r\n<DEFAULTHOST/>\r\n<MAXCONNECTIONS/>\r\n"
                "<AUTHMODE>0</AUTHMODE>\r\n<AUTHADMIN>0</AUTHADMIN>\r\n"
                "<AUTHDOMAINADMIN>0</AUTHDOMAINADMIN>\r\n<AUTHUSERS>0</AUTHUSERS>\r\n"
                "<EXPIRATIONMODE>0</EXPIRATIONMODE>\r\n<EXPIRATIONMINS/>\r\n</HOST>\r\n</WEB>"),
            std::string::npos);
}

TEST(WebServerConfigTest, ModuleTypeComesFromThePrefixOrTheName) {
  struct Case {
    const char* module;
    ModuleType type;
    const char* name;
  };
  const Case cases[] = {
      {"(FastCGI)C:\\PHP\\php-cgi.exe", ModuleType::FastCgi, "c:\\php\\php-cgi.exe"},
      {"(cgi)x.dll", ModuleType::Cgi, "x.dll"},
      {"(ISAPI)x.exe", ModuleType::Isapi, "x.exe"},
      {"(ssi)", ModuleType::Ssi, ""},
      {"(odd)X.DLL", ModuleType::Isapi, "x.dll"},
      {"(odd)x.exe", ModuleType::Cgi, "x.exe"},
      {"perl.exe", ModuleType::Cgi, "perl.exe"},
      {"(cgi", ModuleType::Cgi, "(cgi"},
      {"", ModuleType::Isapi, ""},
  };
  for (const Case& c : cases) {
    upgrade::WebExtension e = upgrade::MakeExtension(".PHP", c.module, "A,B,C");
    EXPECT_EQ(e.Type, c.type) << c.module;
    EXPECT_EQ(e.Module, c.name) << c.module;
    EXPECT_EQ(e.Ext + e.Title + "|" + e.TitleRest, ".phpa|b,c");
  }
}

TEST(WebServerConfigTest, ReadsWhatOtherWritersLeave) {
  WebServerConfig config;
  EXPECT_EQ(config.ParseDocument(
                "<WEB><OPTIONS><HTTP10>TRUE</HTTP10></OPTIONS><NOTHOST><NAME>x</NAME></NOTHOST>"
                "<HOST><LOGGING>true</LOGGING><WRITE> 1</WRITE><NOREAD>yes</NOREAD>"
                "<AUTHMODE>300</AUTHMODE><SPECIAL><ITEM><TITLE>/a/b</TITLE></ITEM>"
                "<ITEM><TITLE>\\c</TITLE></ITEM><ITEM><TITLE>//d</TITLE></ITEM></SPECIAL>"
                "<DIRECTORIES><ITEM><ALIAS>*</ALIAS></ITEM><ITEM><ALIAS>docs</ALIAS></ITEM>"
                "<ITEM><ALIAS>\\a\\b</ALIAS></ITEM><ITEM><ALIAS>*x</ALIAS></ITEM>"
                "<ITEM><ALIAS>x*</ALIAS></ITEM><ITEM/></DIRECTORIES>"
                "<MIME><ITEM><EXT>.A</EXT><MIME>x/a</MIME></ITEM><OTHER/>"
                "<ITEM><EXT>.A</EXT><MIME>x/b</MIME></ITEM></MIME>"
                "<HEADERS><ITEM><HEADER>X</HEADER><VAL>1: 2</VAL></ITEM></HEADERS></HOST>"
                "<HOST><MIME/></HOST><HOST/></WEB>"),
            3);
  EXPECT_EQ(config.Options,
            (upgrade::WebOptions{20000, true, upgrade::kDefaultLogFormat,
                                 "%0:s %1:s %2:s %3:s %4:s %5:s %6:s %7:s %8:s %9:s %10:s"}));
  ASSERT_EQ(config.Sites.size(), 3u);
  const WebSite& site = config.Sites[0];
  EXPECT_TRUE(site.Logging);
  EXPECT_FALSE(site.Write || site.NoRead);
  EXPECT_EQ(site.AuthMode, 44);  // an 8-bit field
  std::vector<std::string> titles, aliases;
  for (const auto& s : site.Special) titles.push_back(s.Title);
  for (const auto& d : site.Directories) aliases.push_back(d.Alias);
  EXPECT_EQ(titles, (std::vector<std::string>{"a\\b", "c", "\\d"}));
  EXPECT_EQ(aliases, (std::vector<std::string>{"*", "/docs/", "/a/b/", "*x/", "/x*", "/"}));
  EXPECT_EQ(site.Mime, (std::vector<upgrade::WebMime>{{".A", "x/a"}, {".A", "x/b"}}));
  EXPECT_EQ(site.Headers, std::vector<std::string>{"X: 1: 2"});
  EXPECT_TRUE(config.Sites[1].Mime.empty());  // an empty list in the file stays empty
  EXPECT_EQ(config.Sites[2], DefaultSite());
}

TEST(WebServerConfigTest, LogPatternFromTheFieldNames) {
  const std::pair<std::string, std::string> cases[] = {
      {"date  time bogus c-ip", "%2:s %3:s %0:s"},
      {"cs(User-Agent) cs(referer) bytes", "%10:s %8:s"},
      {"bogus", ""},
      {"", ""},
  };
  for (const auto& [format, pattern] : cases) EXPECT_EQ(upgrade::LogPattern(format), pattern);
}

// A site text of a virtual host as the old setup stored it: Base64 with stray characters.
std::string VirtualHostSettings(const std::string& text) {
  std::string encoded = support::Base64Encode(text);
  encoded.insert(encoded.size() / 2, "!~");
  return encoded;
}

const std::string kOldConfig =
    "# the web server\n"
    "DefaultPath=C:\\web\\\n"
    "HTTP10=1\n"
    "Restart_ISAPI=5000\n"
    "logging=1 # on\n"
    "; MaxConnections=99\n"
    "MaxConnections=40\n"
    "AuthUser=1\n"
    "ExpireMode=2\n"
    "NoPost=true\n"
    "Description=Main=cut\n"
    "\n"
    "[Alias]\n"
    "/Docs/=D:/docs\n"
    "empty=\n"
    "\r\n"
    "[default]\n"
    "Index.html\n"
    "[MIME]\n"
    ".x=y\n"
    "\n"
    "[MIME]\n"
    ".HTML=Text/X-Html\n"
    ".svg=image/svg+xml\n"
    "\n"
    "[Filter]\n"
    ".PHP=php\\php.dll|PHP,Script\n"
    ".pl=(CGI)C:\\Perl\\perl.exe\n"
    "=[webdav]|x\n"
    "\n"
    "[Errors]\n"
    "404=1;/missing.html;x\n"
    "\n"
    "[IP-Restriction]\n"
    "10.0.0.*=1\n"
    "\n"
    "[Redirect]\n"
    "/Old=/new\n"
    "\n"
    "[Headers]\n"
    "  X-Powered-By: Orvik  \n"
    "\n"
    "[Auth-Users]\n"
    "Admin=secret\n"
    "\n"
    "[Unknown]\n"
    "Write=1\n"
    "\n"
    "[Virtual-Host]\n"
    "www.example.com=D:\\example|" +
    VirtualHostSettings(
        "Description=Example\nRestart_ISAPI=1\nHTTP10=0\nDefaultPath=X:\\\nNoPost=1\n\n"
        "[MIME]\n.md=text/markdown\n\n[Virtual-Host]\nnested.example=D:\\nested|\n") +
    "\n"
    "/webdav=[webdav]\n"
    "www.example.com/cgi/bin=(cgi)x.exe|ignored\n"
    "Plain.example.com=D:\\plain|\n"
    "late.example.com=D:\\late|" +
    VirtualHostSettings("Logging=1");  // no line feed after the last line

TEST(WebServerConfigTest, ConvertsTheOldFile) {
  WebServerConfig config;
  config.ParseOldConfig(kOldConfig);
  EXPECT_TRUE(config.Options.Http10);
  EXPECT_EQ(config.Options.ReloadIsapi, 5000u);

  WebSite main = DefaultSite();
  main.Path = "C:\\web\\";
  main.Logging = main.AuthUsers = true;
  main.Write = true;  // an option under an unknown header
  main.MaxConnections = 40;
  main.ExpirationMode = 2;
  main.Description = "Main";
  main.Directories = {{"docs\\", "D:\\docs\\"}};
  // "[MIME]" not first in its block is a default document, and so is what follows.
  main.Defaults = {"index.html", "[mime]", ".x"};
  main.SetMime(".html", "text/x-html");
  main.SetMime(".svg", "image/svg+xml");
  main.Extensions = {{".php", "php\\php.dll", "php", "script", ModuleType::Isapi},
                     {".pl", "c:\\perl\\perl.exe", "", "", ModuleType::Cgi},
                     {"", "[webdav]", "x", "", ModuleType::Cgi}};
  main.Errors = {{"404", 1, "/missing.html;x"}};
  main.Access = {{"10.0.0.*", 1}};
  main.Redirects = {{"/old", "/new"}};
  main.Headers = {"X-Powered-By: Orvik"};
  main.Users = {{"admin", "secret"}};
  main.Special = {{"webdav", "[webdav]", ""}};

  WebSite example = DefaultSite("www.example.com");
  example.Path = "D:\\example";
  example.Description = "Example";
  example.NoPost = true;
  example.SetMime(".md", "text/markdown");
  example.Special = {{"cgi\\bin", "(cgi)x.exe", ""}};

  WebSite plain = DefaultSite("plain.example.com");
  plain.Path = "D:\\plain";
  plain.UseGlobal = true;

  WebSite late = DefaultSite("late.example.com");
  late.Path = "D:\\late";
  late.Logging = true;

  ASSERT_EQ(config.Sites.size(), 4u);
  EXPECT_EQ(config.Sites[0], main);
  EXPECT_EQ(config.Sites[1], example);
  EXPECT_EQ(config.Sites[2], plain);
  EXPECT_EQ(config.Sites[3], late);
}

class WebServerFilesTest : public testing::Test {
 protected:
  void SetUp() override { config.SetConfigDir(dir.Path()); }
  std::string Path(const std::string& name) { return dir.Path() + name; }

  ScratchDir dir;
  WebServerConfig config;
};

// A file that holds no site is reported so, and Load leaves it as it is.
TEST_F(WebServerFilesTest, NoSiteFromAMissingCorruptOrEmptyFile) {
  const std::pair<const char*, const char*> cases[] = {
      {"missing", nullptr},
      {"empty", ""},
      {"cut short", "<WEB><OPTIONS/><HOST><NAME>a</NAME></HOST><HOST><NAME>b"},
      {"no WEB", "<OTHER><HOST/></OTHER>"},
      {"no HOST", "<WEB><OPTIONS/></WEB>"},
      {"junk after the end", "<WEB><HOST/></WEB></WEB>"},
  };
  for (const auto& [name, content] : cases) {
    const std::string file = Path(std::string(name) + ".dat");
    if (content) {
      ASSERT_TRUE(WriteFile(file, content));
    }
    EXPECT_EQ(config.Load(file), 0) << name;
    EXPECT_EQ(config.Sites, std::vector<WebSite>{DefaultSite()}) << name;
    EXPECT_EQ(config.Options.LogFormat, upgrade::kDefaultLogFormat) << name;
    if (content) {
      EXPECT_EQ(ReadFile(file), content) << name;
    }
  }
  ASSERT_TRUE(platform::CreateDirectory(Path("folder.dat")));
  EXPECT_EQ(config.Load(Path("folder.dat")), 0);
  EXPECT_TRUE(platform::DirectoryExists(Path("folder.dat")));
}

// The converted file is saved first; the old one then goes to the first free backup name.
TEST_F(WebServerFilesTest, ConversionSavesThenMovesTheOldFileToAFreeName) {
  const std::vector<std::string> taken = {"webserver.cfg.old", "webserver.cfg.old.1"};
  for (std::size_t present = 0; present <= taken.size(); ++present) {
    ScratchDir folder;
    config.SetConfigDir(folder.Path());
    for (std::size_t i = 0; i < present; ++i) ASSERT_TRUE(WriteFile(folder.Path() + taken[i], "x"));
    ASSERT_TRUE(WriteFile(folder.Path() + "webserver.cfg", kOldConfig));

    EXPECT_EQ(config.Load(), 4);
    EXPECT_FALSE(platform::FileExists(folder.Path() + "webserver.cfg"));
    const std::string backup =
        present == 0 ? "webserver.cfg.old" : "webserver.cfg.old." + std::to_string(present);
    EXPECT_EQ(ReadFile(folder.Path() + backup), kOldConfig) << backup;
    // The saved file is read again: its LOGFORMAT was empty.
    EXPECT_EQ(config.Options.LogFormat, upgrade::kDefaultLogFormat);
    EXPECT_EQ(config.Sites[1].Name, "www.example.com");

    // An edit saved after the conversion stays: nothing converts again.
    config.Sites[0].Extensions.push_back(upgrade::MakeExtension(".php5", "php\\php.dll", ""));
    ASSERT_TRUE(config.Save());
    WebServerConfig later;
    later.SetConfigDir(folder.Path());
    EXPECT_EQ(later.Load(), 4);
    EXPECT_EQ(later.Sites[0].Extensions.back().Ext, ".php5");
  }
}

TEST_F(WebServerFilesTest, OldFileStaysWhenTheConversionCannotBeSaved) {
  ASSERT_TRUE(WriteFile(Path("webserver.cfg"), kOldConfig));
  ASSERT_TRUE(platform::CreateDirectory(Path("webserver.dat")));
  EXPECT_EQ(config.Load(), 0);
  EXPECT_EQ(ReadFile(Path("webserver.cfg")), kOldConfig);
  EXPECT_FALSE(platform::FileExists(Path("webserver.cfg.old")));
}

// A load is skipped only for the same path, time and size.
TEST_F(WebServerFilesTest, UnchangedFileIsNotReadAgain) {
  const std::string first = "<WEB><HOST><NAME>first</NAME></HOST></WEB>";
  const std::string other = "<WEB><HOST><NAME>other</NAME></HOST></WEB>";  // same size
  const std::string longer = "<WEB><HOST><NAME>longer</NAME></HOST></WEB>";
  const std::string bigger = "<WEB><HOST><NAME>bigger</NAME></HOST></WEB>";
  const std::string file = Path("webserver.dat"), copy = Path("copy.dat");
  double stamp = 0;
  ASSERT_TRUE(WriteFile(file, first));
  ASSERT_TRUE(platform::GetFileModified(file, stamp));
  ASSERT_EQ(config.Load(file), 1);

  struct Step {
    const char* what;
    std::string path, content;
    double modified;
    const char* name;
  };
  const double millisecond = 1.0 / 86400000;
  const Step steps[] = {
      {"same path, time and size", file, other, stamp, "first"},
      {"a millisecond later", file, other, stamp + millisecond, "other"},
      {"same time, other size", file, longer, stamp + millisecond, "longer"},
      {"same time and size, other path", copy, bigger, stamp + millisecond, "bigger"},
      {"same time and size, back to the first path", file, longer, stamp + millisecond, "longer"},
  };
  for (const Step& step : steps) {
    ASSERT_TRUE(WriteFile(step.path, step.content));
    ASSERT_TRUE(platform::SetFileModified(step.path, step.modified));
    EXPECT_EQ(config.Load(step.path), 1) << step.what;
    EXPECT_EQ(config.Sites[0].Name, step.name) << step.what;
  }
}

}  // namespace
