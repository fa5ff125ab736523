// TMainForm: a title band, the seven wizard pages as panels filling the page
// area, and the Back / Next / Cancel row. All pages exist at once; showing one
// enables it and brings it to the front.
#include "ui/forms.h"

namespace ui {
namespace {

constexpr int kPageTop = 59, kPageHeight = 259;
constexpr TBounds kPage = {0, kPageTop, 455, kPageHeight};

const TComponentDesc kMainForm[] = {
    // Title band.
    {.ClassName = "TPanel",
     .Name = "TitlePanel",
     .Bounds = {0, 0, 455, 57},
     .Style = kWhiteBackground},
    {.ClassName = "TImage", .Name = "Logo", .Parent = "TitlePanel", .Bounds = {399, 4, 48, 48}},
    {.ClassName = "TLabel",
     .Name = "PageCaption",
     .Parent = "TitlePanel",
     .Bounds = {16, 20, 370, 16},
     .Style = kBoldFont},
    {.ClassName = "TBevel", .Name = "TopBevel", .Bounds = {0, 57, 455, 2}},

    // Welcome.
    {.ClassName = "TPanel", .Name = "WelcomePanel", .Bounds = kPage},
    {.ClassName = "TLabel",
     .Name = "WelcomeTitle",
     .Parent = "WelcomePanel",
     .Bounds = {16, 12, 423, 36},
     .Caption = "Welcome to the Orvik Mail Server Setup Wizard",
     .Style = kBoldFont | kWordWrap},
    {.ClassName = "TLabel",
     .Name = "WelcomeText",
     .Parent = "WelcomePanel",
     .Bounds = {16, 60, 423, 64},
     .Caption = "Orvik Mail Server is a complete mail server for Windows: SMTP, POP3 and IMAP "
                "services, web mail and web administration, anti-spam and anti-virus protection, "
                "groupware and instant messaging.",
     .Style = kWordWrap},
    {.ClassName = "TLabel",
     .Name = "WelcomeContinue",
     .Parent = "WelcomePanel",
     .Bounds = {16, 180, 423, 16},
     .Caption = "Click Next to continue with the Setup program."},
    {.ClassName = "TCheckBox",
     .Name = "CheckLatest",
     .Parent = "WelcomePanel",
     .Bounds = {16, 224, 423, 17},
     .Caption = "Check for new version on the Internet",
     .Checked = true},

    // Licence agreement.
    {.ClassName = "TPanel", .Name = "LicensePanel", .Bounds = kPage},
    {.ClassName = "TLabel",
     .Name = "LicenseQuestion",
     .Parent = "LicensePanel",
     .Bounds = {16, 8, 423, 16},
     .Caption = "Do you agree with the following license agreement?"},
    {.ClassName = "TMemo",
     .Name = "LicenseMemo",
     .Parent = "LicensePanel",
     .Bounds = {16, 28, 423, 196},
     .Style = kReadOnly | kVerticalScroll},
    {.ClassName = "TCheckBox",
     .Name = "LicenseAgree",
     .Parent = "LicensePanel",
     .Bounds = {16, 232, 423, 17},
     .Caption = "I agree with the license agreement"},

    // Setup type.
    {.ClassName = "TPanel", .Name = "SetupTypePanel", .Bounds = kPage},
    {.ClassName = "TLabel",
     .Name = "SetupTypeLabel",
     .Parent = "SetupTypePanel",
     .Bounds = {16, 12, 423, 16},
     .Caption = "Select the interface mode (can be changed later):"},
    {.ClassName = "TRadioButton",
     .Name = "AdvancedMode",
     .Parent = "SetupTypePanel",
     .Bounds = {32, 40, 200, 17},
     .Caption = "Advanced",
     .Checked = true},
    {.ClassName = "TRadioButton",
     .Name = "BasicMode",
     .Parent = "SetupTypePanel",
     .Bounds = {32, 64, 200, 17},
     .Caption = "Basic"},
    {.ClassName = "TMemo",
     .Name = "ConsoleMemo",
     .Parent = "SetupTypePanel",
     .Bounds = {16, 96, 423, 120},
     .Style = kReadOnly},

    // Components.
    {.ClassName = "TPanel", .Name = "SetupComponents", .Bounds = kPage},
    {.ClassName = "TLabel",
     .Name = "ComponentsLabel",
     .Parent = "SetupComponents",
     .Bounds = {16, 12, 423, 16},
     .Caption = "Select components you want to have installed:"},
    {.ClassName = "TCheckListBox",
     .Name = "ComponentList",
     .Parent = "SetupComponents",
     .Bounds = {16, 36, 423, 180},
     // Positions match the component flags: Mail, Control, IAS, AV, Calendar, IM.
     .Items = {"Mail Services (SMTP, POP3, IMAP)", "Control Services (Control, HTTP, FTP)",
               "Anti-Spam", "Anti-Virus", "GroupWare", "Instant Messaging / VoIP"}},

    // Destination.
    {.ClassName = "TPanel", .Name = "InstallPanel", .Bounds = kPage},
    {.ClassName = "TLabel",
     .Name = "InstallText",
     .Parent = "InstallPanel",
     .Bounds = {16, 12, 423, 48},
     .Caption = "Setup will install Orvik Mail Server into the destination directory below. "
                "Click Browse to choose another folder, then click Install to start copying "
                "files.",
     .Style = kWordWrap},
    {.ClassName = "TCheckBox",
     .Name = "AddDesktop",
     .Parent = "InstallPanel",
     .Bounds = {16, 72, 423, 17},
     .Caption = "Add icon to desktop",
     .Checked = true},
    {.ClassName = "TCheckBox",
     .Name = "AddQuickLaunch",
     .Parent = "InstallPanel",
     .Bounds = {16, 96, 423, 17},
     .Caption = "Add icon to quick launch",
     .Checked = true},
    {.ClassName = "TGroupBox",
     .Name = "DestinationGroup",
     .Parent = "InstallPanel",
     .Bounds = {16, 176, 423, 64},
     .Caption = "Destination Directory"},
    // The destination itself (InstallDir); its design-time text is the leaf a
    // fresh install appends to the program folder.
    {.ClassName = "TLabel",
     .Name = "PathEdit",
     .Parent = "DestinationGroup",
     .Bounds = {12, 28, 312, 16},
     .Caption = "Orvik\\"},
    {.ClassName = "TButton",
     .Name = "BrowseButton",
     .Parent = "DestinationGroup",
     .Bounds = {336, 22, 75, 23},
     .Caption = "&Browse..."},

    // Installing.
    {.ClassName = "TPanel", .Name = "InstallingPanel", .Bounds = kPage},
    {.ClassName = "TLabel",
     .Name = "InstallPanelText",
     .Parent = "InstallingPanel",
     .Bounds = {16, 80, 423, 16}},
    // 24 steps: 12 while the package is unpacked, 12 for the rest of the run.
    {.ClassName = "TProgressBar",
     .Name = "ProgressBar",
     .Parent = "InstallingPanel",
     .Bounds = {16, 104, 423, 17},
     .Max = 2400,
     .Step = 100},
    // The file or folder the step works on.
    {.ClassName = "TLabel",
     .Name = "InstallPanelWork",
     .Parent = "InstallingPanel",
     .Bounds = {16, 128, 423, 16},
     .Style = kPathEllipsis},

    // Finished.
    {.ClassName = "TPanel", .Name = "FinishedPanel", .Bounds = kPage},
    {.ClassName = "TLabel",
     .Name = "FinishedText",
     .Parent = "FinishedPanel",
     .Bounds = {16, 12, 423, 32},
     .Caption = "Installation was successful. You may run the installed program now.",
     .Style = kWordWrap},
    {.ClassName = "TLabel",
     .Name = "FinishedActions",
     .Parent = "FinishedPanel",
     .Bounds = {16, 56, 423, 32},
     .Caption = "Select actions below you want to have performed when clicked the Next button.",
     .Style = kWordWrap},
    {.ClassName = "TCheckBox",
     .Name = "RunConfig",
     .Parent = "FinishedPanel",
     .Bounds = {32, 104, 400, 17},
     .Caption = "Open Server Administration Interface"},
    {.ClassName = "TCheckBox",
     .Name = "RunTutorial",
     .Parent = "FinishedPanel",
     .Bounds = {32, 128, 400, 17},
     .Caption = "Run Installation Wizard",
     .Checked = true},
    {.ClassName = "TCheckBox",
     .Name = "ShowTutorial",
     .Parent = "FinishedPanel",
     .Bounds = {32, 152, 400, 17},
     .Caption = "View Quick Start Tutorial",
     .Checked = true},

    // Button row. One click handler serves Back and Next and tells them apart by tag.
    {.ClassName = "TBevel", .Name = "BottomBevel", .Bounds = {0, 318, 455, 2}},
    {.ClassName = "TButton",
     .Name = "BackButton",
     .Bounds = {200, 330, 75, 23},
     .Caption = "< &Back",
     .Tag = 0},
    {.ClassName = "TButton",
     .Name = "NextButton",
     .Bounds = {275, 330, 75, 23},
     .Caption = "&Next >",
     .Tag = 1,
     .Style = kDefaultButton},
    {.ClassName = "TButton",
     .Name = "CloseButton",
     .Bounds = {365, 330, 75, 23},
     .Caption = "&Cancel"},
};

}  // namespace

std::unique_ptr<TForm> CreateMainForm() {
  // The caption is replaced at start-up by "<product> <version> Setup"; the
  // form intercepts Escape for the cancel question.
  return std::make_unique<TForm>(TFormDesc{.ClassName = "TMainForm",
                                           .Name = "MainForm",
                                           .Caption = "Setup",
                                           .ClientWidth = 455,
                                           .ClientHeight = 363,
                                           .KeyPreview = true},
                                 kMainForm);
}

}  // namespace ui
