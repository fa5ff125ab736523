#include "translations/message_table.h"

#include <gtest/gtest.h>

namespace support {
namespace {

TEST(MessageTableTest, IdentifiersMatchWithoutRegardToCase) {
  TMessageTable table;
  std::string exitText = "default";
  RegisterMessage("cDoYouExit", exitText, &table);
  ASSERT_EQ(table.Count(), 1);
  EXPECT_EQ(table.Entries[0].Identifier, "cdoyouexit");
  SetMessage("CDOYOUEXIT", "translated", &table);
  EXPECT_EQ(exitText, "translated");
  SetMessage("cdoyouexit", "again", &table);
  EXPECT_EQ(exitText, "again");
  SetMessage("cDoYouExi", "not registered", &table);
  EXPECT_EQ(exitText, "again");
}

TEST(MessageTableTest, DuplicatesAreKeptAndTheFirstWins) {
  TMessageTable table;
  std::string first, second;
  RegisterMessage("cName", first, &table);
  RegisterMessage("CNAME", second, &table);
  EXPECT_EQ(table.Count(), 2);
  SetMessage("cname", "x", &table);
  EXPECT_EQ(first, "x");
  EXPECT_EQ(second, "");
}

TEST(MessageTableTest, OrderGrowthAndClear) {
  TMessageTable table;
  std::vector<std::string> texts(250);
  for (size_t i = 0; i < texts.size(); ++i) {
    std::string id = "m";  // appended, not "m" + ...: GCC 12 warns falsely on that
    id += std::to_string(i);
    RegisterMessage(id, texts[i], &table);
  }
  ASSERT_EQ(table.Count(), 250);
  EXPECT_EQ(table.Entries[137].Identifier, "m137");
  SetMessage("M249", "last", &table);
  EXPECT_EQ(texts[249], "last");
  ClearMessages(&table);
  EXPECT_EQ(table.Count(), 0);
  SetMessage("m249", "gone", &table);
  EXPECT_EQ(texts[249], "last");
}

TEST(MessageTableTest, IdentifiersAreShortStringsInLowerCase) {
  TMessageTable table;
  std::string text;
  const std::string longId = std::string(300, 'A');
  RegisterMessage(longId, text, &table);
  EXPECT_EQ(table.Entries[0].Identifier, std::string(255, 'a'));
  // The cut identifier still finds the entry; only ASCII letters change case.
  SetMessage(std::string(260, 'a'), "cut", &table);
  EXPECT_EQ(text, "cut");
  EXPECT_EQ(MessageIdentifier("Ab\xC4Z"), "ab\xC4z");
}

TEST(MessageTableTest, DefaultTableServesCallsWithoutTable) {
  std::string text;
  const int before = DefaultMessageTable().Count();
  RegisterMessage("cDefaultTableTest", text);
  EXPECT_EQ(DefaultMessageTable().Count(), before + 1);
  SetMessage("CDEFAULTTABLETEST", "set");
  EXPECT_EQ(text, "set");
  // Leave the process-wide table as it was for the other tests.
  DefaultMessageTable().Entries.pop_back();
}

}  // namespace
}  // namespace support

TEST(FillMessageTest, OnlyPercentSTakesArguments) {
  struct Case {
    const char* pattern;
    std::vector<std::string> args;
    const char* filled;
  };
  const Case cases[] = {
      {"%s Setup", {"Orvik"}, "Orvik Setup"},
      {"There is new %s %s version", {"Orvik", "8.9.1"}, "There is new Orvik 8.9.1 version"},
      {"%s and %s", {"one"}, "one and "},            // missing argument
      {"%d%% %n %x %", {"unused"}, "%d%% %n %x %"},  // no printf sequence is read
      {"%s", {"100%s done"}, "100%s done"},          // arguments are not scanned
      {"trailing %", {}, "trailing %"},
  };
  for (const Case& c : cases) EXPECT_EQ(support::FillMessage(c.pattern, c.args), c.filled);
}
