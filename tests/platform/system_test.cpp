// The clock, the digest, the process and the system directories.
#include "platform/system.h"

#ifndef _WIN32
#include "simulator/simulator.h"
#endif

#include <gtest/gtest.h>

#include <chrono>
#include <thread>
#include <utility>

#include "platform/clock.h"
#include "platform/codepage.h"
#include "platform/files.h"
#include "platform/hash.h"
#include "platform/shell.h"

namespace {

std::string Hex(const std::string& bytes) {
  static const char digits[] = "0123456789abcdef";
  std::string out;
  for (unsigned char c : bytes) {
    out += digits[c >> 4];
    out += digits[c & 15];
  }
  return out;
}

std::string Lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

// ---- clock ----

class ClockTest : public testing::Test {
 protected:
  void TearDown() override { platform::InstallClock(nullptr); }
};

TEST_F(ClockTest, VirtualClockRunsWaitsInNoTime) {
  platform::VirtualClock clock(45000.25, 5000);
  platform::InstallClock(&clock);
  EXPECT_EQ(platform::Now(), 45000.25);
  EXPECT_EQ(platform::Tick(), 5000u);
  auto start = std::chrono::steady_clock::now();
  platform::Sleep(10 * 60 * 1000);  // ten minutes
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
  EXPECT_EQ(platform::Tick(), 5000u + 600000u);
  EXPECT_NEAR(platform::Now(), 45000.25 + 600000.0 / 86400000.0, 1e-9);
}

TEST_F(ClockTest, VirtualTickWrapsAt32Bits) {
  platform::VirtualClock clock(45000, 0xFFFFFFF0u);
  platform::InstallClock(&clock);
  platform::Sleep(0x20);
  EXPECT_EQ(platform::Tick(), 0x10u);
  // Elapsed time across the wrap is still right in unsigned arithmetic.
  EXPECT_EQ(platform::Tick() - 0xFFFFFFF0u, 0x20u);
}

TEST_F(ClockTest, RestoringGivesTheSystemClockBack) {
  platform::VirtualClock clock(1.0, 1);
  platform::InstallClock(&clock);
  platform::InstallClock(nullptr);
  double before = platform::Now();
  EXPECT_GT(before, 43000.0);  // after 2017
  EXPECT_LT(before, 80000.0);
  uint32_t tick = platform::Tick();
  platform::Sleep(100);
  // The Windows tick moves in steps of 10 to 16 ms.
  uint32_t elapsed = platform::Tick() - tick;
  EXPECT_GE(elapsed, 60u);
  EXPECT_LT(elapsed, 10000u);
  EXPECT_GE(platform::Now(), before);
}

// ---- SHA-1 (FIPS 180 test vectors) ----

TEST(Sha1, PublishedVectors) {
  EXPECT_EQ(Hex(platform::Sha1("abc")), "a9993e364706816aba3e25717850c26c9cd0d89d");
  EXPECT_EQ(Hex(platform::Sha1("")), "da39a3ee5e6b4b0d3255bfef95601890afd80709");
  EXPECT_EQ(Hex(platform::Sha1("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq")),
            "84983e441c3bd26ebaae4aa1f95129e5e54670f1");
  EXPECT_EQ(Hex(platform::Sha1(std::string(1000000, 'a'))),
            "34aa973cd4c4daa4f61eeb2bdbad27316534016f");
  EXPECT_EQ(platform::Sha1(std::string("\0x", 2)).size(), 20u);
  EXPECT_NE(platform::Sha1(std::string("\0x", 2)), platform::Sha1("x"));
}

// ---- MD5 (RFC 1321) and HMAC-MD5 (RFC 2104, RFC 2202, RFC 2195) ----

TEST(Md5, PublishedVectors) {
  const std::pair<std::string, const char*> cases[] = {
      {"", "d41d8cd98f00b204e9800998ecf8427e"},
      {"abc", "900150983cd24fb0d6963f7d28e17f72"},
      {"message digest", "f96b697d7cb7938d525a2f31aaf161d0"},
      {"abcdefghijklmnopqrstuvwxyz", "c3fcd3d76192e4007dfb496cca67e13b"},
      {"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789",
       "d174ab98d277d9f5a5611c2c9f419d9f"},
      {"12345678901234567890123456789012345678901234567890123456789012345678901234567890",
       "57edf4a22be3c955ac49da2e2107b67a"},
  };
  for (const auto& [data, digest] : cases) EXPECT_EQ(Hex(platform::Md5(data)), digest) << data;
}

TEST(HmacMd5, PublishedVectors) {
  const struct {
    std::string key, data;
    const char* digest;
  } cases[] = {
      {std::string(16, '\x0b'), "Hi There", "9294727a3638bb1c13f48ef8158bfc9d"},
      {"Jefe", "what do ya want for nothing?", "750c783e6ab0b503eaa86e310a5db738"},
      {std::string(16, '\xaa'), std::string(50, '\xdd'), "56be34521d144c88dbb8c733f0e8b3f6"},
      // A key longer than the 64-byte block is hashed first.
      {std::string(80, '\xaa'), "Test Using Larger Than Block-Size Key - Hash Key First",
       "6b1ab7fe4bd7bf8f0b62e6ce61b9d0cd"},
      {"", "", "74e6f7298a9c2d168935f58c001bad88"},
      // The CRAM-MD5 example: the password keys the server's challenge.
      {"tanstaaftanstaaf", "<1896.697170952@postoffice.reston.mci.net>",
       "b913a602c7eda7a495b4e6e7334d3890"},
  };
  for (const auto& c : cases) EXPECT_EQ(Hex(platform::HmacMd5(c.key, c.data)), c.digest) << c.data;
}

// ---- the system ----

TEST(SystemDirectories, TheSystemNamesThem) {
  std::string temp = platform::TempDirectory();
  ASSERT_FALSE(temp.empty());
  EXPECT_TRUE(platform::DirectoryExists(temp)) << temp;
  std::string windows = platform::WindowsDirectory(), system = platform::SystemDirectory();
  ASSERT_FALSE(windows.empty());
  ASSERT_FALSE(system.empty());
  EXPECT_EQ(Lower(system).rfind(Lower(windows), 0), 0u) << system << " " << windows;
}

TEST(Process, PlatformAndProgram) {
  EXPECT_EQ(platform::PlatformId(), 2);
  std::string program = platform::ProgramPath();
  EXPECT_NE(Lower(program).find("platform_tests"), std::string::npos) << program;
  EXPECT_TRUE(platform::FileExists(program)) << program;
  EXPECT_FALSE(platform::GetEnvironment("PATH").empty());
  EXPECT_EQ(platform::GetEnvironment("ORVIK_NO_SUCH_VARIABLE_38211"), "");
}

TEST(Process, ThreadIdsDiffer) {
  uint32_t mine = platform::CurrentThreadId(), other = 0;
  std::thread t([&] { other = platform::CurrentThreadId(); });
  t.join();
  EXPECT_EQ(platform::CurrentThreadId(), mine);
  EXPECT_NE(other, mine);
  EXPECT_NE(other, 0u);
}

TEST(Process, PrivilegesOfTheToken) {
  EXPECT_TRUE(platform::EnablePrivilege("SeShutdownPrivilege", true));
  EXPECT_TRUE(platform::EnablePrivilege("SeShutdownPrivilege", false));
  EXPECT_FALSE(platform::EnablePrivilege("SeNoSuchPrivilege", true));
  EXPECT_FALSE(platform::EnablePrivilege("", true));
}

TEST(Process, AffinityCanBeBoundAndReleased) {
  EXPECT_TRUE(platform::SetProcessAffinity(false));
  EXPECT_TRUE(platform::SetProcessAffinity(true));
}

TEST(Shell, StartsAnExistingProgram) {
  // This test program again, running none of its tests.
  EXPECT_TRUE(platform::ShellExecute(0, "open", platform::ProgramPath(), "--gtest_filter=-*", "",
                                     platform::kShowNormal));
#ifndef _WIN32
  std::vector<std::string> log = simulator::ShellExecuteLog();
  ASSERT_FALSE(log.empty());
  EXPECT_EQ(log.back(), "open|" + platform::ProgramPath() + "|--gtest_filter=-*|");
#endif
}

TEST(Shell, MissingLocalFileIsRefused) {
#ifdef _WIN32
  GTEST_SKIP() << "the shell would show its error box";
#else
  simulator::ClearShellExecuteLog();
  EXPECT_FALSE(
      platform::ShellExecute(0, "open", "C:\\nowhere\\missing.txt", "", "", platform::kShowNormal));
  EXPECT_FALSE(platform::ShellExecute(0, "", "", "", "", platform::kShowNormal));
  EXPECT_TRUE(simulator::ShellExecuteLog().empty());
#endif
}

// ---- the command line ----

using Words = std::vector<std::string>;

TEST(CommandLine, BlanksSeparateAndQuotesGroup) {
  EXPECT_EQ(platform::SplitCommandLine(
                "\"C:\\Program Files\\Orvik\\setup.exe\" /SILENT   -exportlanguage"),
            (Words{"C:\\Program Files\\Orvik\\setup.exe", "/SILENT", "-exportlanguage"}));
  EXPECT_EQ(platform::SplitCommandLine("  setup.exe\t/UNINSTALL  "),
            (Words{"setup.exe", "/UNINSTALL"}));
  EXPECT_EQ(platform::SplitCommandLine("a\"b c\"d e"), (Words{"ab cd", "e"}));
  EXPECT_EQ(platform::SplitCommandLine("x \"unclosed rest  of line"),
            (Words{"x", "unclosed rest  of line"}));
  EXPECT_EQ(platform::SplitCommandLine("x \"\" y \"\"\"z\""), (Words{"x", "y", "z"}));
  EXPECT_EQ(platform::SplitCommandLine("x C:\\dir\\\" y"), (Words{"x", "C:\\dir\\ y"}));
  EXPECT_TRUE(platform::SplitCommandLine("").empty());
  EXPECT_TRUE(platform::SplitCommandLine(" \t ").empty());
}

// Windows keeps the command line in UTF-16; a best-fit conversion of it made
// a full-width quote a real one, which groups blanks and so joins switches.
TEST(CommandLine, WideWordsAreSplitFirstAndConvertedWithoutLookalikes) {
  using Word = platform::CommandLineWord;
  struct WideCase {
    std::u16string line;
    std::vector<Word> words;
  };
  const WideCase cases[] = {
      {u"setup.exe /VERYSILENT \"/DIR=C:\\Orvik Mail\\\"",
       {{"setup.exe", true}, {"/VERYSILENT", true}, {"/DIR=C:\\Orvik Mail\\", true}}},
      {u"setup.exe /DIR=C:\\x\uFF02 /VERYSILENT \uFF02/LOG=y",
       {{"setup.exe", true}, {"/DIR=C:\\x?", false}, {"/VERYSILENT", true}, {"?/LOG=y", false}}},
      {u"s /DIR=C:\\a\uFF3C..\uFF3CWindows /LOG=\uFF0Fx",  // full-width \ and /
       {{"s", true}, {"/DIR=C:\\a?..?Windows", false}, {"/LOG=?x", false}}},
      {u"s /DIR=C:\\\u00C9t\u00E9 \u20AC /X=?",  // Windows-1252 holds these
       {{"s", true}, {"/DIR=C:\\\xC9t\xE9", true}, {"\x80", true}, {"/X=?", true}}},
      {u"s a\u3000b \u0100 \U0001F600",  // an ideographic blank is no blank
       {{"s", true}, {"a?b", false}, {"?", false}, {"??", false}}},
      {u"", {}},
  };
  for (const WideCase& c : cases) {
    SCOPED_TRACE(testing::PrintToString(platform::WideToAnsi(c.line)));
    EXPECT_EQ(platform::SplitWideCommandLine(c.line), c.words);
  }
}

TEST(CommandLine, ArgumentsSetByTheEntryDropTheProgram) {
  char program[] = "setup.exe", first[] = "/webmaillogon", second[] = "two words";
  char* argv[] = {program, first, second};
  platform::SetCommandLineArgs(3, argv);
  EXPECT_EQ(platform::CommandLineArgs(), (Words{"/webmaillogon", "two words"}));
  platform::SetCommandLineArgs(1, argv);
  EXPECT_TRUE(platform::CommandLineArgs().empty());
}

}  // namespace
