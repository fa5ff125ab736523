// The answers file of /CONFIG=: its format and the values the wizard would refuse.
#include "setup/answers_file.h"

#include <gtest/gtest.h>

#include "common/scratch_dir.h"

namespace {

TEST(AnswersFileTest, ReadsTheFirstRunSection) {
  serverconfig::FirstRunValues values;
  EXPECT_EQ(setup::ParseAnswers("\xEF\xBB\xBF; answers\r\n[Other]\r\nHostName=elsewhere\r\n"
                                "[firstrun]\r\n  hostname = mail.example.com\r\n"
                                "Domain=example.com\nADMINISTRATOR= admin\r\n"
                                "# the password keeps its blanks\r\nPassword= a b \r\n",
                                values),
            "");
  EXPECT_EQ(values.HostName, " mail.example.com");
  EXPECT_EQ(values.Domain, "example.com");
  EXPECT_EQ(values.User, " admin");
  EXPECT_EQ(values.Password, " a b ");
}

TEST(AnswersFileTest, RefusesWhatCannotBeApplied) {
  const std::string good = "HostName=h\r\nDomain=example.com\r\nAdministrator=admin\r\n";
  struct Case {
    std::string text, problem;
  };
  const Case cases[] = {
      {"", "lacks HostName="},
      {"[FirstRun]\r\n" + good, "lacks Password="},
      {"[Other]\r\n" + good + "Password=\r\n", "lacks HostName="},
      {"[FirstRun]\r\n" + good + "Password=\r\nPasword=x\r\n", "unknown line: Pasword=x"},
      {"[FirstRun]\r\n" + good + "Password\r\n", "unknown line: Password"},
      {"[FirstRun]\r\n" + good + "Password=\r\nDomain=b.example\r\n", "Domain is given twice"},
      {"[FirstRun]\r\nHostName=h\r\nDomain= \r\nAdministrator=admin\r\nPassword=\r\n",
       "the domain name"},
      {"[FirstRun]\r\nHostName=h\r\nDomain=example.com\r\nAdministrator=..\\..\\x\r\nPassword=\r\n",
       "the user name"},
      // Before the installation it is not known whether the server encrypts passwords.
      {"[FirstRun]\r\n" + good + "Password=" + std::string(94, 'p') + "\r\n", "longer than 93"},
  };
  for (const Case& c : cases) {
    serverconfig::FirstRunValues values;
    std::string problem = setup::ParseAnswers(c.text, values);
    EXPECT_NE(problem.find(c.problem), std::string::npos) << c.text << " -> " << problem;
  }
  serverconfig::FirstRunValues values;
  testing_support::ScratchDir scratch;
  EXPECT_NE(setup::ReadAnswersFile(scratch.Path() + "none.ini", values), "");
  ASSERT_TRUE(testing_support::WriteFile(scratch.Path() + "a.ini",
                                         "[FirstRun]\r\n" + good + "Password=pw\r\n"));
  EXPECT_EQ(setup::ReadAnswersFile(scratch.Path() + "a.ini", values), "");
  EXPECT_EQ(values.Password, "pw");
}

}  // namespace
