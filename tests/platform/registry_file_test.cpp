// The file form of the native registry stand-in: it must give back exactly what
// was stored, refuse a damaged file without touching the registry, and never
// leave a half-written file behind.
#ifndef _WIN32

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>

#include "common/scratch_dir.h"
#include "platform/files.h"
#include "platform/posix/posix_platform.h"
#include "platform/registry.h"

namespace {

using platform::RegKey;
using platform::RegRoot;
using platform::RegType;
using platform::RegValue;
namespace posix = platform::posix;
using testing_support::ReadFile;
using testing_support::WriteFile;

const std::string kText = "line one\r\nline two \xe9\xff \"quoted\" back\\slash";
const std::string kBinary("\x00\x01\x7f\x80\xff\x0a\x0d", 7);

std::string LongBinary() {
  std::string bytes;
  for (int i = 0; i < 200; ++i) bytes += static_cast<char>(i * 7);
  return bytes;
}

// A registry with every kind of value the file form must keep.
void Fill() {
  posix::ClearRegistry();
  RegKey key;
  ASSERT_TRUE(key.Open(RegRoot::LocalMachine, "\\Software\\Kestrun\\Orvik Mail Server", true));
  ASSERT_TRUE(key.WriteString("InstallDir", "C:\\Program Files\\Orvik\\"));
  ASSERT_TRUE(key.WriteString("Text", kText));
  ASSERT_TRUE(key.WriteString("Plain", "caf\xe9 \xff"));
  ASSERT_TRUE(key.WriteString("", "the default"));
  ASSERT_TRUE(key.WriteDWord("Flags", 0xDEADBEEF));
  ASSERT_TRUE(key.WriteBinary("Blob", kBinary));
  ASSERT_TRUE(key.WriteBinary("Long", LongBinary()));
  ASSERT_TRUE(key.WriteExpandString("Expand", "%TEMP%\\x"));
  ASSERT_TRUE(key.WriteString("na\"me\\with \"quotes\"", "v"));
  ASSERT_TRUE(key.WriteString("tab\tand\nbreak", "control characters in a name"));
  RegKey empty;
  ASSERT_TRUE(empty.Open(RegRoot::CurrentUser, "Software\\Empty Key", true));
  RegKey root;
  ASSERT_TRUE(root.Open(RegRoot::CurrentUser, "", false));
  ASSERT_TRUE(root.WriteDWord("AtTheRoot", 5));
}

void ExpectFilled() {
  RegKey key;
  ASSERT_TRUE(key.Open(RegRoot::LocalMachine, "Software\\Kestrun\\Orvik Mail Server", false));
  RegValue v;
  ASSERT_TRUE(key.ReadValue("InstallDir", v));
  EXPECT_EQ(v.data, "C:\\Program Files\\Orvik\\");
  ASSERT_TRUE(key.ReadValue("Text", v));
  EXPECT_EQ(v.type, RegType::String);
  EXPECT_EQ(v.data, kText);
  ASSERT_TRUE(key.ReadValue("Plain", v));
  EXPECT_EQ(v.data, "caf\xe9 \xff");
  ASSERT_TRUE(key.ReadValue("", v));
  EXPECT_EQ(v.data, "the default");
  ASSERT_TRUE(key.ReadValue("Flags", v));
  EXPECT_EQ(v.type, RegType::DWord);
  EXPECT_EQ(v.dword, 0xDEADBEEFu);
  ASSERT_TRUE(key.ReadValue("Blob", v));
  EXPECT_EQ(v.type, RegType::Binary);
  EXPECT_EQ(v.data, kBinary);
  ASSERT_TRUE(key.ReadValue("Long", v));
  EXPECT_EQ(v.data, LongBinary());
  ASSERT_TRUE(key.ReadValue("Expand", v));
  EXPECT_EQ(v.type, RegType::ExpandString);
  EXPECT_EQ(v.data, "%TEMP%\\x");
  ASSERT_TRUE(key.ReadValue("na\"me\\with \"quotes\"", v));
  EXPECT_EQ(v.data, "v");
  ASSERT_TRUE(key.ReadValue("tab\tand\nbreak", v));
  EXPECT_EQ(v.data, "control characters in a name");
  std::vector<std::string> names;
  ASSERT_TRUE(key.ValueNames(names));
  EXPECT_EQ(names.size(), 10u);
  EXPECT_TRUE(platform::RegKeyExists(RegRoot::CurrentUser, "Software\\Empty Key"));
  RegKey root;
  ASSERT_TRUE(root.Open(RegRoot::CurrentUser, "", false));
  ASSERT_TRUE(root.ReadValue("AtTheRoot", v));
  EXPECT_EQ(v.dword, 5u);
}

class RegistryFileTest : public testing::Test {
 protected:
  void SetUp() override { Fill(); }
  void TearDown() override { posix::ClearRegistry(); }
  std::string Native(const std::string& leaf) { return posix::MapPath(dir.Path() + leaf); }
  testing_support::ScratchDir dir;
};

TEST_F(RegistryFileTest, TextRoundTripKeepsEveryValue) {
  std::string text = posix::RegistryToText();
  EXPECT_EQ(text.rfind("REGEDIT4\n", 0), 0u);
  posix::ClearRegistry();
  EXPECT_FALSE(platform::RegKeyExists(RegRoot::LocalMachine, "Software\\Kestrun"));
  std::string error;
  ASSERT_TRUE(posix::RegistryFromText(text, error)) << error;
  ExpectFilled();
  EXPECT_EQ(posix::RegistryToText(), text);  // stable
}

TEST_F(RegistryFileTest, FileRoundTrip) {
  std::string path = Native("registry.reg"), error;
  ASSERT_TRUE(posix::SaveRegistryFile(path, error)) << error;
  posix::ClearRegistry();
  ASSERT_TRUE(posix::LoadRegistryFile(path, error)) << error;
  ExpectFilled();
}

TEST_F(RegistryFileTest, ReadsTheFormRegeditWrites) {
  const std::string text =
      "REGEDIT4\r\n"
      "\r\n"
      "; written by hand\r\n"
      "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Kestrun\\Orvik Mail Server]\r\n"
      "\"InstallDir\"=\"C:\\\\Orvik\\\\\"\r\n"
      "@=\"default\"\r\n"
      "\"Flags\"=dword:0000002A\r\n"
      "\"Path\"=hex(2):25,00,54,00,\\\r\n"
      "  45,00,4d,00,50,00,25,00,00\r\n"
      "\"Bytes\"=hex:01, 02 ,ff\r\n"
      "\"Odd\"=hex(b):01,00,00,00,00,00,00,00\r\n";
  std::string error;
  ASSERT_TRUE(posix::RegistryFromText(text, error)) << error;
  RegKey key;
  ASSERT_TRUE(key.Open(RegRoot::LocalMachine, "Software\\Kestrun\\Orvik Mail Server", false));
  RegValue v;
  ASSERT_TRUE(key.ReadValue("installdir", v));
  EXPECT_EQ(v.data, "C:\\Orvik\\");
  ASSERT_TRUE(key.ReadValue("", v));
  EXPECT_EQ(v.data, "default");
  ASSERT_TRUE(key.ReadValue("Flags", v));
  EXPECT_EQ(v.dword, 42u);
  ASSERT_TRUE(key.ReadValue("Path", v));
  EXPECT_EQ(v.type, RegType::ExpandString);
  EXPECT_EQ(v.data, std::string("%\0T\0E\0M\0P\0%\0", 12));  // bytes as stored, one terminator off
  ASSERT_TRUE(key.ReadValue("Bytes", v));
  EXPECT_EQ(v.data, "\x01\x02\xff");
  ASSERT_TRUE(key.ReadValue("Odd", v));
  EXPECT_EQ(v.type, RegType::Other);
  EXPECT_EQ(v.data.size(), 8u);
}

// Each damaged text is refused, names its problem, and changes nothing.
TEST_F(RegistryFileTest, DamagedTextIsRefusedAndChangesNothing) {
  const std::string before = posix::RegistryToText();
  struct Case {
    std::string text, problem;
  };
  const Case cases[] = {
      {"Windows Registry Editor Version 5.00\n\n[HKEY_CURRENT_USER\\X]\n", "REGEDIT4"},
      {"", "REGEDIT4"},
      {"REGEDIT4\n\n[HKEY_CURRENT_USER\\New]\n\"a\"=dword:xyz\n", "line 4: malformed value data"},
      {"REGEDIT4\n\n[HKEY_CURRENT_USER\\New]\n\"a\"=hex:01,0\n", "line 4: malformed value data"},
      {"REGEDIT4\n\n[HKEY_CURRENT_USER\\New]\n\"a\"=\"open\n", "line 4: malformed value data"},
      {"REGEDIT4\n\n[HKEY_CURRENT_USER\\New]\n\"a\"=hex:01,\\\n", "past the end"},
      {"REGEDIT4\n\n[HKEY_CURRENT_USER\\New]\n\"a\"\n", "line 4: missing '='"},
      {"REGEDIT4\n\n[HKEY_CURRENT_USER\\New]\n\"unclosed=1\n", "line 4: malformed value name"},
      {"REGEDIT4\n\n[HKEY_CURRENT_USER\\New\n\"a\"=\"b\"\n", "line 3: unterminated key"},
      {"REGEDIT4\n\n[HKEY_NOWHERE\\New]\n", "unknown root key"},
      {"REGEDIT4\n\"a\"=\"b\"\n", "value outside of a key"},
  };
  for (const Case& c : cases) {
    std::string error;
    EXPECT_FALSE(posix::RegistryFromText(c.text, error)) << c.text;
    EXPECT_NE(error.find(c.problem), std::string::npos) << "error: " << error;
    EXPECT_FALSE(platform::RegKeyExists(RegRoot::CurrentUser, "New"));
  }
  EXPECT_EQ(posix::RegistryToText(), before);
  ExpectFilled();
}

TEST_F(RegistryFileTest, DamagedOrMissingFileIsRefusedAndChangesNothing) {
  const std::string before = posix::RegistryToText();
  std::string path = Native("damaged.reg"), error;
  WriteFile(dir.Path() + "damaged.reg", "REGEDIT4\n\n[HKEY_CURRENT_USER\\Software\n");
  EXPECT_FALSE(posix::LoadRegistryFile(path, error));
  EXPECT_NE(error.find("damaged.reg"), std::string::npos) << error;
  EXPECT_NE(error.find("unterminated key"), std::string::npos) << error;
  EXPECT_FALSE(posix::LoadRegistryFile(Native("missing.reg"), error));
  EXPECT_NE(error.find("missing.reg"), std::string::npos) << error;
  EXPECT_EQ(posix::RegistryToText(), before);
}

TEST_F(RegistryFileTest, SaveReplacesTheFileWhole) {
  std::string path = Native("registry.reg"), error;
  ASSERT_TRUE(posix::SaveRegistryFile(path, error)) << error;
  const std::string saved = ReadFile(dir.Path() + "registry.reg");
  ASSERT_FALSE(saved.empty());

  // A save that cannot write (here: a file size limit far below the text)
  // fails and leaves the old file as it was, with no temporary beside it.
  RegKey key;
  ASSERT_TRUE(key.Open(RegRoot::CurrentUser, "Software\\Bulk", true));
  ASSERT_TRUE(key.WriteBinary("Big", std::string(100000, 'x')));
  struct rlimit old;
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
  struct rlimit small = old;
  small.rlim_cur = 4096;
  auto oldHandler = signal(SIGXFSZ, SIG_IGN);
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
  bool ok = posix::SaveRegistryFile(path, error);
  setrlimit(RLIMIT_FSIZE, &old);
  signal(SIGXFSZ, oldHandler);
  EXPECT_FALSE(ok);
  EXPECT_NE(error.find("registry.reg"), std::string::npos) << error;
  EXPECT_EQ(ReadFile(dir.Path() + "registry.reg"), saved);
  std::vector<platform::DirEntry> entries;
  ASSERT_TRUE(platform::ListDirectory(dir.Path() + "*", entries));
  EXPECT_EQ(entries.size(), 3u) << "only ., .. and registry.reg";

  // Nowhere to write at all.
  EXPECT_FALSE(posix::SaveRegistryFile(Native("no-such-dir\\registry.reg"), error));
  EXPECT_NE(error.find("no-such-dir"), std::string::npos) << error;

  // The next save that can write replaces the file.
  ASSERT_TRUE(posix::SaveRegistryFile(path, error)) << error;
  std::string text = ReadFile(dir.Path() + "registry.reg");
  EXPECT_NE(text, saved);
  posix::ClearRegistry();
  ASSERT_TRUE(posix::LoadRegistryFile(path, error)) << error;
  RegValue v;
  ASSERT_TRUE(key.Open(RegRoot::CurrentUser, "Software\\Bulk", false));
  ASSERT_TRUE(key.ReadValue("Big", v));
  EXPECT_EQ(v.data.size(), 100000u);
}

TEST_F(RegistryFileTest, LoadingReplacesTheRegistryAndClosesOldKeys) {
  RegKey old;
  ASSERT_TRUE(old.Open(RegRoot::LocalMachine, "Software\\Kestrun\\Orvik Mail Server", false));
  std::string error;
  ASSERT_TRUE(
      posix::RegistryFromText("REGEDIT4\n\n[HKEY_CURRENT_USER\\Only]\n\"x\"=\"y\"\n", error))
      << error;
  EXPECT_FALSE(platform::RegKeyExists(RegRoot::LocalMachine, "Software\\Kestrun"));
  EXPECT_TRUE(platform::RegKeyExists(RegRoot::CurrentUser, "Only"));
  RegValue v;
  EXPECT_FALSE(old.ReadValue("InstallDir", v));
}

TEST_F(RegistryFileTest, KeysBeyondWindowsLimitsAreRefused) {
  std::string deep;
  for (int i = 0; i < 513; ++i) deep += "k\\";
  RegKey key;
  EXPECT_FALSE(key.Open(RegRoot::CurrentUser, deep, true));
  EXPECT_FALSE(key.Open(RegRoot::CurrentUser, std::string(256, 'n'), true));
  EXPECT_TRUE(key.Open(RegRoot::CurrentUser, std::string(255, 'n'), true));
  std::string error;
  EXPECT_FALSE(posix::RegistryFromText("REGEDIT4\n[HKEY_CURRENT_USER\\" + deep + "]\n", error));
  EXPECT_NE(error.find("invalid key"), std::string::npos) << error;
}

}  // namespace

#endif  // _WIN32
