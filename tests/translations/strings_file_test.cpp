#include "translations/strings_file.h"

#include <gtest/gtest.h>

#include "common/scratch_dir.h"

namespace support {
namespace {

using testing_support::ScratchDir;
using testing_support::WriteFile;

TEST(QuotedLiteralTest, RunsAndCharacterCodes) {
  EXPECT_EQ(DecodeQuotedLiteral("'Relayed'#13#10"), "Relayed\r\n");
  EXPECT_EQ(DecodeQuotedLiteral("#72'ello'#32'world'"), "Hello world");
  // Two adjacent apostrophes end one run and start the next.
  EXPECT_EQ(DecodeQuotedLiteral("'it''s'"), "its");
  // Inside a run "#" is an ordinary character.
  EXPECT_EQ(DecodeQuotedLiteral("'#13'"), "#13");
}

TEST(QuotedLiteralTest, OddInput) {
  EXPECT_EQ(DecodeQuotedLiteral("'closed''never closed"), "closed");
  EXPECT_EQ(DecodeQuotedLiteral("#0'a'#"), "a");
  EXPECT_EQ(DecodeQuotedLiteral("#x#65"), "A");  // "#" without digits appends nothing
  EXPECT_EQ(DecodeQuotedLiteral("#321"), "A");   // modulo 256
  EXPECT_EQ(DecodeQuotedLiteral("#256"), "");
  EXPECT_EQ(DecodeQuotedLiteral("#99999999999999999999"), "\xFF");  // 10^20 - 1
  EXPECT_EQ(DecodeQuotedLiteral("bare text 'q' ignored"), "q");
  EXPECT_EQ(DecodeQuotedLiteral("#233"), "\xE9");
  EXPECT_EQ(DecodeQuotedLiteral(""), "");
}

TEST(StringsLineTest, IdentifierAndValue) {
  std::string id, value;
  ASSERT_TRUE(ParseStringsLine("  stRelayed = 'Relayed'#13#10  ", id, value));
  EXPECT_EQ(id, "stRelayed");
  EXPECT_EQ(value, "'Relayed'#13#10");
  // A value cannot hold "=": it ends at the second one.
  ASSERT_TRUE(ParseStringsLine("a='x=y'", id, value));
  EXPECT_EQ(value, "'x");
  EXPECT_FALSE(ParseStringsLine("=value", id, value));
  EXPECT_FALSE(ParseStringsLine("id=", id, value));
  EXPECT_FALSE(ParseStringsLine("id =  ", id, value));
  EXPECT_FALSE(ParseStringsLine("no separator", id, value));
  EXPECT_FALSE(ParseStringsLine("", id, value));
}

class StringsFileTest : public testing::Test {
 protected:
  void TearDown() override { RestoreServerMessageDefaults(); }
  ScratchDir dir;
  TMessageTable table;
};

TEST_F(StringsFileTest, IdentifiersInOrder) {
  const auto& ids = ServerMessageIdentifiers();
  ASSERT_EQ(ids.size(), 98u);
  EXPECT_EQ(ids.front(), "stApprovalRequest");
  EXPECT_EQ(ids[4], "stRelayed");
  EXPECT_EQ(ids[74], "cLSError");
  EXPECT_EQ(ids[88], "lsAddress");
  EXPECT_EQ(ids.back(), "stDigestList");
  RegisterServerMessages(&table);
  ASSERT_EQ(table.Count(), 98);
  EXPECT_EQ(table.Entries[4].Identifier, "strelayed");
}

TEST_F(StringsFileTest, FileOverridesServerMessages) {
  ASSERT_TRUE(WriteFile(dir.Path() + "strings.dat",
                        "stRelayed='Relayed'#13#10\r\n"
                        "\r\n"
                        "   \r\n"
                        "STUNKNOWNUSER = 'No such user'\n"
                        "stTooManyHops='Too'#32'many'='ignored'\r"
                        "stDiskSpace=\r\n"
                        "notAServerMessage='x'\r\n"
                        "stMaxList='unclosed"));
  const std::string before = ServerMessage("stMaxList");
  ASSERT_TRUE(LoadStringsFile(dir.Path(), &table));
  EXPECT_EQ(ServerMessage("stRelayed"), "Relayed\r\n");
  EXPECT_EQ(ServerMessage("stUnknownUser"), "No such user");
  EXPECT_EQ(ServerMessage("stTooManyHops"), "Too many");
  EXPECT_NE(ServerMessage("stDiskSpace"), "");  // an empty value is skipped
  EXPECT_EQ(ServerMessage("stMaxList"), "");    // the unclosed run is dropped
  EXPECT_NE(before, "");
  EXPECT_EQ(table.Count(), 98);

  // Each call registers again; the first entries still win.
  ASSERT_TRUE(LoadStringsFile(dir.Path().substr(0, dir.Path().size() - 1), &table));
  EXPECT_EQ(table.Count(), 196);
  EXPECT_EQ(ServerMessage("stRelayed"), "Relayed\r\n");
}

TEST_F(StringsFileTest, NoFileRegistersNothing) {
  EXPECT_FALSE(LoadStringsFile(dir.Path(), &table));
  EXPECT_EQ(table.Count(), 0);
  EXPECT_EQ(ServerMessage("nothing"), "");
}

}  // namespace
}  // namespace support
