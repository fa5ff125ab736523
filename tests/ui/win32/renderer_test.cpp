// The Win32 renderer with real windows (under Wine on a virtual display): the
// windows carry their component names, follow the model, and send the user's
// actions to the model's entry points.
// clang-format off
#include <gtest/gtest.h>
#include <windows.h>
#include <commctrl.h>
// clang-format on

#include <functional>
#include <string>

#include "ui/forms.h"
#include "ui/win32/win32_renderer.h"

namespace ui {
namespace {

std::string NameOf(HWND window) {
  char name[256] = "";
  auto atom = static_cast<ATOM>(reinterpret_cast<ULONG_PTR>(GetPropA(window, kComponentProperty)));
  if (atom) GlobalGetAtomNameA(atom, name, sizeof(name));
  return name;
}

struct Search {
  std::string name;
  HWND found = nullptr;
};

BOOL CALLBACK Match(HWND window, LPARAM data) {
  auto* search = reinterpret_cast<Search*>(data);
  if (NameOf(window) != search->name) return TRUE;
  search->found = window;
  return FALSE;
}

// The form's window, found by its name as another process would find it.
HWND FormWindow(const std::string& name) {
  Search search{name};
  EnumThreadWindows(GetCurrentThreadId(), Match, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

HWND Control(HWND form, const std::string& name) {
  Search search{name};
  EnumChildWindows(form, Match, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

std::string Text(HWND window) {
  char text[512] = "";
  GetWindowTextA(window, text, sizeof(text));
  return text;
}

class Win32RendererTest : public testing::Test {
 protected:
  void SetUp() override {
    renderer = CreateWin32Renderer(96);
    if (!renderer) GTEST_SKIP() << "no window can be made without a display";
  }
  // Attaches the form and returns its window.
  HWND Show(TForm& form) {
    renderer->Attach(form);
    return FormWindow(form.Name());
  }
  std::unique_ptr<TRenderer> renderer;
};

TEST_F(Win32RendererTest, EveryComponentHasAWindowCarryingItsName) {
  for (auto create : {CreateMainForm, CreateBrowseFolderForm, CreateWizardForm}) {
    auto form = create();
    HWND window = Show(*form);
    ASSERT_NE(window, nullptr) << form->Name();
    for (const auto& component : form->Components())
      EXPECT_NE(Control(window, component->Name()), nullptr)
          << form->Name() << "." << component->Name();
  }
  // The windows and their names go with the form.
  EXPECT_EQ(FormWindow("MainForm"), nullptr);
}

TEST_F(Win32RendererTest, ModelChangesReachTheWindows) {
  auto form = CreateMainForm();
  HWND window = Show(*form);
  struct Case {
    const char* component;
    std::function<void(TComponent&)> change;
    std::function<bool(HWND)> shown;
  } cases[] = {
      {"NextButton", [](auto& c) { c.SetCaption("&Install"); },
       [](HWND w) { return Text(w) == "&Install"; }},
      {"BackButton", [](auto& c) { c.SetEnabled(false); },
       [](HWND w) { return !IsWindowEnabled(w); }},
      {"CheckLatest", [](auto& c) { c.SetVisible(false); },
       [](HWND w) { return !(GetWindowLongA(w, GWL_STYLE) & WS_VISIBLE); }},
      {"LicenseAgree", [](auto& c) { c.SetChecked(true); },
       [](HWND w) { return SendMessageA(w, BM_GETCHECK, 0, 0) == BST_CHECKED; }},
      {"ComponentList",
       [](auto& c) {
         c.SetItems({"one", "two"});
       },
       [](HWND w) { return SendMessageA(w, LB_GETCOUNT, 0, 0) == 2; }},
      {"ComponentList", [](auto& c) { c.SetItemChecked(1, true); },
       [](HWND w) { return SendMessageA(w, LB_GETITEMDATA, 1, 0) == 1; }},
      {"LicenseMemo", [](auto& c) { c.SetText("line 1\r\nline 2"); },
       [](HWND w) { return Text(w) == "line 1\r\nline 2"; }},
      {"ProgressBar", [](auto& c) { c.SetPosition(5); },
       [](HWND w) { return SendMessageA(w, PBM_GETPOS, 0, 0) == 5; }},
      {"WelcomePanel", [](auto& c) { c.BringToFront(); },
       [](HWND w) { return GetWindow(w, GW_HWNDPREV) == nullptr; }},
  };
  for (const auto& test : cases) {
    test.change(form->Get(test.component));
    EXPECT_TRUE(test.shown(Control(window, test.component))) << test.component;
  }
  form->SetCaption("Orvik Mail Server 8.9.1 Setup");
  EXPECT_EQ(Text(window), "Orvik Mail Server 8.9.1 Setup");
}

TEST_F(Win32RendererTest, UserActionsReachTheModel) {
  auto form = CreateMainForm();
  HWND window = Show(*form);
  form->SetVisible(true);
  TComponent& agree = form->Get("LicenseAgree");
  int clicks = 0;
  agree.OnClick = [&](TComponent&) { ++clicks; };
  SendMessageA(Control(window, "LicenseAgree"), BM_CLICK, 0, 0);
  EXPECT_TRUE(agree.Checked());
  EXPECT_EQ(SendMessageA(Control(window, "LicenseAgree"), BM_GETCHECK, 0, 0), BST_CHECKED);
  EXPECT_EQ(clicks, 1);

  // A click on an entry's tick box toggles it.
  TComponent& list = form->Get("ComponentList");
  HWND listWindow = Control(window, "ComponentList");
  int height = static_cast<int>(SendMessageA(listWindow, LB_GETITEMHEIGHT, 0, 0));
  SendMessageA(listWindow, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(4, height * 2 + height / 2));
  SendMessageA(listWindow, WM_LBUTTONUP, 0, MAKELPARAM(4, height * 2 + height / 2));
  EXPECT_TRUE(list.ItemChecked(2));
  EXPECT_FALSE(list.ItemChecked(0));

  // The close box asks the logic.
  int asked = 0;
  form->OnCloseQuery = [&] { return ++asked > 1; };
  SendMessageA(window, WM_CLOSE, 0, 0);
  EXPECT_EQ(form->ModalResult(), kMrNone);
  SendMessageA(window, WM_CLOSE, 0, 0);
  EXPECT_EQ(form->ModalResult(), kMrCancel);
  EXPECT_EQ(asked, 2);
}

TEST_F(Win32RendererTest, TypedTextAndKeysReachTheModel) {
  auto form = CreateBrowseFolderForm();
  HWND window = Show(*form);
  form->SetVisible(true);
  SendMessageA(Control(window, "PathEdit"), WM_SETTEXT, 0, reinterpret_cast<LPARAM>("C:\\Mail"));
  EXPECT_EQ(form->Get("PathEdit").Text(), "C:\\Mail");

  // Enter clicks the default button, Escape the cancel button.
  int ok = 0;
  form->Get("OKButton").OnClick = [&](TComponent&) { ++ok; };
  PostMessageA(Control(window, "PathEdit"), WM_KEYDOWN, VK_RETURN, 0);
  renderer->ProcessMessages();
  EXPECT_EQ(ok, 1);
  EXPECT_EQ(form->ModalResult(), kMrNone);
  PostMessageA(Control(window, "DirectoryListBox"), WM_KEYDOWN, VK_ESCAPE, 0);
  renderer->ProcessMessages();
  EXPECT_EQ(form->ModalResult(), kMrCancel);
}

// As a dialog does, focus selects an edit's text: typing replaces the folder.
TEST_F(Win32RendererTest, AFocusedEditHasItsTextSelected) {
  auto form = CreateBrowseFolderForm();
  HWND window = Show(*form);
  form->SetVisible(true);
  form->Get("PathEdit").SetText("C:\\Orvik\\");
  form->Get("PathEdit").SetFocus();
  DWORD start = 1, end = 0;
  SendMessageA(Control(window, "PathEdit"), EM_GETSEL, reinterpret_cast<WPARAM>(&start),
               reinterpret_cast<LPARAM>(&end));
  EXPECT_EQ(start, 0u);
  EXPECT_EQ(end, 9u);
}

// The pages lie on top of each other; Tab and the accelerators of "&" captions
// reach only the enabled one, the page the wizard shows.
TEST_F(Win32RendererTest, TabAndAcceleratorsSkipDisabledPages) {
  auto form = CreateMainForm();
  HWND window = Show(*form);
  form->SetVisible(true);
  form->Get("BackButton").SetVisible(false);
  for (const char* panel : {"LicensePanel", "SetupTypePanel", "SetupComponents", "InstallPanel",
                            "InstallingPanel", "FinishedPanel"})
    form->Get(panel).SetEnabled(false);
  HWND welcome = Control(window, "WelcomePanel");
  HWND at = Control(window, "NextButton");
  for (int i = 0; i < 12; ++i) {
    at = GetNextDlgTabItem(window, at, FALSE);
    ASSERT_NE(at, nullptr);
    EXPECT_TRUE(GetParent(at) == window || IsChild(welcome, at)) << NameOf(at);
  }
  int browsed = 0;
  form->Get("BrowseButton").OnClick = [&](TComponent&) { ++browsed; };
  auto altB = [&] {
    MSG message = {Control(window, "NextButton"), WM_SYSCHAR, 'b', 0, 0, {}};
    IsDialogMessageA(window, &message);
    renderer->ProcessMessages();
  };
  altB();
  EXPECT_EQ(browsed, 0);
  form->Get("InstallPanel").SetEnabled(true);  // the destination page shown: Alt+B browses
  altB();
  EXPECT_EQ(browsed, 1);
}

TEST_F(Win32RendererTest, RunModalReturnsTheResultAHandlerSet) {
  auto main = CreateMainForm();
  HWND mainWindow = Show(*main);
  ShowWindow(mainWindow, SW_SHOW);
  auto dialog = CreateBrowseFolderForm();
  bool mainDisabled = false;
  dialog->Get("OKButton").OnClick = [&](TComponent&) {
    mainDisabled = !IsWindowEnabled(mainWindow);
    dialog->SetModalResult(kMrOk);
  };
  dialog->OnShow = [&] {
    PostMessageA(Control(FormWindow("BrowseFolder"), "OKButton"), BM_CLICK, 0, 0);
  };
  renderer->Attach(*dialog);
  EXPECT_EQ(dialog->ShowModal(), kMrOk);
  EXPECT_TRUE(mainDisabled);
  EXPECT_TRUE(IsWindowEnabled(mainWindow));
  EXPECT_FALSE(IsWindowVisible(FormWindow("BrowseFolder")));
}

TEST_F(Win32RendererTest, PositionsScaleWithTheDpi) {
  renderer = CreateWin32Renderer(144);
  auto form = CreateMainForm();
  HWND window = Show(*form);
  RECT button;
  GetWindowRect(Control(window, "NextButton"), &button);
  MapWindowPoints(nullptr, window, reinterpret_cast<POINT*>(&button), 2);
  EXPECT_EQ(button.left, 413);                // 275 * 1.5, rounded
  EXPECT_EQ(button.bottom - button.top, 35);  // 23 * 1.5, rounded
}

}  // namespace
}  // namespace ui
