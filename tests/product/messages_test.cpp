// The setup messages: registration order, defaults, and the service warning.
#include "product/messages.h"

#include <gtest/gtest.h>

#include "platform/system.h"
#include "ui/headless.h"

namespace setup {
namespace {

class SetupMessagesTest : public testing::Test {
 protected:
  void TearDown() override { RestoreDefaultMessages(); }
  support::TMessageTable table;
};

TEST_F(SetupMessagesTest, RegisteredInListOrder) {
  RegisterSetupMessages(&table);
  ASSERT_EQ(table.Count(), 75);
  EXPECT_EQ(table.Entries[0].Identifier, "cname");
  EXPECT_EQ(table.Entries[0].Variable, &cName);
  EXPECT_EQ(table.Entries[1].Identifier, "cdoyouexit");
  EXPECT_EQ(table.Entries[3].Identifier, "uninstalldesc");
  EXPECT_EQ(table.Entries[30].Identifier, "cserviceerror");
  EXPECT_EQ(table.Entries[32].Variable, &cErrorText);
  EXPECT_EQ(table.Entries[67].Identifier, "wprimarydomain");
  EXPECT_EQ(table.Entries[70].Identifier, "wwizardcomplete");
  EXPECT_EQ(table.Entries[70].Variable, &WWizardComplete);
  // Ours, after the list of the original program: a translation carries it too.
  EXPECT_EQ(table.Entries[71].Identifier, "cfinishednotrunning");
}

TEST_F(SetupMessagesTest, DefaultTexts) {
  EXPECT_EQ(cName, "Orvik Mail Server");
  EXPECT_EQ(cSetupType, "Server Type && Console Mode");
  EXPECT_EQ(cWebMailManualFile, "html\\mail\\help\\index.htm");
  EXPECT_EQ(LinkDesc,
            "Orvik Mail Server Administration\r\nOrvik Mail Server Readme\r\nOrvik Mail Server "
            "Help\r\nDNS Query Tool\r\nOrvik Mail Server Tutorial");
  EXPECT_EQ(cErrorFile.find("'%s'.\r\n%s\r\nDo you want"), 36u);
  EXPECT_EQ(cErrorText.substr(0, 2), "\r\n");
  EXPECT_EQ(cInstallC, "&Install >");
  EXPECT_EQ(cPSetup, "%s %s Setup");
}

TEST_F(SetupMessagesTest, TranslationReplacesAndRestoreBringsDefaultsBack) {
  RegisterSetupMessages(&table);
  support::SetMessage("CNAME", "Orvik Mailserver", &table);
  support::SetMessage("cyes", "&Ja", &table);
  EXPECT_EQ(cName, "Orvik Mailserver");
  EXPECT_EQ(cYes, "&Ja");
  RestoreDefaultMessages();
  EXPECT_EQ(cName, "Orvik Mail Server");
  EXPECT_EQ(cYes, "&Yes");
}

TEST_F(SetupMessagesTest, ServiceWarningForAccessDenied) {
  const std::string system = platform::SystemErrorText(5);
  ASSERT_FALSE(system.empty());
#ifndef _WIN32
  EXPECT_EQ(system, "Access is denied.");
#endif
  // The system's text comes without its own line break.
  EXPECT_NE(system.back(), '\n');
  EXPECT_NE(system.back(), '\r');
  const std::string text = ServiceWarningText(5);
  EXPECT_EQ(text, "Service error: " + system +
                      "\r\nThere might be already some service running on the same TCP/IP port. "
                      "Make sure MS SMTP, Norton Antivirus POP3 or some other mail server is not "
                      "running on this machine.");

  cServiceError = "Dienstfehler: ";
  EXPECT_EQ(ServiceWarningText(5).rfind("Dienstfehler: " + system + "\r\n", 0), 0u);

  ui::HeadlessUI ui;
  ShowServiceWarning(ui, 1060);
  ASSERT_EQ(ui.Boxes().size(), 1u);
  EXPECT_EQ(ui.Boxes()[0].caption, "Warning");
  EXPECT_EQ(ui.Boxes()[0].flags, ui::kOk | ui::kIconWarning | ui::kTaskModal);
  EXPECT_EQ(ui.Boxes()[0].text, ServiceWarningText(1060));
  EXPECT_NE(platform::SystemErrorText(1060), "");
}

}  // namespace
}  // namespace setup
