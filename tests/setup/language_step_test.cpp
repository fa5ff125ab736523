// The language step of start-up: the switch, applying setup.lng, and the export.
#include "setup/language_step.h"

#include <gtest/gtest.h>

#include "common/scratch_dir.h"
#include "platform/files.h"
#include "product/messages.h"
#include "setup/application.h"
#include "ui/forms.h"
#include "ui/headless.h"

namespace setup {
namespace {

using testing_support::ReadFile;
using testing_support::ScratchDir;
using testing_support::WriteFile;

TEST(ExportSwitchTest, SlashOrMinusAnyCaseAnywhere) {
  EXPECT_TRUE(HasExportLanguageSwitch({"/exportlanguage"}));
  EXPECT_TRUE(HasExportLanguageSwitch({"/SILENT", "-EXPORTLANGUAGE"}));
  EXPECT_TRUE(HasExportLanguageSwitch({"x", "y", "/ExportLanguage"}));
  EXPECT_FALSE(HasExportLanguageSwitch({}));
  EXPECT_FALSE(HasExportLanguageSwitch({"exportlanguage"}));
  EXPECT_FALSE(HasExportLanguageSwitch({"--exportlanguage"}));
  EXPECT_FALSE(HasExportLanguageSwitch({"/exportlanguages"}));
  EXPECT_FALSE(HasExportLanguageSwitch({"/exportlanguag"}));
  EXPECT_FALSE(HasExportLanguageSwitch({"/export language"}));
}

TEST(ExportSwitchTest, FileBesideTheProgram) {
  EXPECT_EQ(TranslationFilePath("C:\\Setup Files\\setup.exe"), "C:\\Setup Files\\setup.lng");
  EXPECT_EQ(TranslationFilePath("/opt/orvik/setup"), "/opt/orvik/setup.lng");
  const std::string deep = "C:\\" + std::string(260, 'd') + "\\setup.exe";
  EXPECT_EQ(TranslationFilePath(deep).size(), 255u);
}

class LanguageStepTest : public testing::Test {
 protected:
  void TearDown() override {
    support::ClearMessages();
    RestoreDefaultMessages();
  }
  ui::TApplicationForms Forms() const { return {main.get(), browse.get(), wizard.get()}; }

  ScratchDir dir;
  std::string program = dir.Path() + "setup.exe";
  std::string lng = dir.Path() + "setup.lng";
  std::unique_ptr<ui::TForm> main = ui::CreateMainForm(), browse = ui::CreateBrowseFolderForm(),
                             wizard = ui::CreateWizardForm();
};

TEST_F(LanguageStepTest, NeitherFileNorSwitchLeavesDefaults) {
  EXPECT_FALSE(RunLanguageStep({"/SILENT"}, program, Forms()));
  EXPECT_EQ(support::DefaultMessageTable().Count(), 0);
  EXPECT_FALSE(platform::FileExists(lng));
}

TEST_F(LanguageStepTest, ExistingFileIsApplied) {
  ASSERT_TRUE(WriteFile(lng,
                        "<APPLICATION><FORMS><FORM ID=\"TMainForm\" CAPTION=\"Einrichtung\">"
                        "<ITEM ID=\"NextButton\" CLASS=\"tbutton\" CAPTION=\"&amp;Weiter &gt;\"/>"
                        "</FORM></FORMS><STRINGS><STRING ID=\"TStrings\">"
                        "<ITEM ID=\"cDoYouExit\" VALUE=\"Installation abbrechen?\"/>"
                        "</STRING></STRINGS></APPLICATION>"));
  EXPECT_FALSE(RunLanguageStep({}, program, Forms()));
  EXPECT_EQ(support::DefaultMessageTable().Count(), 75);
  EXPECT_EQ(main->Caption(), "Einrichtung");
  EXPECT_EQ(main->Get("NextButton").Caption(), "&Weiter >");
  EXPECT_EQ(cDoYouExit, "Installation abbrechen?");
  EXPECT_EQ(cName, "Orvik Mail Server");
}

TEST_F(LanguageStepTest, ExportWritesEveryFormAndMessage) {
  EXPECT_TRUE(RunLanguageStep({"-EXPORTLANGUAGE"}, program, Forms()));
  const std::string text = ReadFile(lng);
  ASSERT_EQ(text.rfind("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n", 0), 0u);
  EXPECT_NE(text.find("<FORM ID=\"TMainForm\""), std::string::npos);
  EXPECT_NE(text.find("<FORM ID=\"TBrowseFolder\""), std::string::npos);
  EXPECT_NE(text.find("<FORM ID=\"TWizardForm\""), std::string::npos);
  EXPECT_NE(text.find("<ITEM ID=\"csetuptype\" VALUE=\"Server Type &amp;&amp; Console Mode\"/>"),
            std::string::npos);
  EXPECT_NE(text.find("<ITEM ID=\"wwizardcomplete\" VALUE=\"Wizard Complete\"/>\r\n"),
            std::string::npos);
  // Ours, after the original list: a translator sees it too.
  const size_t finished =
      text.find("<ITEM ID=\"cfinishednotrunning\" VALUE=\"The installation has");
  const size_t last = text.find("<ITEM ID=\"cnotrestored\" VALUE=\"Setup could not undo");
  EXPECT_LT(text.find("wwizardcomplete"), finished);
  EXPECT_LT(finished, last);
  EXPECT_EQ(text.find("/>\r\n", last), text.find("</STRING>") - 4);
}

TEST_F(LanguageStepTest, ExportMergesAnExistingTranslation) {
  ASSERT_TRUE(WriteFile(lng,
                        "<APPLICATION><FORMS><FORM ID=\"TBrowseFolder\" CAPTION=\"Ordner\"/>"
                        "</FORMS><STRINGS><STRING ID=\"TStrings\">"
                        "<ITEM ID=\"cname\" VALUE=\"Orvik Mailserver\"/></STRING></STRINGS>"
                        "</APPLICATION>"));
  EXPECT_TRUE(RunLanguageStep({"/SILENT", "/exportLanguage"}, program, Forms()));
  const std::string text = ReadFile(lng);
  EXPECT_NE(text.find("<FORM ID=\"TBrowseFolder\" CAPTION=\"Ordner\">"), std::string::npos);
  EXPECT_NE(text.find("<ITEM ID=\"cname\" VALUE=\"Orvik Mailserver\"/>"), std::string::npos);
  // What the file did not cover keeps its built-in text.
  EXPECT_NE(text.find("<FORM ID=\"TMainForm\" CAPTION=\"Setup\">"), std::string::npos);
  EXPECT_NE(text.find("<ITEM ID=\"cdoyouexit\" VALUE=\"Do you wish to cancel this "
                      "installation?\"/>"),
            std::string::npos);
  EXPECT_EQ(support::DefaultMessageTable().Count(), 75);
}

TEST(SetupApplicationFormsTest, CreatedInOrderAndWalkedInIt) {
  TSetupApplication application;
  ui::HeadlessUI ui;
  EXPECT_EQ(application.Run({"/unknown"}, ui, "C:\\nowhere\\setup.exe"), 0);
  const ui::TApplicationForms forms = application.Forms();
  ASSERT_EQ(forms.size(), 3u);
  ASSERT_TRUE(forms[0] && forms[1] && forms[2]);
  EXPECT_EQ(forms[0]->ClassName(), "TMainForm");
  EXPECT_EQ(forms[1]->ClassName(), "TBrowseFolder");
  EXPECT_EQ(forms[2]->ClassName(), "TWizardForm");
  // Neither a translation beside the test program nor the switch: nothing registered.
  EXPECT_EQ(support::DefaultMessageTable().Count(), 0);
}

}  // namespace
}  // namespace setup
