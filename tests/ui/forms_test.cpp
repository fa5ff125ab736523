// The three forms as designed: names, classes, texts and initial state that the
// wizard logic, the start-up and the translation rely on.
#include "ui/forms.h"

#include <gtest/gtest.h>

#include <set>

#include "ui/form_ui.h"
#include "ui/headless.h"

namespace ui {
namespace {

struct Expected {
  const char* name;
  const char* className;
  const char* caption;
};

void ExpectComponents(const TForm& form, std::initializer_list<Expected> expected) {
  for (const auto& e : expected) {
    SCOPED_TRACE(e.name);
    const TComponent* c = form.Find(e.name);
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(c->ClassName(), e.className);
    EXPECT_EQ(c->Caption(), e.caption);
  }
}

// Every parent exists, every component lies within its parent, names are unique.
void ExpectSoundLayout(const TForm& form) {
  std::set<std::string> names;
  for (const auto& c : form.Components()) {
    SCOPED_TRACE(c->Name());
    EXPECT_FALSE(c->Name().empty());
    EXPECT_TRUE(names.insert(c->Name()).second) << "duplicate name";
    int width = form.ClientWidth(), height = form.ClientHeight();
    if (!c->ParentName().empty()) {
      const TComponent* parent = form.Find(c->ParentName());
      ASSERT_NE(parent, nullptr);
      width = parent->Bounds().Width;
      height = parent->Bounds().Height;
    }
    const TBounds& b = c->Bounds();
    EXPECT_GE(b.Left, 0);
    EXPECT_GE(b.Top, 0);
    EXPECT_GT(b.Width, 0);
    EXPECT_GT(b.Height, 0);
    EXPECT_LE(b.Left + b.Width, width);
    EXPECT_LE(b.Top + b.Height, height);
  }
}

TEST(MainFormTest, FormAndButtons) {
  auto form = CreateMainForm();
  EXPECT_EQ(form->ClassName(), "TMainForm");
  EXPECT_EQ(form->Name(), "MainForm");
  EXPECT_EQ(form->ClientWidth(), 455);
  EXPECT_EQ(form->ClientHeight(), 363);
  EXPECT_TRUE(form->KeyPreview());  // Escape reaches the form first
  ExpectComponents(*form, {{"PageCaption", "TLabel", ""},
                           {"BackButton", "TButton", "< &Back"},
                           {"NextButton", "TButton", "&Next >"},
                           {"CloseButton", "TButton", "&Cancel"}});
  // The one Back/Next handler tells the buttons apart by tag.
  EXPECT_EQ(form->Get("BackButton").Tag(), 0);
  EXPECT_EQ(form->Get("NextButton").Tag(), 1);
  EXPECT_EQ(form->Get("PageCaption").ParentName(), "TitlePanel");
  ExpectSoundLayout(*form);
}

TEST(MainFormTest, PagesAreFullSizePanels) {
  auto form = CreateMainForm();
  const char* pages[] = {"WelcomePanel", "LicensePanel",    "SetupTypePanel", "SetupComponents",
                         "InstallPanel", "InstallingPanel", "FinishedPanel"};
  const TBounds first = form->Get(pages[0]).Bounds();
  for (const char* page : pages) {
    SCOPED_TRACE(page);
    const TComponent* panel = form->Find(page);
    ASSERT_NE(panel, nullptr);
    EXPECT_EQ(panel->ClassName(), "TPanel");
    EXPECT_TRUE(panel->ParentName().empty());
    EXPECT_TRUE(panel->Visible());
    EXPECT_EQ(panel->Bounds().Left, first.Left);
    EXPECT_EQ(panel->Bounds().Top, first.Top);
    EXPECT_EQ(panel->Bounds().Width, 455);
    EXPECT_EQ(panel->Bounds().Height, first.Height);
  }
  // The page area lies between the title band and the button row.
  EXPECT_GE(first.Top, form->Get("TitlePanel").Bounds().Height);
  EXPECT_LE(first.Top + first.Height, form->Get("NextButton").Bounds().Top);
}

TEST(MainFormTest, PageControlsAndTexts) {
  auto form = CreateMainForm();
  ExpectComponents(
      *form, {{"WelcomeTitle", "TLabel", "Welcome to the Orvik Mail Server Setup Wizard"},
              {"WelcomeContinue", "TLabel", "Click Next to continue with the Setup program."},
              {"CheckLatest", "TCheckBox", "Check for new version on the Internet"},
              {"LicenseQuestion", "TLabel", "Do you agree with the following license agreement?"},
              {"LicenseMemo", "TMemo", ""},
              {"LicenseAgree", "TCheckBox", "I agree with the license agreement"},
              {"SetupTypeLabel", "TLabel", "Select the interface mode (can be changed later):"},
              {"AdvancedMode", "TRadioButton", "Advanced"},
              {"BasicMode", "TRadioButton", "Basic"},
              {"ConsoleMemo", "TMemo", ""},
              {"ComponentsLabel", "TLabel", "Select components you want to have installed:"},
              {"ComponentList", "TCheckListBox", ""},
              {"AddDesktop", "TCheckBox", "Add icon to desktop"},
              {"AddQuickLaunch", "TCheckBox", "Add icon to quick launch"},
              {"DestinationGroup", "TGroupBox", "Destination Directory"},
              {"PathEdit", "TLabel", "Orvik\\"},
              {"BrowseButton", "TButton", "&Browse..."},
              {"InstallPanelText", "TLabel", ""},
              {"ProgressBar", "TProgressBar", ""},
              {"FinishedText", "TLabel",
               "Installation was successful. You may run the installed program now."},
              {"FinishedActions", "TLabel",
               "Select actions below you want to have performed when clicked the Next button."},
              {"RunConfig", "TCheckBox", "Open Server Administration Interface"},
              {"RunTutorial", "TCheckBox", "Run Installation Wizard"},
              {"ShowTutorial", "TCheckBox", "View Quick Start Tutorial"}});
  EXPECT_EQ(form->Get("CheckLatest").ParentName(), "WelcomePanel");
  EXPECT_EQ(form->Get("LicenseAgree").ParentName(), "LicensePanel");
  EXPECT_EQ(form->Get("BasicMode").ParentName(), "SetupTypePanel");
  EXPECT_EQ(form->Get("ComponentList").ParentName(), "SetupComponents");
  EXPECT_EQ(form->Get("PathEdit").ParentName(), "DestinationGroup");
  EXPECT_EQ(form->Get("BrowseButton").ParentName(), "DestinationGroup");
  EXPECT_EQ(form->Get("DestinationGroup").ParentName(), "InstallPanel");
  EXPECT_EQ(form->Get("ProgressBar").ParentName(), "InstallingPanel");
  EXPECT_EQ(form->Get("RunTutorial").ParentName(), "FinishedPanel");
  EXPECT_TRUE(form->Get("LicenseMemo").Style() & kReadOnly);
  EXPECT_TRUE(form->Get("ConsoleMemo").Style() & kReadOnly);
}

TEST(MainFormTest, InitialChoices) {
  auto form = CreateMainForm();
  EXPECT_TRUE(form->Get("CheckLatest").Checked());
  EXPECT_FALSE(form->Get("LicenseAgree").Checked());
  EXPECT_TRUE(form->Get("AdvancedMode").Checked());
  EXPECT_FALSE(form->Get("BasicMode").Checked());
  EXPECT_TRUE(form->Get("AddDesktop").Checked());
  EXPECT_TRUE(form->Get("AddQuickLaunch").Checked());
  EXPECT_FALSE(form->Get("RunConfig").Checked());
  EXPECT_TRUE(form->Get("RunTutorial").Checked());
  EXPECT_TRUE(form->Get("ShowTutorial").Checked());
  const TComponent& progress = form->Get("ProgressBar");
  EXPECT_EQ(progress.Max(), 2400);
  EXPECT_EQ(progress.Step(), 100);
  EXPECT_EQ(progress.Position(), 0);
}

// The run's steps stay the bar's milestones; the work of a step moves it
// between them, never onto the next, and the line below the status names it.
TEST(MainFormTest, WorkMovesTheBarBetweenItsSteps) {
  auto form = CreateMainForm();
  HeadlessRenderer renderer;
  TFormUI ui(*form, renderer);
  const TComponent& bar = form->Get("ProgressBar");
  const TComponent& work = form->Get("InstallPanelWork");
  EXPECT_TRUE(work.Style() & kPathEllipsis);
  struct Row {
    int steps;  // StepProgress calls first
    std::string item;
    uint64_t done, total;
    int position;
  };
  const Row rows[] = {{0, "setup.Dat", 50, 200, 24},   {0, "setup.Dat", 200, 200, 99},
                      {0, "setup.Dat", 900, 200, 99},  {0, "C:\\Orvik\\doc\\", 0, 0, 99},
                      {1, "setupweb.dat", 0, 10, 100}, {0, "setupweb.dat", 5, 10, 149},
                      {11, "other.dat", 10, 10, 1299}, {12, "", 0, 0, 2400}};
  for (const Row& row : rows) {
    for (int step = 0; step < row.steps; ++step) ui.StepProgress();
    ui.ShowWork(row.item, row.done, row.total);
    EXPECT_EQ(bar.Position(), row.position) << row.item << " " << row.done << "/" << row.total;
    EXPECT_EQ(work.Caption(), row.item);
  }
  ui.ShowStatus("Finished");
  EXPECT_EQ(work.Caption(), "");
  EXPECT_EQ(form->Get("InstallPanelText").Caption(), "Finished");
}

TEST(MainFormTest, ComponentListInFlagOrder) {
  auto form = CreateMainForm();
  const TComponent& list = form->Get("ComponentList");
  const std::vector<std::string> expected = {"Mail Services (SMTP, POP3, IMAP)",
                                             "Control Services (Control, HTTP, FTP)",
                                             "Anti-Spam",
                                             "Anti-Virus",
                                             "GroupWare",
                                             "Instant Messaging / VoIP"};
  EXPECT_EQ(list.Items(), expected);
  EXPECT_EQ(list.ItemIndex(), -1);
  for (int i = 0; i < 6; ++i) EXPECT_FALSE(list.ItemChecked(i));
}

TEST(BrowseFolderTest, Dialog) {
  auto form = CreateBrowseFolderForm();
  EXPECT_EQ(form->ClassName(), "TBrowseFolder");
  EXPECT_EQ(form->Caption(), "Choose Folder");
  EXPECT_EQ(form->ClientWidth(), 250);
  EXPECT_EQ(form->ClientHeight(), 266);
  ExpectComponents(*form, {{"PathEdit", "TEdit", ""},
                           {"PathLabel", "TLabel", "&Path: "},
                           {"DirectoryListBox", "TDirectoryListBox", ""},
                           {"DirectoryLabel", "TLabel", "&Directories"},
                           {"DriveComboBox", "TDriveComboBox", ""},
                           {"DriveLabel", "TLabel", "Dr&ives:"},
                           {"PromptLabel", "TLabel", "Please choose the installation folder."},
                           {"OKButton", "TButton", "&OK"},
                           {"CancelButton", "TButton", "&Cancel"},
                           {"Netbutton", "TButton", "&Network..."}});
  EXPECT_TRUE(form->Get("OKButton").Style() & kDefaultButton);
  EXPECT_EQ(form->Get("CancelButton").ModalResult(), kMrCancel);
  // OK decides in its handler whether the dialog may close.
  EXPECT_EQ(form->Get("OKButton").ModalResult(), kMrNone);
  ExpectSoundLayout(*form);
}

TEST(WizardFormTest, PanelsFieldsAndButtons) {
  auto form = CreateWizardForm();
  EXPECT_EQ(form->ClassName(), "TWizardForm");
  EXPECT_EQ(form->Caption(), "Wizard");
  EXPECT_EQ(form->ClientWidth(), 544);
  EXPECT_EQ(form->ClientHeight(), 367);
  EXPECT_TRUE(form->KeyPreview());
  ExpectComponents(
      *form,
      {{"TopMenuLabel", "TLabel", ""},
       {"NamePanel", "TPanel", ""},
       {"OtherPanel", "TPanel", ""},
       {"EmailPanel", "TPanel", ""},
       {"FinishPanel", "TPanel", ""},
       {"NameText", "TLabel",
        "Enter the hostname of the mail server computer. It must not be blank. "},
       {"NameLabel", "TLabel", "Hostname:"},
       {"NameEdit", "TEdit", ""},
       {"OtherText", "TLabel", "Enter the name of the primary domain."},
       {"OtherLabel", "TLabel", "Domain:"},
       {"OtherEdit", "TEdit", ""},
       {"EmailText", "TLabel",
        "Enter the username and password of the primary domain administrator. "},
       {"EmailLabel", "TLabel", "Username:"},
       {"EmailEdit", "TEdit", ""},
       {"EmailExample", "TLabel", "For example: administrator"},
       {"PassLabel", "TLabel", "Password:"},
       {"PassEdit", "TEdit", ""},
       {"FinishText", "TLabel",
        "You have successfully entered all of the information to setup your account.\r\n\r\nTo "
        "save these settings, click Finish."},
       {"PreviousButton", "TButton", "< Back"},
       {"NextButton", "TButton", "Next >"},
       {"CancelButton", "TButton", "Cancel"}});
  // The tag names the field that decides Next.
  EXPECT_EQ(form->Get("NameEdit").Tag(), 0);
  EXPECT_EQ(form->Get("OtherEdit").Tag(), 2);
  EXPECT_EQ(form->Get("EmailEdit").Tag(), 1);
  EXPECT_EQ(form->Get("PassEdit").Tag(), 1);
  EXPECT_TRUE(form->Get("PassEdit").Style() & kPassword);
  EXPECT_TRUE(form->Get("NextButton").Style() & kDefaultButton);
  EXPECT_EQ(form->Get("CancelButton").ModalResult(), kMrCancel);
  EXPECT_EQ(form->Get("NameEdit").ParentName(), "NamePanel");
  EXPECT_EQ(form->Get("PassEdit").ParentName(), "EmailPanel");
  EXPECT_TRUE(form->Get("NamePanel").Visible());
  ExpectSoundLayout(*form);
}

}  // namespace
}  // namespace ui
