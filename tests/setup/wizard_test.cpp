// The setup wizard driven as a user drives it: scripted clicks, keys and box
// answers on the main window and the folder dialog, through the headless renderer.
#include "setup/wizard.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <thread>
#include <utility>

#include "common/directory_link.h"
#include "common/peers.h"
#include "common/scratch_dir.h"
#include "platform/files.h"
#include "product/messages.h"
#include "setup/new_version.h"
#include "support/file_utils.h"
#include "ui/form_ui.h"
#include "ui/forms.h"
#include "ui/headless.h"
#ifndef _WIN32
#include "simulator/simulator.h"
#endif

namespace setup {
namespace {

using testing_support::WriteFile;

// The install run replaced by what a test wants it to do.
class ScriptedWizard : public TSetupWizard {
 public:
  using TSetupWizard::TSetupWizard;
  std::function<engine::Outcome()> Installation = [] { return engine::Outcome::Done; };

 protected:
  engine::Outcome RunInstallation() override { return Installation(); }
};

// The window while setup waits: what the user does then runs when pending
// messages are processed.
class WaitingUI : public ui::TFormUI {
 public:
  using ui::TFormUI::TFormUI;
  std::function<void()> WhileWaiting;
  void ProcessMessages() override {
    if (auto action = std::exchange(WhileWaiting, nullptr)) action();
    ui::TFormUI::ProcessMessages();
  }
};

class WizardTest : public testing::Test {
 protected:
  void SetUp() override {
    renderer_.Attach(*main_);
    renderer_.Attach(*browse_);
    renderer_.Attach(*firstRun_);
    main_->Get("CheckLatest").SetChecked(false);  // no products list unless a test serves one
    state_.InstallDir = scratch_.Path() + "Orvik\\";
  }

  // Runs the wizard with the user's actions on the main window; the exit code.
  int Run(std::function<void()> user) {
    renderer_.OnModal("TMainForm", [user](ui::TForm&) { user(); });
    return wizard_.Run();
  }
  ui::TComponent& Get(const char* name) { return main_->Get(name); }
  void Click(const char* name) { main_->Click(Get(name)); }
  // From the welcome page to the one given, agreeing to the licence on the way.
  void NextTo(int page) {
    while (state_.CurrentPage < page) {
      if (state_.CurrentPage == kLicencePage && !Get("LicenseAgree").Checked())
        Click("LicenseAgree");
      Click("NextButton");
    }
  }
  std::string FrontPanel() { return main_->FrontChild("")->Name(); }
  void Answer(std::vector<int> answers) { renderer_.Boxes.ScriptAnswers(std::move(answers)); }
  size_t Boxes() { return renderer_.Boxes.Boxes().size(); }

  testing_support::ScratchDir scratch_;
  std::unique_ptr<ui::TForm> main_ = ui::CreateMainForm();
  std::unique_ptr<ui::TForm> browse_ = ui::CreateBrowseFolderForm();
  std::unique_ptr<ui::TForm> firstRun_ = ui::CreateWizardForm();
  ui::HeadlessRenderer renderer_;
  WaitingUI ui_{*main_, renderer_};
  TSetupState state_;
  serverconfig::TConfigStore config_;
  ScriptedWizard wizard_{
      state_, ui_, config_, *main_, *browse_, *firstRun_, "C:\\OrvikSetup\\setup.exe"};
};

TEST_F(WizardTest, EveryPageShowsItsCaptionButtonsAndPanel) {
  struct Row {
    int page;
    std::string caption, panel, back, next, cancel;
    bool backVisible, backEnabled, nextEnabled;
  };
  const std::string welcome = Get("WelcomeTitle").Caption();
  const Row rows[] = {
      {kWelcomePage, welcome, "WelcomePanel", cBack, cNext, cCancel, false, true, true},
      {kLicencePage, cSLA, "LicensePanel", cBack, cYes, cNo, true, true, false},
      {kSetupTypePage, cSetupType, "SetupTypePanel", cBack, cNext, cCancel, true, true, true},
      {kComponentsPage, cComponentSetup, "SetupComponents", cBack, cNext, cCancel, true, true,
       true},
      {kDestinationPage, cStartCopyingFiles, "InstallPanel", cBack, cInstallC, cCancel, true, true,
       true},
      {kFinishedPage, cSetupFinished, "FinishedPanel", cBack, cFinish, cCancel, false, false, true},
  };
  std::vector<int> seen;
  wizard_.Installation = [&] {
    // The installing page while the run works: nothing to press.
    EXPECT_EQ(Get("PageCaption").Caption(), cInstallingFiles + " " + cName);
    EXPECT_EQ(FrontPanel(), "InstallingPanel");
    EXPECT_FALSE(Get("NextButton").Enabled());
    EXPECT_FALSE(Get("BackButton").Enabled());
    EXPECT_FALSE(Get("CloseButton").Enabled());
    EXPECT_EQ(main_->CurrentCursor(), ui::Cursor::HourGlass);
    return engine::Outcome::Done;
  };
  Run([&] {
    for (const Row& row : rows) {
      if (state_.CurrentPage < row.page) {
        if (state_.CurrentPage == kLicencePage) Click("LicenseAgree");
        Click("NextButton");
      }
      SCOPED_TRACE(row.page);
      ASSERT_EQ(state_.CurrentPage, row.page);
      seen.push_back(row.page);
      EXPECT_EQ(Get("PageCaption").Caption(), row.caption);
      EXPECT_EQ(FrontPanel(), row.panel);
      // Only the page shown takes input: Tab, Space and accelerators reach no other.
      for (const char* panel : {"WelcomePanel", "LicensePanel", "SetupTypePanel", "SetupComponents",
                                "InstallPanel", "InstallingPanel", "FinishedPanel"})
        EXPECT_EQ(Get(panel).Enabled(), panel == row.panel) << panel;
      EXPECT_EQ(Get("BackButton").Caption(), row.back);
      EXPECT_EQ(Get("NextButton").Caption(), row.next);
      EXPECT_EQ(Get("CloseButton").Caption(), row.cancel);
      EXPECT_EQ(Get("BackButton").Visible(), row.backVisible);
      EXPECT_EQ(Get("BackButton").Enabled(), row.backEnabled);
      EXPECT_EQ(Get("NextButton").Enabled(), row.nextEnabled);
      if (row.page == kWelcomePage || row.page == kFinishedPage) {
        EXPECT_TRUE(Get("NextButton").Focused());
      }
      if (row.page == kLicencePage) {  // the licence rule, both ways
        Click("LicenseAgree");
        EXPECT_TRUE(Get("NextButton").Enabled());
        Click("LicenseAgree");
        EXPECT_FALSE(Get("NextButton").Enabled());
      }
    }
    EXPECT_EQ(main_->CurrentCursor(), ui::Cursor::Default);
  });
  EXPECT_EQ(seen.size(), std::size(rows));
}

TEST_F(WizardTest, ComponentTicksFollowTheFlagsAndBecomeThem) {
  state_.Components.NoInstallAV = true;
  Run([&] {
    NextTo(kComponentsPage);
    ui::TComponent& list = Get("ComponentList");
    for (int item = 0; item < 6; ++item) EXPECT_EQ(list.ItemChecked(item), item != 3) << item;
    EXPECT_EQ(list.ItemIndex(), 0);
    main_->ToggleItem(list, 4);  // GroupWare
    main_->ToggleItem(list, 3);  // Anti-Virus back
    Click("NextButton");
  });
  EXPECT_TRUE(state_.Components.NoInstallCalendar);
  EXPECT_FALSE(state_.Components.NoInstallAV);
  EXPECT_FALSE(state_.Components.NoInstallMail);
}

TEST_F(WizardTest, TheModeHintFollowsTheChoice) {
  state_.Mode = InterfaceMode::Basic;
  Run([&] {
    EXPECT_TRUE(Get("BasicMode").Checked());
    EXPECT_EQ(Get("ConsoleMemo").Text(), cHintBasic);
    NextTo(kSetupTypePage);
    Click("AdvancedMode");
    EXPECT_EQ(Get("ConsoleMemo").Text(), cHintAdvanced);
    EXPECT_FALSE(Get("BasicMode").Checked());
    NextTo(kInstallingPage);
  });
  EXPECT_EQ(state_.Mode, InterfaceMode::Advanced);
}

// Escape, the close box and Cancel ask; No leaves the page as it was, Yes ends with 0.
TEST_F(WizardTest, TheCancelQuestionOnEveryPage) {
  for (int page = kWelcomePage; page <= kDestinationPage; ++page) {
    SCOPED_TRACE(page);
    state_ = TSetupState();
    state_.InstallDir = scratch_.Path() + "Orvik\\";
    const size_t before = Boxes();
    Answer({ui::kIdNo, ui::kIdNo, ui::kIdNo, ui::kIdYes});
    int exitCode = Run([&] {
      NextTo(page);
      const std::string caption = Get("PageCaption").Caption();
      EXPECT_TRUE(main_->PressKey(ui::kKeyEscape));
      EXPECT_FALSE(main_->RequestClose());
      Click("CloseButton");
      EXPECT_EQ(state_.CurrentPage, page);
      EXPECT_EQ(Get("PageCaption").Caption(), caption);
      EXPECT_EQ(main_->ModalResult(), ui::kMrNone);
      main_->PressKey(ui::kKeyEscape);  // Yes
    });
    EXPECT_EQ(exitCode, 0);
    ASSERT_EQ(Boxes(), before + 4);
    EXPECT_EQ(renderer_.Boxes.Boxes().back().text, cDoYouExit);
    EXPECT_EQ(renderer_.Boxes.Boxes().back().caption, cDoYouExitTitle);
  }
}

TEST_F(WizardTest, NothingStopsTheRunWhileItWorks) {
  wizard_.Installation = [&] {
    main_->PressKey(ui::kKeyEscape);
    main_->RequestClose();
    Click("CloseButton");
    Click("BackButton");
    EXPECT_EQ(state_.CurrentPage, kInstallingPage);
    return engine::Outcome::Done;
  };
  Run([&] { NextTo(kInstallingPage); });
  EXPECT_EQ(Boxes(), 0u);
  EXPECT_EQ(state_.CurrentPage, kFinishedPage);
}

TEST_F(WizardTest, TheRunsEndDecidesThePageAndTheExitCode) {
  struct Case {
    engine::Outcome outcome;
    bool upgrade;
    int page, exitCode;
  } cases[] = {
      {engine::Outcome::Done, false, kFinishingPage, 0},
      {engine::Outcome::ModulesDown, true, kFinishingPage, 6},
      {engine::Outcome::Fatal, false, kInstallingPage, 4},
      {engine::Outcome::Cancelled, false, kInstallingPage, 5},
  };
  const std::string designed = Get("FinishedText").Caption();
  for (const Case& c : cases) {
    SCOPED_TRACE(engine::ExitCodeOf(c.outcome));
    Get("FinishedText").SetCaption(designed);
    state_ = TSetupState();
    state_.InstallDir = scratch_.Path() + "Orvik\\";
    Get("RunTutorial").SetEnabled(true);
    Get("RunTutorial").SetChecked(true);
    Get("ShowTutorial").SetChecked(true);
    wizard_.Installation = [&] {
      state_.IsUpgrade = c.upgrade;
      return c.outcome;
    };
    int exitCode = Run([&] {
      NextTo(kInstallingPage);
      if (state_.CurrentPage != kFinishedPage) return;
      // Modules that are not running are not called a success.
      EXPECT_EQ(Get("FinishedText").Caption(),
                c.outcome == engine::Outcome::ModulesDown ? cFinishedNotRunning : designed);
      // After an upgrade the first-run wizard is not offered.
      EXPECT_EQ(Get("RunTutorial").Checked(), !c.upgrade);
      EXPECT_EQ(Get("RunTutorial").Enabled(), !c.upgrade);
      EXPECT_EQ(Get("ShowTutorial").Checked(), !c.upgrade);
      Click("NextButton");
    });
    EXPECT_EQ(state_.CurrentPage, c.page);
    EXPECT_EQ(exitCode, c.exitCode);
  }
}

TEST_F(WizardTest, InstallRefusesADestinationWhereTheServerCannotLive) {
  testing_support::ScratchDir scratch;
  std::vector<std::string> refused = {"C:\\"};
  ASSERT_TRUE(support::CreateDirectoryPath(scratch.Path() + "real\\"));
  if (testing_support::MakeDirectoryLink(scratch.Path() + "link", scratch.Path() + "real"))
    refused.push_back(scratch.Path() + "link\\Orvik\\");
  bool ran = false;
  wizard_.Installation = [&] {
    ran = true;
    return engine::Outcome::Done;
  };
  Run([&] {
    NextTo(kDestinationPage);
    for (const std::string& folder : refused) {
      Get("PathEdit").SetCaption(folder);
      Click("NextButton");
      EXPECT_EQ(state_.CurrentPage, kDestinationPage) << folder;
    }
  });
  EXPECT_FALSE(ran);
  ASSERT_EQ(Boxes(), refused.size());
  for (std::size_t i = 0; i < refused.size(); ++i)
    EXPECT_NE(renderer_.Boxes.Boxes()[i].text.find("cannot be used: " + refused[i]),
              std::string::npos)
        << renderer_.Boxes.Boxes()[i].text;
}

TEST_F(WizardTest, TheFolderDialogChoosesTheDestination) {
  const std::string existing = scratch_.Path() + "Existing\\";
  const std::string missing = scratch_.Path() + "New\\";
  ASSERT_TRUE(support::CreateDirectoryPath(existing + "Below\\"));
  std::string installedInto;
  wizard_.Installation = [&] {
    installedInto = state_.InstallDir;
    return engine::Outcome::Done;
  };
  const std::string preset = state_.InstallDir;
  // Cancelled: the destination stays. Escape cancels as the Cancel button does.
  renderer_.OnModal("TBrowseFolder", [&](ui::TForm& dialog) {
    EXPECT_EQ(dialog.Get("PathEdit").Text(), preset);
    EXPECT_TRUE(dialog.Get("PathEdit").Focused());
    dialog.EnterText(dialog.Get("PathEdit"), existing);
    dialog.PressKey(ui::kKeyEscape);
  });
  // The list's directory goes into the path box; a refused folder keeps the
  // dialog open, so does No to a missing one; Yes takes it.
  renderer_.OnModal("TBrowseFolder", [&](ui::TForm& dialog) {
    ui::TComponent& list = dialog.Get("DirectoryListBox");
    dialog.EnterText(dialog.Get("PathEdit"), existing);
    dialog.Click(dialog.Get("OKButton"));
    ASSERT_EQ(dialog.ModalResult(), ui::kMrOk);  // an existing folder: no question
    dialog.SetModalResult(ui::kMrNone);
    for (const char* name : {"Existing", "Below"}) {
      const auto& items = list.Items();
      auto entry = std::find_if(items.begin(), items.end(), [&](const std::string& item) {
        return item.find(name) != std::string::npos;
      });
      ASSERT_NE(entry, items.end()) << name;
      dialog.SelectItem(list, static_cast<int>(entry - items.begin()));
    }
    EXPECT_EQ(dialog.Get("PathEdit").Text(), existing + "Below\\");
    dialog.EnterText(dialog.Get("PathEdit"), "C:\\");
    dialog.Click(dialog.Get("OKButton"));
    EXPECT_EQ(dialog.ModalResult(), ui::kMrNone);
    dialog.EnterText(dialog.Get("PathEdit"), missing);
    dialog.Click(dialog.Get("OKButton"));  // No
    EXPECT_EQ(dialog.ModalResult(), ui::kMrNone);
    dialog.Click(dialog.Get("OKButton"));  // Yes
    EXPECT_EQ(dialog.ModalResult(), ui::kMrOk);
  });
  Answer({ui::kIdOk, ui::kIdNo, ui::kIdYes});
  Run([&] {
    NextTo(kDestinationPage);
    Click("BrowseButton");
    EXPECT_EQ(Get("PathEdit").Caption(), preset);
    Click("BrowseButton");
    EXPECT_EQ(Get("PathEdit").Caption(), missing);
    Click("NextButton");
  });
  EXPECT_EQ(installedInto, missing);
  EXPECT_FALSE(platform::DirectoryExists(missing.substr(0, missing.size() - 1)));
  ASSERT_EQ(Boxes(), 3u);
  EXPECT_EQ(renderer_.Boxes.Boxes()[1].text,
            "The Folder:\r\n\r\n'" + missing +
                "'\r\n\r\ndoes not exist. Do you want the folder to be created?");
}

// A folder without a drive ("\Orvik\", from /DIR= or the registry) has no
// existing folder above it to show; the dialog opens all the same.
TEST_F(WizardTest, TheFolderDialogOpensOnAFolderWithoutADrive) {
  TBrowseFolderDialog dialog(*browse_, ui_);
  std::string shown;
  renderer_.OnModal("TBrowseFolder", [&](ui::TForm& form) { shown = form.Get("PathEdit").Text(); });
  EXPECT_EQ(dialog.Choose("\\Orvik\\"), std::nullopt);
  EXPECT_EQ(shown, "\\Orvik\\");
}

#ifndef _WIN32
TEST_F(WizardTest, TheFinishingActionsOpenWhatWasTicked) {
  simulator::ClearShellExecuteLog();
  ASSERT_TRUE(support::CreateDirectoryPath(state_.InstallDir + "tutorial\\"));
  ASSERT_TRUE(WriteFile(state_.InstallDir + "tutorial\\index.html", "<html>"));
  ASSERT_TRUE(WriteFile(state_.InstallDir + "config.exe", "MZ"));
  int shown = 0;
  renderer_.OnModal("TWizardForm", [&](ui::TForm&) { ++shown; });  // left: nothing applied
  EXPECT_EQ(Run([&] {
              NextTo(kFinishedPage);
              Click("RunConfig");
              Click("NextButton");
            }),
            0);
  EXPECT_EQ(shown, 1);
  EXPECT_FALSE(platform::FileExists(state_.InstallDir + "config\\domains.cfg"));
  auto opened = simulator::ShellExecuteLog();
  ASSERT_EQ(opened.size(), 2u);
  EXPECT_NE(opened[0].find("tutorial\\index.html"), std::string::npos);
  EXPECT_NE(opened[1].find("config.exe"), std::string::npos);
}
#endif

#ifdef ORVIK_PEERS_DIR
// The products list served by the test web server.
class NewVersionTest : public WizardTest {
 protected:
  void Serve(const std::string& list) {
    ASSERT_TRUE(WriteFile(testing_support::PeerFile("nginx\\www\\products.xml"), list));
    state_.ProductsXmlAddress =
        "http://127.0.0.1:" + std::to_string(testing_support::PeerPort("http-plain")) +
        "/products.xml";
    Get("CheckLatest").SetChecked(true);
  }
  static std::string List(const std::string& version, const std::string& url) {
    return "<products><orvikim url=\"http://im.example/\">99.0</orvikim><orvikmailserver url=\"" +
           url + "\" date=\"2026-12-01\">" + version + "</orvikmailserver></products>";
  }
};

TEST_F(NewVersionTest, OnlyANewerReleaseWithAWebAddressIsOffered) {
  struct Case {
    std::string version, url;
    bool offered;
  } cases[] = {
      {"8.9.0", "https://get.example/orvik.exe", false},
      {"8.9.1", "https://get.example/orvik.exe", false},
      {"8.10.0", "https://get.example/orvik.exe", true},
      {"9.0", "C:\\Windows\\notepad.exe", false},
      {"9.0", "file://C:/Windows/notepad.exe", false},
      {"9.0", "http://get.example/a&quot;b", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.version + " " + c.url);
    Serve(List(c.version, c.url));
    const size_t before = Boxes();
    Answer({ui::kIdNo});
    Run([&] { NextTo(kSetupTypePage); });
    EXPECT_EQ(Boxes() - before, c.offered ? 1u : 0u);
  }
  EXPECT_EQ(FindRelease(List("9.1", "https://x/"), kProductCode)->Date, "2026-12-01");
}

// The check waits beside the window: Back pressed meanwhile moves no page.
TEST_F(NewVersionTest, PagesStayWhileTheCheckWaits) {
  Serve(List("9.0", "https://get.example/orvik.exe"));
  Answer({ui::kIdNo});
  Run([&] {
    ui_.WhileWaiting = [&] { Click("BackButton"); };
    Click("NextButton");
    EXPECT_EQ(ui_.WhileWaiting, nullptr);  // the user acted while it waited
    EXPECT_EQ(state_.CurrentPage, kLicencePage);
  });
  EXPECT_EQ(Boxes(), 1u);
}

// Cancel while the check waits for an answer that never comes: asked once, and
// Yes ends the wizard at once, not at the check's deadline.
TEST_F(NewVersionTest, CancelEndsAWaitingCheckAndAsksOnce) {
  const int port = testing_support::PeerPort("raw-http-silent");
  ASSERT_NE(port, 0);
  const std::string log = testing_support::PeerFile("raw-http-silent.log");
  const size_t logged = testing_support::ReadFile(log).size();
  state_.ProductsXmlAddress = "http://127.0.0.1:" + std::to_string(port) + "/products.xml";
  Get("CheckLatest").SetChecked(true);
  Answer({ui::kIdYes, ui::kIdYes});
  std::chrono::steady_clock::time_point cancelled;
  int exitCode = Run([&] {
    ui_.WhileWaiting = [&] {
      // Once the request has reached the peer, the check waits for the answer.
      for (int turn = 0; turn < 500 && testing_support::ReadFile(log).size() <= logged; ++turn)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
      cancelled = std::chrono::steady_clock::now();
      Click("CloseButton");
      Click("CloseButton");
    };
    Click("NextButton");
    EXPECT_EQ(ui_.WhileWaiting, nullptr);
  });
  // The check's deadline is 10 s; this bound only keeps a fault from passing.
  EXPECT_LT(std::chrono::steady_clock::now() - cancelled, std::chrono::seconds(5));
  EXPECT_EQ(exitCode, 0);
  ASSERT_EQ(Boxes(), 1u);
  EXPECT_EQ(renderer_.Boxes.Boxes()[0].text, cDoYouExit);
}

#ifndef _WIN32
TEST_F(NewVersionTest, YesOpensTheDownloadAndEndsBackRepeatsTheCheck) {
  simulator::ClearShellExecuteLog();
  Serve(List("9.0", "https://get.example/orvik.exe"));
  Answer({ui::kIdNo, ui::kIdCancel, ui::kIdYes});
  cName = "Translated";  // the question names the product as it is written
  int exitCode = Run([&] {
    NextTo(kSetupTypePage);
    Click("BackButton");  // the licence page again: asked again
    EXPECT_EQ(state_.CurrentPage, kLicencePage);
    Click("NextButton");
    Click("BackButton");  // Yes
  });
  RestoreDefaultMessages();
  EXPECT_EQ(exitCode, 0);
  ASSERT_EQ(Boxes(), 3u);
  EXPECT_EQ(renderer_.Boxes.Boxes()[0].text.rfind("There is new Orvik Mail Server 9.0 version", 0),
            0u);
  ASSERT_EQ(simulator::ShellExecuteLog().size(), 1u);
  EXPECT_NE(simulator::ShellExecuteLog()[0].find("https://get.example/orvik.exe"),
            std::string::npos);
}
#endif
#endif

}  // namespace
}  // namespace setup
