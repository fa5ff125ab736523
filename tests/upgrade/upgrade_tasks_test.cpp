// The upgrade task runner on a scratch installation: which tasks a previous
// version runs, what they change in settings.cfg and webserver.dat, the folder
// moves, and the request to the web administration (nginx stands in for it).
#include "upgrade/upgrade_tasks.h"

#include <gtest/gtest.h>

#include <fstream>
#include <set>
#include <sstream>

#include "common/peers.h"
#include "common/scratch_dir.h"
#include "platform/files.h"
#include "serverconfig/domain_list.h"
#include "serverconfig/scramble.h"
#include "support/system_utils.h"
#include "upgrade/webserver_config.h"

#ifndef _WIN32
#include "product/server_modules.h"
#include "simulator/simulator.h"
#endif

namespace {

namespace fields = serverconfig::settings;
using testing_support::ReadFile;
using testing_support::WriteFile;

class UpgradeTasksTest : public testing::Test {
 protected:
  UpgradeTasksTest() { platform::CreateDirectory(Config("")); }

  std::string Config(const std::string& name) const { return dir_.Path() + "config\\" + name; }
  void WriteSettings(const serverconfig::TFixedRecord& record, std::size_t length = 0) {
    std::string bytes = serverconfig::ScrambledCopy(record);
    if (length != 0) bytes.resize(length);
    ASSERT_TRUE(WriteFile(Config("settings.cfg"), bytes));
  }
  std::string ReadSettings() const {
    std::string bytes = ReadFile(Config("settings.cfg"));
    serverconfig::ScrambleBytes(reinterpret_cast<uint8_t*>(bytes.data()), bytes.size());
    return bytes;
  }
  // A settings record whose web administration is the given port and whose
  // domain count is set; it holds the values a load would otherwise make up.
  static serverconfig::TFixedRecord Settings(int port, uint32_t domains) {
    serverconfig::TFixedRecord record(fields::kRecordSize);
    record.SetDouble(fields::kCreationDate, 45000);
    record.SetStr(fields::kGroupwareUser, fields::kGroupwareSize, "gw");
    record.SetWord(fields::kWebAdminPort, static_cast<uint16_t>(port));
    record.SetDWord(fields::kDomainCount, domains);
    record.SetByte(fields::kDomainsConverted, 1);
    return record;
  }
  // A domains.cfg of that many domains, as the domain count of the settings says.
  void WriteDomains(uint32_t count) {
    std::string bytes;
    for (uint32_t i = 0; i < count; ++i) {
      std::string name = std::to_string(i);
      name += ".example";
      std::string entry(serverconfig::domain::kEntrySize, '\0');
      entry[0] = static_cast<char>(name.size());
      entry.replace(1, name.size(), name);
      bytes += entry;
    }
    ASSERT_TRUE(WriteFile(Config("domains.cfg"), bytes));
  }
  void Run(const std::string& version) {
    serverconfig::TConfigStore store;
    upgrade::RunUpgradeTasks(store, version, dir_.Path());
  }

  testing_support::ScratchDir dir_;
};

TEST(UpgradeVersionTest, OnlyVersionNumbersAreCompared) {
  for (const char* good : {"7", "7.0", "8.5.3", "8.5.3-11", "8.10.1"})
    EXPECT_TRUE(upgrade::IsComparableVersion(good)) << good;
  for (const char* bad :
       {"", "abc", "8.x", "8.5-3", "8.5.3-", "8..3", "1.2.3.4", " 8.5.3", "8.5.3-1-2"})
    EXPECT_FALSE(upgrade::IsComparableVersion(bad)) << bad;
}

// Each task changes its own bytes of settings.cfg and nothing else: compared
// with what loading and saving alone write.
TEST_F(UpgradeTasksTest, SettingsTasksChangeOnlyTheirBytes) {
  serverconfig::TFixedRecord record = Settings(1, 25);  // 25 domains: no request
  record.SetStr(fields::kLocalAddresses, fields::kAddressListSize, "127.0.0.1");
  record.SetDWord(fields::kScaledBy60, 5);
  record.SetDWord(fields::kScaledBy1024, 5000000);  // x 1024 does not fit: the largest value
  record.SetByte(fields::kResolverByte, 7);
  record.SetDWord(fields::kResolverValue, 9);
  // kScaledBy1440 is 0 in the file: the load's default (already in minutes) stays.
  WriteSettings(record);
  Run("8.9.0-1");  // no task: load and save happen only through the tasks
  const std::string untouched = ReadFile(Config("settings.cfg"));
  {
    serverconfig::TConfigStore store;
    store.Dirs.InstallDir = dir_.Path();
    store.Dirs.ConfigDir = Config("");
    store.LoadServerConfig(false, false);
    store.SaveServerConfig(false);
  }
  std::string baseline = ReadSettings();
  WriteFile(Config("settings.cfg"), untouched);
  Run("7.0");
  const std::string converted = ReadSettings();
  ASSERT_EQ(converted.size(), baseline.size());
  std::set<std::size_t> changed;
  for (std::size_t i = 0; i < converted.size(); ++i)
    if (converted[i] != baseline[i]) changed.insert(i);
  EXPECT_EQ(changed,
            (std::set<std::size_t>{
                fields::kLocalAddresses, fields::kScaledBy60, fields::kScaledBy60 + 1,
                fields::kScaledBy1024, fields::kScaledBy1024 + 1, fields::kScaledBy1024 + 2,
                fields::kScaledBy1024 + 3, fields::kResolverByte, fields::kResolverValue}));
  serverconfig::TFixedRecord result(fields::kRecordSize);
  std::copy(converted.begin(), converted.end(), result.Data());
  EXPECT_EQ(result.Byte(fields::kLocalAddresses), 0);
  EXPECT_EQ(result.DWord(fields::kScaledBy60), 300u);
  EXPECT_EQ(result.DWord(fields::kScaledBy1440), 2880u);
  EXPECT_EQ(result.DWord(fields::kScaledBy1024), 0xFFFFFFFFu);
  EXPECT_EQ(result.Byte(fields::kResolverByte), 3);
  EXPECT_EQ(result.DWord(fields::kResolverValue), 1u);
}

TEST_F(UpgradeTasksTest, AShortOldSettingsFileIsNotConverted) {
  serverconfig::TFixedRecord record = Settings(1, 25);
  record.SetDWord(fields::kScaledBy60, 5);
  WriteSettings(record, fields::kScaledBy60);  // the file ends before the value
  Run("8.5.7-4");
  serverconfig::TFixedRecord result(fields::kRecordSize);
  const std::string converted = ReadSettings();
  std::copy(converted.begin(), converted.end(), result.Data());
  EXPECT_EQ(result.DWord(fields::kScaledBy60), 0u);
}

// A run killed once a task has finished resumes from the threshold it was told
// last: each value is converted exactly once, wherever the first run ended.
TEST_F(UpgradeTasksTest, ARunEndedAfterATaskResumesAfterIt) {
  struct Killed {};
  serverconfig::TFixedRecord record = Settings(1, 25);  // 25 domains: no request
  record.SetDWord(fields::kScaledBy60, 5);
  record.SetDWord(fields::kScaledBy1440, 2);
  record.SetDWord(fields::kScaledBy1024, 3);
  for (const std::string ended : {"8.5.7-5", "8.5.7-6", "8.6.9"}) {
    WriteSettings(record);
    std::string told;
    serverconfig::TConfigStore store;
    EXPECT_THROW(upgrade::RunUpgradeTasks(store, "8.5.3", dir_.Path(),
                                          [&](const std::string& threshold) {
                                            told = threshold;
                                            if (threshold == ended) throw Killed();
                                          }),
                 Killed);
    Run(told);
    const std::string converted = ReadSettings();
    serverconfig::TFixedRecord result(fields::kRecordSize);
    std::copy(converted.begin(), converted.end(), result.Data());
    EXPECT_EQ(result.DWord(fields::kScaledBy60), 300u) << ended;
    EXPECT_EQ(result.DWord(fields::kScaledBy1440), 2880u) << ended;
    EXPECT_EQ(result.DWord(fields::kScaledBy1024), 3072u) << ended;
  }
}

// The queue "forward" became "_outgoing", which normally exists: what it holds
// is moved in entry by entry, and a name taken there stays where it was.
TEST_F(UpgradeTasksTest, RenamedFoldersMergeWithoutReplacing) {
  WriteSettings(Settings(1, 25));
  const std::string mail = dir_.Path() + "mail\\";
  for (const char* folder : {"mail", "mail\\forward", "mail\\forward\\retry", "mail\\_outgoing",
                             "mail\\_outgoing\\retry", "config\\certs"})
    platform::CreateDirectory(dir_.Path() + folder);
  WriteFile(mail + "forward\\a.eml", "a");
  WriteFile(mail + "forward\\b.eml", "old b");
  WriteFile(mail + "forward\\retry\\c.eml", "c");
  WriteFile(mail + "_outgoing\\b.eml", "new b");
  WriteFile(Config("certs\\server.pem"), "pem");
  Run("8.5.2-9");
  EXPECT_EQ(ReadFile(mail + "_outgoing\\a.eml"), "a");
  EXPECT_EQ(ReadFile(mail + "_outgoing\\retry\\c.eml"), "c");
  EXPECT_EQ(ReadFile(mail + "_outgoing\\b.eml"), "new b");
  EXPECT_EQ(ReadFile(mail + "forward\\b.eml"), "old b");
  EXPECT_FALSE(platform::DirectoryExists(mail + "forward\\retry"));
  EXPECT_EQ(ReadFile(Config("_certs\\server.pem")), "pem");
  EXPECT_FALSE(platform::DirectoryExists(Config("certs")));
}

TEST_F(UpgradeTasksTest, WebTasksAddWebDavAndPhpOnceAndLeaveAFileWithoutSites) {
  WriteSettings(Settings(1, 25));
  Run("8.5.1");
  EXPECT_FALSE(platform::FileExists(Config("webserver.dat")));

  upgrade::WebServerConfig web;
  web.Sites.emplace_back();
  web.Sites[0].Name = "default";
  ASSERT_TRUE(web.Save(Config("webserver.dat")));
  Run("8.5.1");
  const std::string once = ReadFile(Config("webserver.dat"));
  Run("8.5.1");
  EXPECT_EQ(ReadFile(Config("webserver.dat")), once);

  upgrade::WebServerConfig loaded;
  ASSERT_EQ(loaded.Load(Config("webserver.dat")), 1);
  const upgrade::WebSite& site = loaded.Sites[0];
  ASSERT_EQ(site.Extensions.size(), 2u);
  EXPECT_EQ(site.Extensions[0].Title, "[webdav]");
  EXPECT_EQ(site.Extensions[0].Module, "php\\php.dll");
  EXPECT_EQ(site.Extensions[1].Ext, ".php");
  ASSERT_EQ(site.Special.size(), 1u);
  EXPECT_EQ(site.Special[0].Title, "webdav\\");
  EXPECT_EQ(site.Special[0].Script, "webdav\\index.html");
}

#ifdef ORVIK_PEERS_DIR
// Fewer than 20 domains (and 2000 accounts): the web administration is asked
// to convert the IMAP rules; from 20 domains on it is not.
TEST_F(UpgradeTasksTest, ImapRulesAreConvertedByTheWebAdministrationOfSmallServers) {
  const int port = testing_support::PeerPort("http-plain");
  ASSERT_NE(port, 0);
  const std::string log = testing_support::PeerFile("nginx\\access.log");
  auto requests = [&] {
    std::ifstream in(log);
    std::string line;
    int count = 0;
    while (std::getline(in, line))
      count += line.find("GET /admin/tools/convert_imap_rules.html HTTP/1.1") != std::string::npos;
    return count;
  };
  for (auto [domains, asked] : {std::pair{19u, 1}, std::pair{20u, 0}}) {
    WriteSettings(Settings(port, domains));
    WriteDomains(domains);
    const int before = requests();
    Run("8.9.0");
    EXPECT_EQ(requests() - before, asked) << domains << " domains";
  }
}
#endif

#ifndef _WIN32
// Every version test tells the five modules to reload (SMTP, POP3, IM,
// GroupWare, Control); the tasks' own commands come between.
class UpgradeNotificationTest : public UpgradeTasksTest {
 protected:
  void SetUp() override {
    simulator::ClearModuleStandins();
    support::ServiceMode = true;
    for (const char* name :
         {"OrvikSMTP", "OrvikPOP3", "OrvikControl", "OrvikIM", "OrvikCalendar"}) {
      simulator::StandinService s;
      s.Name = name;
      s.State = platform::kServiceRunning;
      simulator::AddService(s);
      simulator::AddPipe(name);
    }
    WriteSettings(Settings(1, 25));
  }
  void TearDown() override { support::ServiceMode = false; }

  // "wParam/lParam" of each command to a module, reloads counted apart.
  static std::vector<std::string> Commands(const std::string& service, int& reloads) {
    std::vector<std::string> commands;
    reloads = 0;
    for (const std::string& m : simulator::PipeMessages(service)) {
      auto word = [&](int i) {
        uint32_t v = 0;
        for (int b = 3; b >= 0; --b) v = (v << 8) | static_cast<uint8_t>(m[4 * i + b]);
        return v;
      };
      if (word(2) == 0x101) {
        ++reloads;
      } else {
        std::ostringstream text;
        text << std::hex << word(2) << "/" << std::dec << word(3);
        commands.push_back(text.str());
      }
    }
    return commands;
  }
};

TEST_F(UpgradeNotificationTest, TheVersionDecidesWhichCommandsAreSent) {
  using List = std::vector<std::string>;
  struct Case {
    const char* version;
    List smtp, groupware;
    int reloads;
  };
  const Case cases[] = {
      {"7.0",
       {"2/0", "3/1", "4/2", "4/3", "4/4", "2/9", "2/10", "4/11", "4/15", "4/16", "4/18", "2/21",
        "2/22"},
       {"f01/0", "f05/5", "f05/6", "f05/8", "f05/12", "f05/13", "f05/14", "f05/19", "f05/20"},
       26},
      {"8.5.3", {"2/21", "2/22"}, {"f05/20"}, 26},
      {"8.5.3-7", {"2/21", "2/22"}, {}, 26},
      {"8.10.1", {}, {}, 26},
      {"8.x", {}, {}, 0},
  };
  for (const Case& c : cases) {
    for (const char* name : {"OrvikSMTP", "OrvikPOP3", "OrvikControl", "OrvikIM", "OrvikCalendar"})
      simulator::AddPipe(name);  // a fresh message log
    Run(c.version);
    int reloads = 0;
    EXPECT_EQ(Commands("OrvikSMTP", reloads), c.smtp) << c.version;
    EXPECT_EQ(reloads, c.reloads) << c.version;
    EXPECT_EQ(Commands("OrvikCalendar", reloads), c.groupware) << c.version;
    for (const char* name : {"OrvikPOP3", "OrvikControl", "OrvikIM"}) {
      EXPECT_TRUE(Commands(name, reloads).empty());
      EXPECT_EQ(reloads, c.reloads) << c.version << " " << name;
    }
  }
  // The reloads of one version test: SMTP, POP3, IM, GroupWare, then Control.
  const std::vector<std::string> calls = simulator::ServiceCallLog();
  ASSERT_GE(calls.size(), 5u);
  EXPECT_EQ(std::vector<std::string>(calls.end() - 5, calls.end()),
            (std::vector<std::string>{"Pipe OrvikSMTP", "Pipe OrvikPOP3", "Pipe OrvikIM",
                                      "Pipe OrvikCalendar", "Pipe OrvikControl"}));
}
#endif

}  // namespace
