// settings.cfg: scrambling, field layout, defaults and corrections, short and
// missing files, path.dat and the files read with the settings.
#include <gtest/gtest.h>

#ifdef _WIN32
#include <windows.h>
#endif

#include "platform/files.h"
#include "serverconfig/config_fixture.h"
#include "serverconfig/scramble.h"
#include "serverconfig/settings_defaults.h"
#include "support/file_utils.h"

namespace serverconfig_test {
namespace {

namespace s = serverconfig::settings;

TEST(ScrambleTest, RoundTripAndKeyPosition) {
  std::vector<uint8_t> data(40);
  for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>(i * 7);
  std::vector<uint8_t> original = data;
  serverconfig::ScrambleBytes(data.data(), data.size());
  EXPECT_NE(data, original);
  // The key repeats every 16 bytes: equal bytes 16 apart scramble equally.
  std::vector<uint8_t> zeros(32, 0);
  serverconfig::ScrambleBytes(zeros.data(), zeros.size());
  EXPECT_TRUE(std::equal(zeros.begin(), zeros.begin() + 16, zeros.begin() + 16));
  // A part scrambled on its own with its position gives the bytes of the whole.
  std::vector<uint8_t> tail(original.begin() + 24, original.end());
  serverconfig::ScrambleBytes(tail.data(), tail.size(), 24);
  EXPECT_TRUE(std::equal(tail.begin(), tail.end(), data.begin() + 24));
  serverconfig::ScrambleBytes(data.data(), data.size());
  EXPECT_EQ(data, original);
}

TEST(FixedRecordTest, LittleEndianFieldsAndClampedStrings) {
  TFixedRecord r(64);
  r.SetWord(1, 0x1234);
  r.SetDWord(3, 0xA1B2C3D4);
  EXPECT_EQ(r.Byte(1), 0x34);
  EXPECT_EQ(r.Byte(2), 0x12);
  EXPECT_EQ(r.Byte(3), 0xD4);
  EXPECT_EQ(r.DWord(3), 0xA1B2C3D4u);
  r.SetDouble(8, 46000.25);
  EXPECT_EQ(r.Double(8), 46000.25);
  r.SetStr(20, 8, "abcdefghij");
  EXPECT_EQ(r.Byte(20), 7);
  EXPECT_EQ(r.Str(20, 8), "abcdefg");
  r.SetByte(40, 200);  // a damaged length byte
  EXPECT_EQ(r.Str(40, 10).size(), 9u);
}

TEST(SettingsDefaultsTest, ZeroFieldsGetDefaultsAndCorrectionsApply) {
  TFixedRecord r(s::kRecordSize);
  r.SetDWord(2878, 0x500001);
  r.SetByte(1444, 1);
  r.SetByte(1464, 1);
  r.SetWord(s::kHeldValue, 77);
  r.SetWord(1028, 2525);  // a port the user set stays
  serverconfig::HeldSettings held;
  held.PreviousLoadValue = 9;
  serverconfig::ApplySettingsDefaults(r, held, 46000.5);
  EXPECT_EQ(r.Word(1024), 110);
  EXPECT_EQ(r.Word(1028), 2525);
  EXPECT_EQ(r.Word(1036), 32000);
  EXPECT_EQ(r.Word(1461), 465);
  EXPECT_EQ(r.Word(1458), 0x8000);
  EXPECT_EQ(r.DWord(1552), 256u);
  EXPECT_EQ(r.DWord(21424), 256u);
  EXPECT_EQ(r.DWord(26971), 128u);
  EXPECT_EQ(r.Byte(7008), 20);
  EXPECT_EQ(r.Word(7010), 45);
  EXPECT_EQ(r.Byte(24186), ':');
  EXPECT_EQ(r.Byte(1476), 3);
  EXPECT_EQ(r.Str(s::kBounceSender, s::kBounceSenderSize), "MAILER-DAEMON");
  EXPECT_EQ(r.Str(s::kBounceName, s::kBounceNameSize), "Mail Delivery Subsystem");
  EXPECT_EQ(r.Str(s::kTrustedAddresses, s::kTrustedAddressesSize),
            "127.0.0.1;192.168.*.*;10.*.*.*;172.16-31.*.*");
  EXPECT_EQ(r.Str(s::kGroupwareUser, s::kGroupwareSize), "gwsuperuser");
  EXPECT_FALSE(r.Str(s::kGroupwarePassword, s::kGroupwareSize).empty());
  EXPECT_EQ(r.DWord(2878), 0u);
  EXPECT_EQ(r.Byte(1444), 0);
  EXPECT_EQ(r.Byte(1464), 1);
  EXPECT_EQ(r.Word(s::kHeldValue), 0);
  EXPECT_EQ(held.TakenOut, 77);
  EXPECT_EQ(r.DWord(s::kPreviousLoadValue), 9u);
  EXPECT_EQ(r.Double(s::kCreationDate), 46000.5);
  EXPECT_EQ(r.Byte(s::kPathDelimiter), '\\');
  EXPECT_EQ(r.Byte(s::kStorageMode), 1);  // no format marker
}

TEST(SettingsDefaultsTest, SetValuesStayAndListsAreNormalised) {
  TFixedRecord r(s::kRecordSize);
  r.SetDWord(2878, 0x500000);
  r.SetByte(1444, 1);
  r.SetByte(s::kFormatMarker, 1);
  r.SetByte(s::kStorageMode, 2);
  r.SetStr(s::kGroupwareUser, s::kGroupwareSize, "boss");
  r.SetStr(s::kGroupwarePassword, s::kGroupwareSize, "kept");
  r.SetDouble(s::kCreationDate, 40000);
  r.SetStr(s::kHostName, s::kHostNameSize, "  mail.example.com, mx.example.com ");
  r.SetStr(s::kHeldDir, s::kHeldDirSize, "D:\\held");
  serverconfig::HeldSettings held;
  serverconfig::ApplySettingsDefaults(r, held, 46000);
  EXPECT_EQ(r.DWord(2878), 0x500000u);
  EXPECT_EQ(r.Byte(1444), 1);
  EXPECT_EQ(r.Byte(s::kStorageMode), 2);
  EXPECT_EQ(r.Str(s::kGroupwarePassword, s::kGroupwareSize), "kept");
  EXPECT_EQ(r.Double(s::kCreationDate), 40000);
  EXPECT_EQ(r.Str(s::kHostName, s::kHostNameSize), "mail.example.com;mx.example.com");
  EXPECT_EQ(r.Str(s::kHeldDir, s::kHeldDirSize), "D:\\held\\");
  EXPECT_EQ(serverconfig::NormalizeList(" a , b ,c "), "a;b;c");
}

using SettingsFileTest = ConfigTest;

TEST_F(SettingsFileTest, MissingFileGivesDefaultsAndSaveWritesWholeRecord) {
  store_->InitServerPaths();
  // Without a file the result is the negation of keepResult.
  EXPECT_TRUE(store_->LoadServerConfig(false, false));
  EXPECT_FALSE(store_->LoadServerConfig(true, false));
  EXPECT_EQ(store_->Settings.Word(1028), 25);
  EXPECT_EQ(store_->Dirs.MailDir, dir_.Path() + "mail\\");
  EXPECT_EQ(store_->Dirs.OutgoingQueue, dir_.Path() + "mail\\_outgoing\\");
  EXPECT_EQ(store_->Dirs.IncomingQueue, dir_.Path() + "mail\\_incoming\\");
  EXPECT_EQ(store_->Dirs.RetryQueue, dir_.Path() + "mail\\_outgoing\\retry\\");
  EXPECT_EQ(store_->Dirs.TempDir, dir_.Path() + "temp\\");
  EXPECT_EQ(store_->Dirs.LogsDir, dir_.Path() + "logs\\");
  EXPECT_TRUE(store_->SaveServerConfig(false));
  EXPECT_EQ(platform::FileSize(Config("settings.cfg")), static_cast<int64_t>(s::kRecordSize));
  EXPECT_EQ(platform::FileSize(Config("domains.cfg")), 0);
  TFixedRecord saved = ReadScrambled(Config("settings.cfg"), s::kRecordSize);
  EXPECT_EQ(saved.Word(1028), 25);
  EXPECT_EQ(saved.Str(s::kMailDir, s::kDirSize), dir_.Path() + "mail\\");
  EXPECT_EQ(saved.Byte(s::kFormatMarker), 1);
}

TEST_F(SettingsFileTest, ShortFileKeepsTheValuesHeldBeforeTheLoad) {
  TFixedRecord file(s::kRecordSize);
  file.SetStr(s::kHostName, s::kHostNameSize, "short.example");
  file.SetWord(1028, 2525);
  file.SetDWord(22831, 555);  // beyond the 1100 bytes: never read
  WriteScrambled(Config("settings.cfg"), file, 1100);

  store_->Settings.SetDWord(22831, 4242);
  store_->Settings.SetDWord(5000, 31337);  // a server field the file does not reach
  ASSERT_TRUE(store_->LoadServerConfig(false, true));
  EXPECT_EQ(store_->Settings.Str(s::kHostName, s::kHostNameSize), "short.example");
  EXPECT_EQ(store_->Settings.Word(1028), 2525);
  EXPECT_EQ(store_->Settings.DWord(22831), 4242u);
  EXPECT_EQ(store_->Settings.DWord(5000), 31337u);
  ASSERT_TRUE(store_->SaveServerConfig(true));
  TFixedRecord saved = ReadScrambled(Config("settings.cfg"), s::kRecordSize);
  EXPECT_EQ(platform::FileSize(Config("settings.cfg")), static_cast<int64_t>(s::kRecordSize));
  EXPECT_EQ(saved.DWord(5000), 31337u);
  EXPECT_EQ(saved.Str(s::kHostName, s::kHostNameSize), "short.example");
}

TEST_F(SettingsFileTest, LoadThenSaveKeepsEveryByteThatIsNotDefaulted) {
  // A configuration as a server leaves it: every default already in place,
  // and the server's own fields full of arbitrary bytes.
  store_->InitServerPaths();
  store_->LoadServerConfig(false, false);
  TFixedRecord file = store_->Settings;
  for (std::size_t i = 0; i < file.Size(); i += 37) {
    bool used = (i >= 150 && i < 1600) || (i >= 3380 && i < 3780) || (i >= 7000 && i < 7030) ||
                (i >= 20330 && i < 29454 &&
                 (i < 21000 || i > 29000 || (i >= 22100 && i < 22240) ||
                  (i >= 24180 && i < 27000) || (i >= 28040 && i < 28070)));
    if (!used) file.SetByte(i, static_cast<uint8_t>(i * 13 + 1));
  }
  file.SetStr(s::kHostName, s::kHostNameSize, "mail.example.com");
  WriteScrambled(Config("settings.cfg"), file);
  std::string before = testing_support::ReadFile(Config("settings.cfg"));

  ResetStore();
  ASSERT_TRUE(store_->LoadServerConfig(false, false));
  ASSERT_TRUE(store_->SaveServerConfig(false));
  EXPECT_EQ(testing_support::ReadFile(Config("settings.cfg")), before);
}

TEST_F(SettingsFileTest, ZeroPortsAndEmptyDirectoriesAreDefaultedOnLoad) {
  TFixedRecord file(s::kRecordSize);
  file.SetStr(s::kHostName, s::kHostNameSize, "a.example, b.example");
  file.SetStr(s::kMailDir, s::kDirSize, "D:\\mail");
  file.SetStr(s::kLocalAddresses, s::kAddressListSize, " 10.0.0.5 ; 10.0.0.6");
  WriteScrambled(Config("settings.cfg"), file);
  ASSERT_TRUE(store_->LoadServerConfig(false, false));
  EXPECT_EQ(store_->Settings.Word(1038), 143);
  EXPECT_EQ(store_->Settings.Str(s::kHostName, s::kHostNameSize), "a.example;b.example");
  EXPECT_EQ(store_->Dirs.MailDir, "D:\\mail\\");
  EXPECT_EQ(store_->Dirs.OutgoingQueue, "D:\\mail\\_outgoing\\");
  EXPECT_EQ(store_->WebAdminHost(), "10.0.0.5");
  store_->Settings.SetStr(s::kLocalAddresses, s::kAddressListSize, "");
  EXPECT_EQ(store_->WebAdminHost(), "localhost");
  ASSERT_TRUE(store_->SaveServerConfig(false));
  EXPECT_EQ(ReadScrambled(Config("settings.cfg"), s::kRecordSize).Word(1038), 143);
}

TEST_F(SettingsFileTest, PathFileOverridesDirectoriesHostAndAddresses) {
  ASSERT_TRUE(support::SaveStringToFile(
      "D:\\conf  // moved\r\n\r\n\r\n held \r\n\r\n\r\n\r\nE:\\out\r\n\r\n"
      "192.0.2.1, 192.0.2.2|198.51.100.7\r\nhost.example # the name\r\n\r\nF:\\in\r\n",
      dir_.Path() + "path.cfg"));
  store_->InitServerPaths();
  EXPECT_TRUE(platform::FileExists(dir_.Path() + "path.dat"));
  EXPECT_FALSE(platform::FileExists(dir_.Path() + "path.cfg"));
  EXPECT_EQ(store_->Dirs.ConfigDir, "D:\\conf\\");
  EXPECT_EQ(store_->Dirs.HtmlDir, dir_.Path() + "html\\");
  EXPECT_EQ(store_->PathOverrides[3], "held");
  EXPECT_EQ(store_->Dirs.OutgoingQueue, "E:\\out\\");
  EXPECT_EQ(store_->Dirs.IncomingQueue, "F:\\in\\");
  EXPECT_EQ(store_->Dirs.RetryQueue, dir_.Path() + "mail\\_outgoing\\retry\\");

  store_->Dirs.ConfigDir = dir_.Path() + "config\\";
  store_->LoadServerConfig(false, true);
  EXPECT_EQ(store_->Settings.Str(s::kHostName, s::kHostNameSize), "host.example");
  EXPECT_EQ(store_->Settings.Str(s::kLocalAddresses, s::kAddressListSize), "192.0.2.1;192.0.2.2");
  EXPECT_EQ(store_->OutgoingBind, "198.51.100.7");
}

TEST_F(SettingsFileTest, InfoTitleBindAndArchiveFiles) {
  ASSERT_TRUE(support::SaveStringToFile("<INFO><NAME>x</NAME><PREFIX>ORV</PREFIX></INFO>",
                                        dir_.Path() + "xml\\info.xml"));
  ASSERT_TRUE(support::SaveStringToFile("Orvik Test Server\r\nname=value=x\r\nno variable\r\n",
                                        Config("servertitle.dat")));
  ASSERT_TRUE(support::SaveStringToFile(
      "# bind\r\noutgoing_bind = 192.0.2.9 ; 192.0.2.10\r\nIPv6_Bind=::1;fe80::1\r\n",
      Config("bind.dat")));
  ASSERT_TRUE(support::SaveStringToFile("archive.example\r\n\r\nsecond.example\r\n",
                                        Config("archivedomains.dat")));
  ASSERT_TRUE(support::SaveStringToFile("", Config("subdomains.dat")));
  TFixedRecord file(s::kRecordSize);
  file.SetByte(s::kArchiveDomains, 1);
  WriteScrambled(Config("settings.cfg"), file);

  store_->InitServerPaths();
  EXPECT_EQ(store_->ProductPrefix, "ORV");
  EXPECT_EQ(store_->Title.Title, "Orvik Test Server");
  ASSERT_EQ(store_->Title.Variables.size(), 1u);
  EXPECT_EQ(store_->Title.Variables[0].first, "name");
  EXPECT_EQ(store_->Title.Variables[0].second, "value=x");
  ASSERT_TRUE(store_->LoadServerConfig(false, false));
  EXPECT_EQ(store_->OutgoingBind, "192.0.2.9");
  EXPECT_EQ(store_->IPv6Bind, "::1;fe80::1");
  EXPECT_EQ(store_->ArchiveDomains,
            (std::vector<std::string>{"archive.example", "second.example"}));
  EXPECT_TRUE(store_->HasSubdomainsFile);
}

#ifdef _WIN32
// Another process holding settings.cfg without read sharing while the load
// runs: what was not read must not be overwritten with defaults by a later save.
TEST_F(SettingsFileTest, SettingsThatCannotBeReadAreNeverOverwritten) {
  TFixedRecord file(s::kRecordSize);
  file.SetStr(s::kHostName, s::kHostNameSize, "kept.example");
  WriteScrambled(Config("settings.cfg"), file);
  std::string before = testing_support::ReadFile(Config("settings.cfg"));
  HANDLE held = CreateFileA(Config("settings.cfg").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(held, INVALID_HANDLE_VALUE);
  EXPECT_FALSE(store_->LoadServerConfig(true, false));  // not read
  EXPECT_TRUE(store_->SettingsUnreadable());
  CloseHandle(held);
  EXPECT_FALSE(store_->SaveServerConfig(false));
  EXPECT_EQ(testing_support::ReadFile(Config("settings.cfg")), before);
  // Once readable again, it loads and saves as usual.
  ResetStore();
  ASSERT_TRUE(store_->LoadServerConfig(false, false));
  EXPECT_FALSE(store_->SettingsUnreadable());
  EXPECT_EQ(store_->Settings.Str(s::kHostName, s::kHostNameSize), "kept.example");
  EXPECT_TRUE(store_->SaveServerConfig(false));
}
#endif

TEST_F(SettingsFileTest, AFolderInPlaceOfTheSettingsIsUnreadable) {
  ASSERT_TRUE(support::CreateDirectoryPath(Config("settings.cfg\\")));
  store_->LoadServerConfig(false, false);
  EXPECT_TRUE(store_->SettingsUnreadable());
  EXPECT_FALSE(store_->SaveServerConfig(false));
  EXPECT_TRUE(platform::DirectoryExists(Config("settings.cfg")));
  EXPECT_FALSE(platform::FileExists(Config("domains.cfg")));
}

TEST(PathLinesTest, EveryLineCountsAndCommentsGo) {
  serverconfig::PathLines lines = serverconfig::ParsePathLines("a\n\n /* x */ c \n#d\nf//g// h\n");
  EXPECT_EQ(lines[0], "a");
  EXPECT_EQ(lines[1], "");
  EXPECT_EQ(lines[2], "c");
  EXPECT_EQ(lines[3], "");
  EXPECT_EQ(lines[4], "f//g");  // "// " needs its blank
  EXPECT_EQ(lines[12], "");
}

}  // namespace
}  // namespace serverconfig_test
