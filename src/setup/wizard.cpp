#include "setup/wizard.h"

#include <algorithm>

#include "engine/install_run.h"
#include "platform/files.h"
#include "platform/shell.h"
#include "product/destination.h"
#include "product/messages.h"
#include "product/module_notification.h"
#include "product/product.h"
#include "product/server_modules.h"
#include "setup/first_run_dialog.h"
#include "setup/new_version.h"
#include "support/file_utils.h"
#include "support/log_writer.h"
#include "translations/message_table.h"

namespace setup {
namespace {

// The pages' panels; the finishing page has none of its own.
const char* const kPanels[] = {"WelcomePanel",    "LicensePanel", "SetupTypePanel",
                               "SetupComponents", "InstallPanel", "InstallingPanel",
                               "FinishedPanel"};
constexpr int kPanelCount = sizeof kPanels / sizeof kPanels[0];

constexpr uint32_t kReloadConfiguration = 3;

// The flag of each entry of the component list, in the list's order.
bool& FlagOf(ComponentFlags& flags, int item) {
  bool* all[] = {&flags.NoInstallMail, &flags.NoInstallControl,  &flags.NoInstallIAS,
                 &flags.NoInstallAV,   &flags.NoInstallCalendar, &flags.NoInstallIM};
  return *all[item];
}
constexpr int kComponentItems = 6;

void Open(const std::string& file) {
  platform::ShellExecute(0, "open", file, "", "", platform::kShowNormal);
}

}  // namespace

void TellControlSetupEnded() {
  upgrade::NotifyModule(support::kModuleControl, upgrade::kModuleCommand, kReloadConfiguration, 0);
}

TSetupWizard::TSetupWizard(TSetupState& state, ui::UserInterface& ui,
                           serverconfig::TConfigStore& config, ui::TForm& mainForm,
                           ui::TForm& browseFolder, ui::TForm& firstRunWizard,
                           std::string setupProgram)
    : state_(state),
      ui_(ui),
      config_(config),
      form_(mainForm),
      browse_(browseFolder, ui),
      firstRunWizard_(firstRunWizard),
      setupProgram_(std::move(setupProgram)) {
  auto navigate = [this](ui::TComponent& button) { Navigate(button.Tag() == 1 ? 1 : -1); };
  form_.Get("BackButton").OnClick = navigate;
  form_.Get("NextButton").OnClick = navigate;
  form_.Get("CloseButton").OnClick = [this](ui::TComponent&) { AskCancel(); };
  // The window never closes by itself; Escape reaches the form before any control.
  form_.OnCloseQuery = [this] {
    AskCancel();
    return false;
  };
  form_.OnKey = [this](int key) {
    if (key != ui::kKeyEscape) return false;
    AskCancel();
    return true;
  };
  auto modeHint = [this](ui::TComponent&) { ShowModeHint(); };
  form_.Get("AdvancedMode").OnClick = modeHint;
  form_.Get("BasicMode").OnClick = modeHint;
  form_.Get("LicenseAgree").OnClick = [this](ui::TComponent& agree) {
    form_.Get("NextButton").SetEnabled(agree.Checked() || state_.CurrentPage != kLicencePage);
  };
  form_.Get("BrowseButton").OnClick = [this](ui::TComponent&) { Browse(); };
}

int TSetupWizard::Run() {
  state_.CurrentPage = kWelcomePage;
  ShowChoices();
  ShowPage();
  form_.ShowModal();
  return exitCode_;
}

// Start-up's presets into the controls, where the user changes them.
void TSetupWizard::ShowChoices() {
  form_.Get("PathEdit").SetCaption(state_.InstallDir);
  form_.Get("AddDesktop").SetChecked(state_.AddDesktop);
  form_.Get("AddQuickLaunch").SetChecked(state_.AddQuickLaunch);
  form_.Get("AdvancedMode").SetChecked(state_.Mode == InterfaceMode::Advanced);
  form_.Get("BasicMode").SetChecked(state_.Mode == InterfaceMode::Basic);
  ShowModeHint();
  form_.Get("RunConfig").SetChecked(state_.RunConfig);
  form_.Get("RunTutorial").SetChecked(state_.RunTutorial);
  form_.Get("ShowTutorial").SetChecked(state_.ShowTutorial);
}

// The user's choices, as the install run reads them.
void TSetupWizard::TakeChoices() {
  state_.InstallDir = support::NormalizeDir(form_.Get("PathEdit").Caption());
  state_.AddDesktop = form_.Get("AddDesktop").Checked();
  state_.AddQuickLaunch = form_.Get("AddQuickLaunch").Checked();
  state_.Mode = form_.Get("BasicMode").Checked() ? InterfaceMode::Basic : InterfaceMode::Advanced;
}

void TSetupWizard::ShowPage() {
  const int page = state_.CurrentPage;
  // The pages lie on top of each other: only the one shown may take keys and
  // clicks, or Tab and accelerators would reach choices the user cannot see.
  for (int panel = 0; panel < kPanelCount; ++panel)
    form_.Get(kPanels[panel]).SetEnabled(panel == page);
  if (page < kPanelCount) form_.Get(kPanels[page]).BringToFront();

  ui::TComponent& caption = form_.Get("PageCaption");
  ui::TComponent& back = form_.Get("BackButton");
  ui::TComponent& next = form_.Get("NextButton");
  ui::TComponent& cancel = form_.Get("CloseButton");
  // Cancel keeps its meaning on every page, whatever it reads.
  cancel.SetCaption(page == kLicencePage ? cNo : cCancel);
  switch (page) {
    case kWelcomePage:
      caption.SetCaption(form_.Get("WelcomeTitle").Caption());
      back.SetCaption(cBack);
      back.SetVisible(false);
      next.SetCaption(cNext);
      next.SetEnabled(true);  // Not the licence page: the licence rule allows it.
      next.SetFocus();
      break;
    case kLicencePage:
      caption.SetCaption(cSLA);
      back.SetCaption(cBack);
      back.SetVisible(true);
      next.SetCaption(cYes);
      next.SetEnabled(form_.Get("LicenseAgree").Checked());
      break;
    case kSetupTypePage:
      caption.SetCaption(cSetupType);
      next.SetCaption(cNext);
      next.SetEnabled(true);
      break;
    case kComponentsPage:
      caption.SetCaption(cComponentSetup);
      next.SetCaption(cNext);
      break;
    case kDestinationPage:
      caption.SetCaption(cStartCopyingFiles);
      back.SetCaption(cBack);
      back.SetEnabled(true);
      back.SetVisible(true);
      next.SetCaption(cInstallC);
      next.SetEnabled(true);
      next.SetVisible(true);
      break;
    case kInstallingPage:
      caption.SetCaption(cInstallingFiles + " " + cName);
      break;
    case kFinishedPage:
      caption.SetCaption(cSetupFinished);
      if (exitCode_ == engine::ExitCodeOf(engine::Outcome::ModulesDown))
        form_.Get("FinishedText").SetCaption(cFinishedNotRunning);
      if (state_.IsUpgrade) {
        form_.Get("ShowTutorial").SetChecked(false);
        form_.Get("RunTutorial").SetChecked(false);
        form_.Get("RunTutorial").SetEnabled(false);
      }
      back.SetEnabled(false);
      back.SetVisible(false);
      next.SetCaption(cFinish);
      next.SetEnabled(true);
      next.SetVisible(true);
      next.SetFocus();
      break;
    case kFinishingPage:
      caption.SetCaption(cTutorialCaption);
      back.SetCaption(cBack);
      back.SetEnabled(true);
      back.SetVisible(true);
      next.SetCaption(cFinish);
      next.SetEnabled(false);
      break;
  }
}

void TSetupWizard::Navigate(int step) {
  const int page = state_.CurrentPage;
  // The finishing page never returns; nothing moves while the run works.
  if (installing_ || checking_ || page == kFinishingPage) return;
  if (page == kDestinationPage && step > 0 && !AcceptDestination()) return;
  state_.CurrentPage =
      std::clamp(page + step, static_cast<int>(kWelcomePage), static_cast<int>(kFinishingPage));
  ShowPage();
  EnterPage();
}

void TSetupWizard::EnterPage() {
  ui::TComponent& list = form_.Get("ComponentList");
  switch (state_.CurrentPage) {
    case kLicencePage:
      CheckNewVersion();
      break;
    case kComponentsPage:
      for (int item = 0; item < kComponentItems; ++item)
        list.SetItemChecked(item, !FlagOf(state_.Components, item));
      list.SetItemIndex(0);
      break;
    case kDestinationPage:
      for (int item = 0; item < kComponentItems; ++item)
        FlagOf(state_.Components, item) = !list.ItemChecked(item);
      break;
    case kInstallingPage:
      Install();
      break;
    case kFinishingPage:
      Finish();
      break;
  }
}

bool TSetupWizard::AcceptDestination() {
  const std::string dir = support::NormalizeDir(form_.Get("PathEdit").Caption());
  DestinationFault fault = CheckDestination(dir);
  if (fault == DestinationFault::None) return true;
  ui_.MessageBox(DestinationRefusal(dir, fault), cError, ui::kOk | ui::kIconError | ui::kTaskModal);
  return false;
}

void TSetupWizard::Install() {
  ui::TComponent& back = form_.Get("BackButton");
  ui::TComponent& next = form_.Get("NextButton");
  ui::TComponent& cancel = form_.Get("CloseButton");
  form_.SetCursor(ui::Cursor::HourGlass);
  back.SetEnabled(false);
  next.SetEnabled(false);
  cancel.SetEnabled(false);
  installing_ = true;
  TakeChoices();
  engine::Outcome outcome = RunInstallation();
  installing_ = false;
  back.SetEnabled(true);
  next.SetEnabled(true);
  cancel.SetEnabled(true);
  form_.SetCursor(ui::Cursor::Default);
  // The failing step has shown its box and written its line.
  if (outcome != engine::Outcome::Done && outcome != engine::Outcome::ModulesDown)
    return End(engine::ExitCodeOf(outcome));
  exitCode_ = engine::ExitCodeOf(outcome);
  Navigate(1);
}

engine::Outcome TSetupWizard::RunInstallation() {
  return engine::TInstallRun(state_, ui_, config_, setupProgram_).Run(state_.InstallDir);
}

void TSetupWizard::Finish() {
  state_.RunConfig = form_.Get("RunConfig").Checked();
  state_.RunTutorial = form_.Get("RunTutorial").Checked();
  state_.ShowTutorial = form_.Get("ShowTutorial").Checked();
  if (state_.RunTutorial) RunFirstRunWizard(firstRunWizard_, ui_, config_, state_.InstallDir);
  TellControlSetupEnded();
  const std::string tutorial = state_.InstallDir + "tutorial\\index.html";
  if (state_.ShowTutorial && platform::FileExists(tutorial)) Open(tutorial);
  if (state_.RunConfig) Open(state_.InstallDir + "config.exe");
  End(exitCode_);
}

void TSetupWizard::AskCancel() {
  // Nothing stops the install run. Once the user has said Yes the wizard is
  // ending, though the new-version check may still be returning: not asked again.
  if (installing_ || form_.ModalResult() != ui::kMrNone) return;
  if (ui_.MessageBox(cDoYouExit, cDoYouExitTitle,
                     ui::kYesNo | ui::kIconQuestion | ui::kTaskModal) != ui::kIdYes)
    return;
  support::SetupLog("Setup cancelled\r\n");
  End(exitCode_);
  // The check waits on the network: it ends now, not at its deadline.
  if (checking_) checkCancel_->Cancel();
}

void TSetupWizard::CheckNewVersion() {
  if (!form_.Get("CheckLatest").Checked()) return;
  form_.SetCursor(ui::Cursor::HourGlass);
  // The window answers while the request waits; the pages do not move.
  std::optional<ProductRelease> release;
  checkCancel_ = std::make_unique<platform::SocketCancel>();
  checking_ = true;
  ui::RunPumping(ui_, [&, cancel = checkCancel_.get()] {
    release = NewerRelease(state_.ProductsXmlAddress, cancel);
  });
  checking_ = false;
  form_.SetCursor(ui::Cursor::Default);
  // The user may have left setup meanwhile.
  if (form_.ModalResult() != ui::kMrNone) return;
  if (!release ||
      ui_.MessageBox(support::FillMessage(cNewerVersion, {kProductName, release->Version}),
                     cQuestion,
                     ui::kYesNoCancel | ui::kIconQuestion | ui::kTaskModal) != ui::kIdYes)
    return;
  Open(release->Url);
  End(0);
}

void TSetupWizard::Browse() {
  ui::TComponent& path = form_.Get("PathEdit");
  if (auto chosen = browse_.Choose(path.Caption())) path.SetCaption(*chosen);
}

void TSetupWizard::ShowModeHint() {
  form_.Get("ConsoleMemo").SetText(form_.Get("BasicMode").Checked() ? cHintBasic : cHintAdvanced);
}

void TSetupWizard::End(int exitCode) {
  exitCode_ = exitCode;
  form_.SetModalResult(ui::kMrOk);
}

}  // namespace setup
