#include "setup/application.h"

#include <optional>

#include "engine/install_run.h"
#include "platform/system.h"
#include "product/messages.h"
#include "product/product.h"
#include "product/server_modules.h"
#include "setup/answers_file.h"
#include "setup/first_run_dialog.h"
#include "setup/language_step.h"
#include "setup/startup.h"
#include "setup/wizard.h"
#include "support/log_writer.h"
#include "support/system_utils.h"
#include "translations/message_table.h"
#include "ui/form_ui.h"
#include "ui/forms.h"
#include "ui/unattended_ui.h"

namespace setup {
namespace {

constexpr int kExitBadCommandLine = 2;

// A command line that cannot be followed ends before anything happens: the log,
// the reason and the switches on standard output.
int RefuseCommandLine(const std::string& reason) {
  support::SetupLog("Error: Setup aborted - bad command line: " + reason);
  platform::WriteStandardOutput(reason + "\r\n\r\n" + kCommandLineHelp);
  return kExitBadCommandLine;
}

// Without a screen a question would take its default answer unseen (a
// Retry/Cancel box would retry for ever): only an unattended run may go on.
int RefuseWithoutScreen() {
  const std::string line =
      "Error: Setup aborted - no window can be shown; use /VERYSILENT to run without questions";
  support::SetupLog(line);
  platform::WriteStandardError(line + "\r\n");
  return engine::ExitCodeOf(engine::Outcome::Fatal);
}

}  // namespace

void TSetupApplication::CreateForms() {
  MainForm = ui::CreateMainForm();
  BrowseFolder = ui::CreateBrowseFolderForm();
  WizardForm = ui::CreateWizardForm();
}

ui::TApplicationForms TSetupApplication::Forms() const {
  return {MainForm.get(), BrowseFolder.get(), WizardForm.get()};
}

int TSetupApplication::Run() {
  std::vector<std::string> args = platform::CommandLineArgs();
  if (ParseCommandLine(args).Unattended.VerySilent) {
    ui::UnattendedUI unattended;
    return Run(args, unattended, platform::ProgramPath());
  }
  std::unique_ptr<ui::TRenderer> screen = ui::CreateScreenRenderer();
  WithoutScreen = !screen;
  // Without a screen no mode that runs asks anything; a box all the same
  // would be answered as unattended and logged.
  ui::UnattendedUI noScreen;
  return Run(args, noScreen, platform::ProgramPath(), screen.get());
}

int TSetupApplication::Run(const std::vector<std::string>& args, ui::UserInterface& boxes,
                           const std::string& programPath, ui::TRenderer* renderer) {
  support::InitServiceMode();
  Title = kApplicationTitle;
  State = TSetupState();
  CreateForms();
  std::optional<ui::TFormUI> windows;
  if (renderer) {
    for (ui::TForm* form : Forms()) renderer->Attach(*form);
    windows.emplace(*MainForm, *renderer);
  }
  ui::UserInterface& ui = renderer ? static_cast<ui::UserInterface&>(*windows) : boxes;
  const CommandLine commandLine = ParseCommandLine(args, platform::UnconvertibleArgs());
  support::CopySetupLogTo(commandLine.Unattended.LogFile);
  if (commandLine.Mode == RunMode::BadCommandLine) return RefuseCommandLine(commandLine.Error);
  // The answers are checked before anything is installed: a refused value must
  // not leave a server without its first domain.
  serverconfig::FirstRunValues answers;
  if (!commandLine.Unattended.AnswersFile.empty()) {
    std::string problem = ReadAnswersFile(commandLine.Unattended.AnswersFile, answers);
    if (!problem.empty()) return RefuseCommandLine(problem);
  }
  if (commandLine.Mode == RunMode::Help) {
    platform::WriteStandardOutput(kCommandLineHelp);
    if (!commandLine.Unattended.VerySilent && !WithoutScreen)
      ui.MessageBox(kCommandLineHelp, kApplicationTitle, ui::kOk | ui::kIconInformation);
    return 0;
  }
  if (RunLanguageStep(args, programPath, Forms())) return 0;
  // An argument not understood ends before anything is read or written.
  if (commandLine.Mode == RunMode::Unknown) return 0;
  // Opening a web page may happen beside a running setup; nothing else may.
  const bool logOn =
      commandLine.Mode == RunMode::WebMailLogOn || commandLine.Mode == RunMode::WebAdminLogOn;
  if (WithoutScreen && !logOn) return RefuseWithoutScreen();
  if (!logOn && !platform::ClaimSingleInstance(kSingleInstanceName)) {
    std::string text = support::FillMessage(cSetup, {cName}) + " is already running.";
    ui.MessageBox(text, cError, ui::kOk | ui::kIconError | ui::kTaskModal);
    support::SetupLog("Error: Setup aborted - " + text);
    return engine::ExitCodeOf(engine::Outcome::Fatal);
  }
  return Install(commandLine, answers, ui, programPath,
                 renderer && !commandLine.Unattended.VerySilent);
}

int TSetupApplication::Install(const CommandLine& commandLine,
                               const serverconfig::FirstRunValues& answers, ui::UserInterface& ui,
                               const std::string& programPath, bool wizard) {
  TStartup startup(State, ui, Config, *MainForm, programPath);
  if (auto end = startup.Run(commandLine)) return *end;

  // The command line overrides what start-up preset.
  const UnattendedOptions& options = commandLine.Unattended;
  if (!options.Dir.empty()) State.InstallDir = options.Dir;
  if (options.Components) State.Components = *options.Components;
  if (options.NoIcons) State.AddDesktop = State.AddQuickLaunch = false;

  if (wizard)
    return TSetupWizard(State, ui, Config, *MainForm, *BrowseFolder, *WizardForm, programPath)
        .Run();

  engine::TInstallRun run(State, ui, Config, programPath);
  engine::Outcome outcome = run.Run(State.InstallDir);
  if (outcome != engine::Outcome::Done && outcome != engine::Outcome::ModulesDown)
    return engine::ExitCodeOf(outcome);
  TellControlSetupEnded();
  int exitCode = engine::ExitCodeOf(outcome);
  if (!options.AnswersFile.empty())
    exitCode = ApplyAnswers(answers, exitCode, ui, Config, State.InstallDir);
  if (!options.VerySilent)
    ui.MessageBox(support::FillMessage(cComplete, {cName}), cInformation,
                  ui::kOk | ui::kIconInformation | ui::kTaskModal);
  return exitCode;
}

}  // namespace setup
