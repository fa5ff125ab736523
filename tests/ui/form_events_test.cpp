// The user's actions as the form model takes them: what each does to the model,
// which handlers it calls, and what it refuses.
#include <gtest/gtest.h>

#include <functional>
#include <stdexcept>

#include "ui/form.h"
#include "ui/headless.h"

namespace ui {
namespace {

const TComponentDesc kDialog[] = {
    {.ClassName = "TPanel", .Name = "Page"},
    {.ClassName = "TCheckBox", .Name = "Box", .Parent = "Page"},
    {.ClassName = "TRadioButton", .Name = "A", .Parent = "Page", .Checked = true},
    {.ClassName = "TRadioButton", .Name = "B", .Parent = "Page"},
    {.ClassName = "TEdit", .Name = "Edit", .Parent = "Page"},
    {.ClassName = "TCheckListBox", .Name = "List", .Parent = "Page", .Items = {"x", "y"}},
    {.ClassName = "TButton", .Name = "Ok", .Style = kDefaultButton, .ModalResult = kMrOk},
    {.ClassName = "TButton", .Name = "Cancel", .Style = kCancelButton, .ModalResult = kMrCancel},
};

struct Dialog {
  std::unique_ptr<TForm> form = std::make_unique<TForm>(
      TFormDesc{.ClassName = "TDialog", .Name = "Dialog", .KeyPreview = true}, kDialog);
  std::vector<std::string> events;

  Dialog() {
    for (const auto& component : form->Components()) {
      component->OnClick = [this](TComponent& c) { events.push_back("click " + c.Name()); };
      component->OnChange = [this](TComponent& c) { events.push_back("change " + c.Name()); };
    }
  }
  TComponent& operator[](const char* name) { return form->Get(name); }
};

TEST(FormEventsTest, ClicksTogglePickAndCloseBeforeOrAfterTheirHandler) {
  Dialog d;
  d.form->Click(d["Box"]);
  EXPECT_TRUE(d["Box"].Checked());
  d.form->Click(d["B"]);
  EXPECT_FALSE(d["A"].Checked());
  EXPECT_TRUE(d["B"].Checked());
  d.form->ToggleItem(d["List"], 1);
  d.form->ToggleItem(d["List"], 2);  // no such entry: nothing happens
  EXPECT_TRUE(d["List"].ItemChecked(1));
  d.form->EnterText(d["Edit"], "text");
  d.form->EnterText(d["Edit"], "text");  // unchanged: no event
  d.form->SelectItem(d["List"], 0);
  EXPECT_EQ(d["List"].ItemIndex(), 0);
  EXPECT_EQ(d.form->ModalResult(), kMrNone);
  // The handler sees the form still open; the button's result comes after it.
  d["Ok"].OnClick = [&](TComponent&) {
    d.events.push_back(d.form->ModalResult() ? "closed" : "open");
  };
  d.form->Click(d["Ok"]);
  EXPECT_EQ(d.form->ModalResult(), kMrOk);
  EXPECT_EQ(d.events, (std::vector<std::string>{"click Box", "click B", "change List",
                                                "change Edit", "change List", "open"}));
}

TEST(FormEventsTest, WhatTheUserCannotReachTakesNoAction) {
  Dialog d;
  d["Box"].SetEnabled(false);
  d["Page"].SetVisible(false);  // hides the edit and the list with it
  d.form->Click(d["Box"]);
  d.form->EnterText(d["Edit"], "x");
  d.form->ToggleItem(d["List"], 0);
  d["Page"].SetVisible(true);
  d["Page"].SetEnabled(false);
  d.form->Click(d["A"]);
  EXPECT_FALSE(d["Box"].Checked());
  EXPECT_EQ(d["Edit"].Text(), "");
  EXPECT_FALSE(d["List"].ItemChecked(0));
  EXPECT_TRUE(d.events.empty());
}

TEST(FormEventsTest, KeysGoToThePreviewFirstThenToTheDefaultAndCancelButtons) {
  struct Case {
    int key;
    bool previewTakes;
    int result;
    bool used;
  } cases[] = {
      {kKeyEnter, false, kMrOk, true},
      {kKeyEscape, false, kMrCancel, true},
      {kKeyEscape, true, kMrNone, true},
      {'A', false, kMrNone, false},
  };
  for (const Case& c : cases) {
    Dialog d;
    std::vector<int> seen;
    d.form->OnKey = [&](int key) {
      seen.push_back(key);
      return c.previewTakes;
    };
    EXPECT_EQ(d.form->PressKey(c.key), c.used) << c.key;
    EXPECT_EQ(d.form->ModalResult(), c.result) << c.key;
    EXPECT_EQ(seen, std::vector<int>{c.key});
  }
  Dialog d;  // a default button that cannot be reached is not pressed
  d["Ok"].SetEnabled(false);
  EXPECT_FALSE(d.form->PressKey(kKeyEnter));
  EXPECT_EQ(d.form->ModalResult(), kMrNone);
}

TEST(FormEventsTest, CloseRequestsAskTheForm) {
  Dialog d;
  int asked = 0;
  d.form->OnCloseQuery = [&] { return ++asked > 1; };
  EXPECT_FALSE(d.form->RequestClose());
  EXPECT_EQ(d.form->ModalResult(), kMrNone);
  EXPECT_TRUE(d.form->RequestClose());
  EXPECT_EQ(d.form->ModalResult(), kMrCancel);
}

TEST(FormEventsTest, ModalShowRunsTheScriptOfItsClassOnce) {
  Dialog d;
  HeadlessRenderer renderer;
  renderer.Attach(*d.form);
  EXPECT_EQ(d.form->ShowModal(), kMrCancel);  // no script: the dialog is left
  int shown = 0;
  d.form->OnShow = [&] {
    ++shown;
    d["Edit"].SetText("");  // as an OnShow resets its fields
  };
  renderer.OnModal("TDialog", [&](TForm& form) {
    EXPECT_TRUE(form.Visible());
    form.EnterText(form.Get("Edit"), "typed");
    form.PressKey(kKeyEnter);
  });
  EXPECT_EQ(d.form->ShowModal(), kMrOk);
  EXPECT_EQ(d["Edit"].Text(), "typed");
  EXPECT_FALSE(d.form->Visible());
  EXPECT_EQ(d.form->ShowModal(), kMrCancel);  // the script ran once
  EXPECT_EQ(shown, 2);
  EXPECT_EQ(d["Edit"].Text(), "");

  d.form->SetCursor(Cursor::HourGlass);
  EXPECT_EQ(renderer.Updates().back().What, Change::Cursor);
  d.form->Get("Ok").OnClick = nullptr;
  renderer.Detach(*d.form);
  EXPECT_EQ(d.form->ShowModal(), kMrCancel);  // nothing shows it
}

// An exception that leaves a handler ends the process with the fatal exit code
// instead of crossing the window event that delivered it.
TEST(FormEventsTest, AnExceptionLeavingAHandlerEndsWithExitCode4) {
  auto raise = [](auto&&...) -> bool { throw std::runtime_error("handler failed"); };
  const std::function<void(Dialog&)> events[] = {
      [&](Dialog& d) {
        d["Ok"].OnClick = raise;
        d.form->Click(d["Ok"]);
      },
      [&](Dialog& d) {
        d["Edit"].OnChange = raise;
        d.form->EnterText(d["Edit"], "new");
      },
      [&](Dialog& d) {
        d.form->OnKey = raise;
        d.form->PressKey(kKeyEscape);
      },
      [&](Dialog& d) {
        d.form->OnCloseQuery = raise;
        d.form->RequestClose();
      },
      [&](Dialog& d) {
        d.form->OnShow = [] { throw 1; };
        d.form->ShowModal();
      },
  };
  for (const auto& event : events) {
    Dialog d;
    EXPECT_EXIT(event(d), testing::ExitedWithCode(kExitUnexpectedError), "");
  }
}

}  // namespace
}  // namespace ui
