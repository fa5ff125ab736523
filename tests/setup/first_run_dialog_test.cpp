// The first-run wizard driven as a user would, over the headless renderer: its
// pages, when Next may be pressed, and that leaving it writes nothing.
#include "setup/first_run_dialog.h"

#include <gtest/gtest.h>

#include "common/scratch_dir.h"
#include "serverconfig/scramble.h"
#include "support/file_utils.h"
#include "support/log_writer.h"
#include "ui/forms.h"
#include "ui/headless.h"

namespace {

namespace s = serverconfig::settings;
using ui::TForm;

class FirstRunDialogTest : public testing::Test {
 protected:
  FirstRunDialogTest() : form_(ui::CreateWizardForm()) {
    renderer_.Attach(*form_);
    support::CreateDirectoryPath(Config());
    serverconfig::TFixedRecord settings(s::kRecordSize);
    settings.SetByte(s::kDomainsConverted, 1);
    settings.SetByte(s::kEncryptPasswords, 1);
    EXPECT_TRUE(testing_support::WriteFile(Config() + "settings.cfg",
                                           serverconfig::ScrambledCopy(settings)));
  }
  std::string Config() const { return scratch_.Path() + "config\\"; }
  bool Run() {
    serverconfig::TConfigStore config;
    return setup::RunFirstRunWizard(*form_, renderer_.Boxes, config, scratch_.Path());
  }
  // Types the values of pages 0 to 2 and presses Next up to the given page.
  static void GoTo(TForm& form, int page) {
    const char* values[][2] = {
        {"NameEdit", "mail.example.com"}, {"OtherEdit", "example.com"}, {"EmailEdit", "admin"}};
    for (int i = 0; i < page; ++i) {
      form.EnterText(form.Get(values[i][0]), values[i][1]);
      form.Click(form.Get("NextButton"));
    }
  }
  static std::string Title(TForm& form) { return form.Get("TopMenuLabel").Caption(); }

  testing_support::ScratchDir scratch_;
  std::unique_ptr<TForm> form_;
  ui::HeadlessRenderer renderer_;
};

TEST_F(FirstRunDialogTest, PagesNextFollowsTheValuesAndFinishApplies) {
  form_->Get("NameEdit").SetText("left over");
  form_->Get("OtherEdit").SetText("kept.example");
  renderer_.OnModal("TWizardForm", [](TForm& form) {
    ui::TComponent& next = form.Get("NextButton");
    ui::TComponent& back = form.Get("PreviousButton");
    auto panels = [&] {
      std::string shown;
      for (const char* panel : {"NamePanel", "OtherPanel", "EmailPanel", "FinishPanel"})
        if (form.Get(panel).Visible()) shown += panel;
      return shown;
    };
    // Each edit's tag names the field whose value decides Next.
    struct Step {
      const char* edit;
      std::string text;
      bool next;
    };
    auto type = [&](const std::vector<Step>& steps) {
      for (const Step& step : steps) {
        form.EnterText(form.Get(step.edit), step.text);
        EXPECT_EQ(next.Enabled(), step.next) << step.edit << " '" << step.text << "'";
      }
    };

    EXPECT_EQ(panels(), "NamePanel");
    EXPECT_EQ(Title(form), "Host Name");
    EXPECT_EQ(form.Get("NameEdit").Text(), "");
    EXPECT_TRUE(form.Get("NameEdit").Focused());
    EXPECT_FALSE(next.Enabled());
    EXPECT_FALSE(back.Enabled());
    type({{"NameEdit", " \t ", false},
          {"NameEdit", std::string(128, 'h'), false},
          {"NameEdit", " mail.example.com ", true}});
    form.PressKey(ui::kKeyEnter);  // Enter is Next

    EXPECT_EQ(panels(), "OtherPanel");
    EXPECT_EQ(Title(form), "Primary Domain");
    EXPECT_EQ(form.Get("OtherEdit").Text(), "kept.example");
    EXPECT_TRUE(form.Get("OtherEdit").Focused());
    EXPECT_TRUE(back.Enabled());
    type({{"OtherEdit", "   ", false},
          {"OtherEdit", "a\\b", false},
          {"OtherEdit", "con", false},
          {"OtherEdit", " Example.com ", true}});
    form.Click(back);
    EXPECT_EQ(panels(), "NamePanel");
    EXPECT_TRUE(next.Enabled());  // evaluated again for the host name
    form.Click(next);
    form.Click(next);

    EXPECT_EQ(panels(), "EmailPanel");
    EXPECT_EQ(Title(form), "Administrator");
    EXPECT_TRUE(form.Get("EmailEdit").Focused());
    EXPECT_FALSE(next.Enabled());
    // The password may be empty, but must fit encrypted (the settings ask for it).
    type({{"EmailEdit", "..\\..\\x", false},
          {"EmailEdit", " admin ", true},
          {"PassEdit", std::string(94, 'p'), false},
          {"PassEdit", std::string(93, 'p'), true},
          {"EmailEdit", "", false},
          {"PassEdit", "", false},
          {"EmailEdit", "admin", true}});
    form.PressKey(ui::kKeyEnter);

    EXPECT_EQ(panels(), "FinishPanel");
    EXPECT_EQ(Title(form), "Wizard Complete");
    EXPECT_EQ(next.Caption(), "&Finish");
    EXPECT_TRUE(next.Focused());
    EXPECT_FALSE(back.Usable());  // no way back
    form.Click(back);
    EXPECT_EQ(panels(), "FinishPanel");
    form.Click(next);
  });
  EXPECT_TRUE(Run());
  EXPECT_EQ(renderer_.Boxes.Boxes().size(), 0u);
  EXPECT_TRUE(platform::FileExists(Config() + "example.com\\users.cfg"));
  // The form is left as it was designed, ready for another show.
  EXPECT_EQ(form_->Get("NextButton").Caption(), "Next >");
  EXPECT_TRUE(form_->Get("PreviousButton").Visible());
  EXPECT_FALSE(static_cast<bool>(form_->Get("NextButton").OnClick));
}

TEST_F(FirstRunDialogTest, LeavingOnAnyPageWritesNothing) {
  std::string settings = testing_support::ReadFile(Config() + "settings.cfg");
  const std::function<void(TForm&)> leave[] = {
      [](TForm& form) { form.PressKey(ui::kKeyEscape); },
      [](TForm& form) { form.Click(form.Get("CancelButton")); },
      [](TForm& form) { form.RequestClose(); },
  };
  for (int page = 0; page <= 3; ++page) {
    for (const auto& action : leave) {
      renderer_.OnModal("TWizardForm", [&](TForm& form) {
        GoTo(form, page);
        action(form);
      });
      EXPECT_FALSE(Run()) << page;
    }
  }
  EXPECT_EQ(testing_support::ReadFile(Config() + "settings.cfg"), settings);
  EXPECT_FALSE(support::DirExists(Config() + "example.com"));
  EXPECT_TRUE(renderer_.Boxes.Boxes().empty());
}

TEST_F(FirstRunDialogTest, AnExistingDomainIsTold) {
  auto finish = [](TForm& form) {
    GoTo(form, 3);
    form.Click(form.Get("NextButton"));
  };
  renderer_.OnModal("TWizardForm", finish);
  ASSERT_TRUE(Run());
  std::string settings = testing_support::ReadFile(Config() + "settings.cfg");
  renderer_.OnModal("TWizardForm", finish);
  EXPECT_FALSE(Run());
  ASSERT_EQ(renderer_.Boxes.Boxes().size(), 1u);
  EXPECT_NE(renderer_.Boxes.Boxes()[0].text.find("example.com already exists"), std::string::npos);
  EXPECT_EQ(renderer_.Boxes.Boxes()[0].flags & ui::kTaskModal, unsigned(ui::kTaskModal));
  EXPECT_EQ(testing_support::ReadFile(Config() + "settings.cfg"), settings);
}

// The answers of /CONFIG= after an installation: the installation's exit code
// unless they could not be applied, which is 7 with the reason in the log.
TEST_F(FirstRunDialogTest, AnswersThatCannotBeAppliedEndWithSeven) {
  const std::string log = scratch_.Path() + "run.log";
  support::CopySetupLogTo(log);
  ASSERT_TRUE(testing_support::WriteFile(Config() + "blocked.example", "in the way"));
  struct Case {
    const char* domain;
    int installed, exitCode;
  } cases[] = {
      {"example.com", 6, 6},      // applied
      {"Example.com", 0, 0},      // exists: nothing written
      {"blocked.example", 0, 7},  // a file where its folder belongs
  };
  for (const Case& c : cases) {
    serverconfig::TConfigStore config;
    EXPECT_EQ(setup::ApplyAnswers({"mail.example.com", c.domain, "admin", "pw"}, c.installed,
                                  renderer_.Boxes, config, scratch_.Path()),
              c.exitCode)
        << c.domain;
  }
  support::CopySetupLogTo("");
  EXPECT_NE(testing_support::ReadFile(log).find(
                "Error: The answers file could not be applied - The domain blocked.example"),
            std::string::npos)
      << testing_support::ReadFile(log);
}

}  // namespace
