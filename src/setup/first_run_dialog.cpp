#include "setup/first_run_dialog.h"

#include "product/messages.h"
#include "product/module_notification.h"
#include "product/server_modules.h"
#include "support/log_writer.h"

namespace setup {
namespace {

using serverconfig::FirstRunResult;

// Told of a new domain so that they load it without a restart.
constexpr int kToldModules[] = {support::kModuleSMTP, support::kModulePOP3, support::kModuleIM,
                                support::kModuleGroupWare};

struct Page {
  const char* Panel;
  const char* Edit;  // focused, and its tag decides Next; none on the last page
  const std::string* Title;
};
const Page kPages[] = {{"NamePanel", "NameEdit", &WHostName},
                       {"OtherPanel", "OtherEdit", &WPrimaryDomain},
                       {"EmailPanel", "EmailEdit", &WAdministrator},
                       {"FinishPanel", nullptr, &WWizardComplete}};
constexpr int kLastPage = 3, kClosed = 4;

// The handlers of the form while it is shown; the form is left as it was found.
class TFirstRunDialog {
 public:
  TFirstRunDialog(ui::TForm& form, bool encrypted)
      : form_(form),
        encrypted_(encrypted),
        next_(form.Get("NextButton")),
        back_(form.Get("PreviousButton")),
        nextCaption_(next_.Caption()) {
    form_.OnShow = [this] {
      for (const char* edit : {"NameEdit", "EmailEdit", "PassEdit"}) form_.Get(edit).SetText("");
      page_ = 0;
      Display();
    };
    next_.OnClick = [this](ui::TComponent&) {
      if (page_ < kClosed) ++page_;
      Display();
    };
    back_.OnClick = [this](ui::TComponent&) {
      if (page_ > 0) --page_;
      Display();
    };
    for (const char* edit : {"NameEdit", "OtherEdit", "EmailEdit", "PassEdit"})
      form_.Get(edit).OnChange = [this](ui::TComponent& changed) {
        next_.SetEnabled(Accepted(changed.Tag()));
      };
  }
  ~TFirstRunDialog() {
    form_.OnShow = nullptr;
    next_.OnClick = back_.OnClick = nullptr;
    for (const char* edit : {"NameEdit", "OtherEdit", "EmailEdit", "PassEdit"})
      form_.Get(edit).OnChange = nullptr;
    next_.SetCaption(nextCaption_);
    back_.SetVisible(true);
  }
  TFirstRunDialog(const TFirstRunDialog&) = delete;
  TFirstRunDialog& operator=(const TFirstRunDialog&) = delete;

 private:
  // The values of the field a tag names: 0 host name, 2 domain, 1 administrator.
  bool Accepted(int tag) const {
    auto text = [this](const char* edit) { return form_.Get(edit).Text(); };
    switch (tag) {
      case 0:
        return serverconfig::HostNameProblem(text("NameEdit")).empty();
      case 2:
        return serverconfig::FirstRunDomainProblem(text("OtherEdit")).empty();
      default:
        return serverconfig::AdministratorProblem(text("EmailEdit")).empty() &&
               serverconfig::PasswordProblem(text("PassEdit"), encrypted_).empty();
    }
  }

  void Display() {
    if (page_ == kClosed) {
      form_.SetModalResult(ui::kMrOk);
      return;
    }
    const Page& page = kPages[page_];
    for (const Page& other : kPages) form_.Get(other.Panel).SetVisible(&other == &page);
    form_.Get(page.Panel).BringToFront();
    form_.Get("TopMenuLabel").SetCaption(*page.Title);
    if (page_ == kLastPage) {
      next_.SetCaption(cFinish);
      next_.SetEnabled(true);
      back_.SetVisible(false);
      next_.SetFocus();
      return;
    }
    ui::TComponent& edit = form_.Get(page.Edit);
    next_.SetEnabled(Accepted(edit.Tag()));
    back_.SetEnabled(page_ > 0);
    edit.SetFocus();
  }

  ui::TForm& form_;
  const bool encrypted_;
  ui::TComponent &next_, &back_;
  const std::string nextCaption_;
  int page_ = 0;
};

// Applies values that were checked before, telling the modules of the new
// domain; an existing domain or a failure is told through ui.
FirstRunResult ApplyFirstRunValues(const serverconfig::FirstRunValues& values,
                                   ui::UserInterface& ui, serverconfig::TConfigStore& config,
                                   const std::string& installDir) {
  FirstRunResult result = serverconfig::ApplyFirstRun(config, installDir, values, [] {
    for (int module : kToldModules) upgrade::NotifyModule(module, upgrade::kModuleCommand, 0, 0);
  });
  if (result.Outcome == FirstRunResult::DomainExists)
    ui.MessageBox(result.Text, cInformation, ui::kOk | ui::kIconInformation | ui::kTaskModal);
  else if (result.Outcome == FirstRunResult::Failed)
    ui.MessageBox(result.Text, cError, ui::kOk | ui::kIconError | ui::kTaskModal);
  return result;
}

}  // namespace

int ApplyAnswers(const serverconfig::FirstRunValues& answers, int exitCode, ui::UserInterface& ui,
                 serverconfig::TConfigStore& config, const std::string& installDir) {
  FirstRunResult result = ApplyFirstRunValues(answers, ui, config, installDir);
  if (result.Outcome != FirstRunResult::Failed) return exitCode;
  support::SetupLog("Error: The answers file could not be applied - " + result.Text);
  return kExitAnswersNotApplied;
}

bool RunFirstRunWizard(ui::TForm& wizardForm, ui::UserInterface& ui,
                       serverconfig::TConfigStore& config, const std::string& installDir) {
  bool encrypted = serverconfig::EncryptsPasswords(config, installDir);
  int result;
  {
    TFirstRunDialog dialog(wizardForm, encrypted);
    result = wizardForm.ShowModal();
  }
  if (result != ui::kMrOk) return false;
  auto text = [&](const char* edit) { return wizardForm.Get(edit).Text(); };
  return ApplyFirstRunValues(
             {text("NameEdit"), text("OtherEdit"), text("EmailEdit"), text("PassEdit")}, ui, config,
             installDir)
             .Outcome == FirstRunResult::Applied;
}

}  // namespace setup
