// Real windows for the forms. The model decides everything: check boxes and
// radio buttons are not "auto" controls, a click goes to the form's entry point
// and the model's change draws the tick. Panels and group boxes are real parent
// windows that pass their children's notifications on to the form's window.
#include "ui/win32/win32_renderer.h"

// clang-format off
#include <windows.h>
#include <commctrl.h>
// clang-format on
#undef MessageBox  // the renderer's member, not the A/W macro

#include <algorithm>
#include <string>
#include <vector>

#include "product/user_interface.h"

namespace ui {
namespace {

constexpr char kFormClass[] = "OrvikForm";
constexpr char kPanelClass[] = "OrvikPanel";
// Control ids start above IDOK and IDCANCEL, which IsDialogMessage sends itself.
constexpr int kFirstId = 100;
// The tick box at the left of a check list entry, at 96 dpi.
constexpr int kTickWidth = 16;
constexpr int kListItemHeight = 16;
// A drop-down list's window includes its opened list.
constexpr int kDropDownHeight = 200;

struct WindowKind {
  const char* windowClass;
  DWORD style, exStyle;
};

WindowKind KindOf(const TComponent& component) {
  const std::string& name = component.ClassName();
  unsigned style = component.Style();
  DWORD readOnly = (style & kReadOnly) ? ES_READONLY : 0;
  if (name == "TPanel") return {kPanelClass, 0, WS_EX_CONTROLPARENT};
  if (name == "TImage") return {WC_STATICA, SS_ICON, 0};
  if (name == "TLabel")
    return {WC_STATICA,
            DWORD((style & kWordWrap)       ? SS_LEFT
                  : (style & kPathEllipsis) ? SS_LEFTNOWORDWRAP | SS_PATHELLIPSIS
                                            : SS_LEFTNOWORDWRAP),
            0};
  if (name == "TBevel") return {WC_STATICA, SS_ETCHEDHORZ, 0};
  if (name == "TCheckBox") return {WC_BUTTONA, BS_CHECKBOX | WS_TABSTOP, 0};
  if (name == "TRadioButton") return {WC_BUTTONA, BS_RADIOBUTTON | WS_TABSTOP, 0};
  if (name == "TGroupBox") return {WC_BUTTONA, BS_GROUPBOX, WS_EX_CONTROLPARENT};
  if (name == "TButton")
    return {WC_BUTTONA,
            DWORD((style & kDefaultButton) ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON) | WS_TABSTOP, 0};
  if (name == "TProgressBar") return {PROGRESS_CLASSA, 0, 0};
  if (name == "TEdit")
    return {WC_EDITA,
            ES_AUTOHSCROLL | readOnly | ((style & kPassword) ? ES_PASSWORD : 0) | WS_TABSTOP,
            WS_EX_CLIENTEDGE};
  if (name == "TMemo")
    return {WC_EDITA,
            ES_MULTILINE | ES_AUTOVSCROLL | readOnly |
                ((style & kVerticalScroll) ? WS_VSCROLL : 0) | WS_TABSTOP,
            WS_EX_CLIENTEDGE};
  if (name == "TCheckListBox")
    return {WC_LISTBOXA,
            LBS_OWNERDRAWFIXED | LBS_HASSTRINGS | LBS_NOTIFY | LBS_NOINTEGRALHEIGHT | WS_VSCROLL |
                WS_TABSTOP,
            WS_EX_CLIENTEDGE};
  if (name == "TDirectoryListBox")
    return {WC_LISTBOXA, LBS_NOTIFY | LBS_NOINTEGRALHEIGHT | WS_VSCROLL | WS_TABSTOP,
            WS_EX_CLIENTEDGE};
  if (name == "TDriveComboBox")
    return {WC_COMBOBOXA, CBS_DROPDOWNLIST | WS_VSCROLL | WS_TABSTOP, 0};
  return {WC_STATICA, 0, 0};  // a class no form uses: an empty area
}

bool Is(const TComponent& component, const char* className) {
  return component.ClassName() == className;
}

bool IsList(const TComponent& component) {
  return Is(component, "TCheckListBox") || Is(component, "TDirectoryListBox");
}

bool IsEdit(const TComponent& component) {
  return Is(component, "TEdit") || Is(component, "TMemo");
}

std::string WindowText(HWND window) {
  std::string text(GetWindowTextLengthA(window) + 1, '\0');
  text.resize(GetWindowTextA(window, text.data(), static_cast<int>(text.size())));
  return text;
}

void SetName(HWND window, const std::string& name) {
  SetPropA(window, kComponentProperty,
           reinterpret_cast<HANDLE>(static_cast<ULONG_PTR>(GlobalAddAtomA(name.c_str()))));
}

void RemoveName(HWND window) {
  auto atom =
      static_cast<ATOM>(reinterpret_cast<ULONG_PTR>(RemovePropA(window, kComponentProperty)));
  if (atom) GlobalDeleteAtom(atom);
}

HWND RootOf(HWND window) {
  return GetAncestor(window, GA_ROOT);
}

// Panels and group boxes hand their children's notifications to the form.
bool Forwarded(UINT message) {
  return message == WM_COMMAND || message == WM_DRAWITEM;
}

LRESULT CALLBACK PanelProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  bool white = GetWindowLongPtrA(window, GWLP_USERDATA) & kWhiteBackground;
  if (Forwarded(message)) return SendMessageA(RootOf(window), message, wParam, lParam);
  if (white && message == WM_ERASEBKGND) {
    RECT area;
    GetClientRect(window, &area);
    FillRect(reinterpret_cast<HDC>(wParam), &area,
             static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
    return 1;
  }
  if (white && (message == WM_CTLCOLORSTATIC || message == WM_CTLCOLORBTN)) {
    SetBkColor(reinterpret_cast<HDC>(wParam), RGB(255, 255, 255));
    return reinterpret_cast<LRESULT>(GetStockObject(WHITE_BRUSH));
  }
  return DefWindowProcA(window, message, wParam, lParam);
}

LRESULT CALLBACK GroupProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR,
                           DWORD_PTR) {
  if (Forwarded(message)) return SendMessageA(RootOf(window), message, wParam, lParam);
  return DefSubclassProc(window, message, wParam, lParam);
}

class Win32Renderer : public TRenderer {
 public:
  explicit Win32Renderer(int dpi);
  ~Win32Renderer() override;
  Win32Renderer(const Win32Renderer&) = delete;
  Win32Renderer& operator=(const Win32Renderer&) = delete;

  void Attach(TForm& form) override;
  void FormChanged(TForm& form, TComponent* component, Change what) override;
  void FormDestroyed(TForm& form) override;
  int RunModal(TForm& form) override;
  int MessageBox(const std::string& text, const std::string& caption, unsigned flags) override;
  void ProcessMessages() override;

  static LRESULT CALLBACK FormProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

 private:
  // A form on the screen: its window and one window per component, in the
  // form's creation order.
  struct Shown {
    Win32Renderer* renderer;
    TForm* form;
    HWND window;
    HWND tips;  // the hints
    std::vector<HWND> controls;
    std::vector<HICON> icons;
  };

  static LRESULT CALLBACK ListProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                                   UINT_PTR, DWORD_PTR shown);
  static LRESULT FormMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  static LRESULT ListMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                             DWORD_PTR shown);

  int Scale(int value) const { return MulDiv(value, dpi_, 96); }
  Shown* Find(const TForm& form) const;
  Shown* Find(HWND window) const;
  HWND WindowOf(Shown& shown, const TComponent& component) const;
  TComponent* ComponentOf(Shown& shown, HWND control) const;
  void CreateControls(Shown& shown);
  void Apply(Shown& shown, TComponent& component, Change what);
  void SetItems(HWND window, const TComponent& component);
  void Centre(HWND window) const;
  void Command(Shown& shown, HWND control, int code);
  void DrawItem(Shown& shown, const DRAWITEMSTRUCT& item);
  void Dispatch(MSG& message);
  void Destroy(Shown& shown);

  int dpi_;
  HFONT font_ = nullptr, boldFont_ = nullptr;
  std::vector<std::unique_ptr<Shown>> shown_;
  std::vector<HWND> modal_;   // the forms running modally, innermost last
  bool settingText_ = false;  // the renderer itself sets an edit's text: no echo to the model
};

Win32Renderer::Win32Renderer(int dpi) : dpi_(dpi) {
  // The system's message font, designed for the system's dpi, scaled to ours.
  NONCLIENTMETRICSA metrics = {};
  metrics.cbSize = sizeof(metrics);
  SystemParametersInfoA(SPI_GETNONCLIENTMETRICS, sizeof(metrics), &metrics, 0);
  HDC screen = GetDC(nullptr);
  int systemDpi = GetDeviceCaps(screen, LOGPIXELSY);
  ReleaseDC(nullptr, screen);
  LOGFONTA font = metrics.lfMessageFont;
  font.lfHeight = MulDiv(font.lfHeight, dpi_, systemDpi > 0 ? systemDpi : 96);
  font_ = CreateFontIndirectA(&font);
  font.lfWeight = FW_BOLD;
  boldFont_ = CreateFontIndirectA(&font);
}

Win32Renderer::~Win32Renderer() {
  for (auto& shown : shown_) {
    if (shown->form->Listener() == this) shown->form->SetListener(nullptr);
    Destroy(*shown);
  }
  DeleteObject(font_);
  DeleteObject(boldFont_);
}

Win32Renderer::Shown* Win32Renderer::Find(const TForm& form) const {
  for (const auto& shown : shown_)
    if (shown->form == &form) return shown.get();
  return nullptr;
}

Win32Renderer::Shown* Win32Renderer::Find(HWND window) const {
  for (const auto& shown : shown_)
    if (window && shown->window == window) return shown.get();
  return nullptr;
}

HWND Win32Renderer::WindowOf(Shown& shown, const TComponent& component) const {
  const auto& components = shown.form->Components();
  for (size_t i = 0; i < components.size() && i < shown.controls.size(); ++i)
    if (components[i].get() == &component) return shown.controls[i];
  return nullptr;
}

TComponent* Win32Renderer::ComponentOf(Shown& shown, HWND control) const {
  auto at = std::find(shown.controls.begin(), shown.controls.end(), control);
  if (!control || at == shown.controls.end()) return nullptr;
  return shown.form->Components()[at - shown.controls.begin()].get();
}

void Win32Renderer::Attach(TForm& form) {
  form.SetListener(this);
  if (Find(form)) return;
  auto shown = std::make_unique<Shown>(Shown{this, &form, nullptr, nullptr, {}, {}});
  RECT area = {0, 0, Scale(form.ClientWidth()), Scale(form.ClientHeight())};
  DWORD style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN;
  DWORD exStyle = WS_EX_CONTROLPARENT | WS_EX_DLGMODALFRAME;
  AdjustWindowRectEx(&area, style, FALSE, exStyle);
  shown->window = CreateWindowExA(exStyle, kFormClass, form.Caption().c_str(), style, 0, 0,
                                  area.right - area.left, area.bottom - area.top, nullptr, nullptr,
                                  GetModuleHandleA(nullptr), nullptr);
  if (!shown->window) return;
  SetWindowLongPtrA(shown->window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(shown.get()));
  SetName(shown->window, form.Name());
  // Owned by the form: it goes with the form's window.
  shown->tips = CreateWindowExA(0, TOOLTIPS_CLASSA, nullptr, WS_POPUP | TTS_ALWAYSTIP, 0, 0, 0, 0,
                                shown->window, nullptr, GetModuleHandleA(nullptr), nullptr);
  Centre(shown->window);
  CreateControls(*shown);
  shown_.push_back(std::move(shown));
}

void Win32Renderer::CreateControls(Shown& shown) {
  HINSTANCE instance = GetModuleHandleA(nullptr);
  const auto& components = shown.form->Components();
  for (size_t i = 0; i < components.size(); ++i) {
    TComponent& component = *components[i];
    WindowKind kind = KindOf(component);
    HWND parent = nullptr;
    if (TComponent* owner = shown.form->Find(component.ParentName()))
      parent = WindowOf(shown, *owner);
    if (!parent) parent = shown.window;
    DWORD visible = component.Visible() ? WS_VISIBLE : 0;
    HWND control =
        CreateWindowExA(kind.exStyle, kind.windowClass, component.Caption().c_str(),
                        WS_CHILD | WS_CLIPSIBLINGS | visible | kind.style, 0, 0, 0, 0, parent,
                        reinterpret_cast<HMENU>(kFirstId + i), instance, nullptr);
    shown.controls.push_back(control);
    if (!control) continue;
    SetName(control, component.Name());
    SendMessageA(control, WM_SETFONT,
                 reinterpret_cast<WPARAM>((component.Style() & kBoldFont) ? boldFont_ : font_), 0);
    if (Is(component, "TPanel")) SetWindowLongPtrA(control, GWLP_USERDATA, component.Style());
    if (Is(component, "TGroupBox")) SetWindowSubclass(control, GroupProc, 0, 0);
    if (Is(component, "TCheckListBox")) {
      SetWindowSubclass(control, ListProc, 0, reinterpret_cast<DWORD_PTR>(&shown));
      SendMessageA(control, LB_SETITEMHEIGHT, 0, Scale(kListItemHeight));
    }
    if (Is(component, "TImage")) {
      const TBounds& bounds = component.Bounds();
      auto icon = static_cast<HICON>(LoadImageA(instance, MAKEINTRESOURCEA(1), IMAGE_ICON,
                                                Scale(bounds.Width), Scale(bounds.Height), 0));
      if (icon) {
        shown.icons.push_back(icon);
        SendMessageA(control, STM_SETIMAGE, IMAGE_ICON, reinterpret_cast<LPARAM>(icon));
      }
    }
    for (Change what : {Change::Hint, Change::Bounds, Change::Checked, Change::Enabled,
                        Change::Items, Change::Text, Change::Position})
      Apply(shown, component, what);
  }
  // Sibling panels overlap (the wizard pages): the one brought to the front last is on top.
  std::vector<TComponent*> panels;
  for (const auto& component : components)
    if (Is(*component, "TPanel")) panels.push_back(component.get());
  std::stable_sort(panels.begin(), panels.end(),
                   [](auto* a, auto* b) { return a->ZOrder() < b->ZOrder(); });
  for (TComponent* panel : panels) Apply(shown, *panel, Change::ZOrder);
}

void Win32Renderer::SetItems(HWND window, const TComponent& component) {
  bool combo = Is(component, "TDriveComboBox");
  SendMessageA(window, combo ? CB_RESETCONTENT : LB_RESETCONTENT, 0, 0);
  for (const std::string& item : component.Items())
    SendMessageA(window, combo ? CB_ADDSTRING : LB_ADDSTRING, 0,
                 reinterpret_cast<LPARAM>(item.c_str()));
}

void Win32Renderer::Apply(Shown& shown, TComponent& component, Change what) {
  HWND window = WindowOf(shown, component);
  if (!window) return;
  bool combo = Is(component, "TDriveComboBox");
  switch (what) {
    case Change::Caption:
      if (!IsEdit(component) && !IsList(component) && !combo)
        SetWindowTextA(window, component.Caption().c_str());
      break;
    case Change::Hint: {
      TOOLINFOA tool = {};
      tool.cbSize = TTTOOLINFOA_V2_SIZE;
      tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
      tool.hwnd = shown.window;
      tool.uId = reinterpret_cast<UINT_PTR>(window);
      tool.lpszText = const_cast<char*>(component.Hint().c_str());
      SendMessageA(shown.tips, TTM_DELTOOLA, 0, reinterpret_cast<LPARAM>(&tool));
      if (!component.Hint().empty())
        SendMessageA(shown.tips, TTM_ADDTOOLA, 0, reinterpret_cast<LPARAM>(&tool));
      break;
    }
    case Change::Bounds: {
      const TBounds& bounds = component.Bounds();
      int height = combo ? bounds.Height + kDropDownHeight : bounds.Height;
      MoveWindow(window, Scale(bounds.Left), Scale(bounds.Top), Scale(bounds.Width), Scale(height),
                 TRUE);
      break;
    }
    case Change::Checked:
      if (Is(component, "TCheckBox") || Is(component, "TRadioButton"))
        SendMessageA(window, BM_SETCHECK, component.Checked() ? BST_CHECKED : BST_UNCHECKED, 0);
      break;
    case Change::Enabled:
      EnableWindow(window, component.Enabled());
      break;
    case Change::Visible:
      ShowWindow(window, component.Visible() ? SW_SHOWNA : SW_HIDE);
      break;
    case Change::Items:
      if (!IsList(component) && !combo) break;
      SetItems(window, component);
      Apply(shown, component, Change::ItemChecked);
      Apply(shown, component, Change::ItemIndex);
      break;
    case Change::ItemChecked:
      // The ticks are also kept as the entries' data, which another process can read.
      if (!Is(component, "TCheckListBox")) break;
      for (size_t i = 0; i < component.Items().size(); ++i)
        SendMessageA(window, LB_SETITEMDATA, i, component.ItemChecked(static_cast<int>(i)));
      InvalidateRect(window, nullptr, TRUE);
      break;
    case Change::ItemIndex:
      if (IsList(component) || combo)
        SendMessageA(window, combo ? CB_SETCURSEL : LB_SETCURSEL, component.ItemIndex(), 0);
      break;
    case Change::Text:
      if (IsEdit(component) && WindowText(window) != component.Text()) {
        settingText_ = true;
        SetWindowTextA(window, component.Text().c_str());
        settingText_ = false;
      }
      break;
    case Change::Position:
      if (!Is(component, "TProgressBar")) break;
      SendMessageA(window, PBM_SETRANGE32, 0, component.Max());
      SendMessageA(window, PBM_SETPOS, component.Position(), 0);
      break;
    case Change::ZOrder:
      if (Is(component, "TPanel"))
        SetWindowPos(window, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
      break;
    case Change::Focus:
      if (!IsWindowVisible(shown.window)) break;
      SetFocus(window);
      // As a dialog does: a focused edit's text is selected, so typing replaces it.
      if (IsEdit(component)) SendMessageA(window, EM_SETSEL, 0, -1);
      break;
    default:
      break;
  }
}

void Win32Renderer::FormChanged(TForm& form, TComponent* component, Change what) {
  Shown* shown = Find(form);
  if (!shown) return;
  if (component) return Apply(*shown, *component, what);
  switch (what) {
    case Change::Caption:
      SetWindowTextA(shown->window, form.Caption().c_str());
      break;
    case Change::Visible:
      ShowWindow(shown->window, form.Visible() ? SW_SHOW : SW_HIDE);
      break;
    case Change::Cursor:
      SetCursor(
          LoadCursorA(nullptr, form.CurrentCursor() == Cursor::HourGlass ? IDC_WAIT : IDC_ARROW));
      break;
    default:
      break;
  }
}

void Win32Renderer::Destroy(Shown& shown) {
  for (HWND control : shown.controls)
    if (control) RemoveName(control);
  if (shown.window) {
    RemoveName(shown.window);
    SetWindowLongPtrA(shown.window, GWLP_USERDATA, 0);
    DestroyWindow(shown.window);
  }
  for (HICON icon : shown.icons) DestroyIcon(icon);
  shown.window = nullptr;
  shown.controls.clear();
  shown.icons.clear();
}

void Win32Renderer::FormDestroyed(TForm& form) {
  Shown* shown = Find(form);
  if (!shown) return;
  Destroy(*shown);
  shown_.erase(std::find_if(shown_.begin(), shown_.end(),
                            [&](const auto& entry) { return entry.get() == shown; }));
}

void Win32Renderer::Centre(HWND window) const {
  RECT frame, work;
  GetWindowRect(window, &frame);
  SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0);
  int width = frame.right - frame.left, height = frame.bottom - frame.top;
  SetWindowPos(window, nullptr, work.left + (work.right - work.left - width) / 2,
               work.top + (work.bottom - work.top - height) / 2, 0, 0,
               SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

int Win32Renderer::RunModal(TForm& form) {
  Attach(form);
  Shown* shown = Find(form);
  if (!shown) {
    form.SetModalResult(kMrCancel);
    return kMrCancel;
  }
  HWND window = shown->window;
  // The process's other windows wait while the form runs.
  std::vector<HWND> others;
  EnumThreadWindows(
      GetCurrentThreadId(),
      [](HWND other, LPARAM list) {
        if (IsWindowVisible(other) && IsWindowEnabled(other))
          reinterpret_cast<std::vector<HWND>*>(list)->push_back(other);
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&others));
  others.erase(std::remove(others.begin(), others.end(), window), others.end());
  for (HWND other : others) EnableWindow(other, FALSE);

  Centre(window);
  ShowWindow(window, SW_SHOW);
  SetForegroundWindow(window);
  if (TComponent* focused = form.Focused()) Apply(*shown, *focused, Change::Focus);
  modal_.push_back(window);
  MSG message;
  while (form.ModalResult() == kMrNone) {
    BOOL got = GetMessageA(&message, nullptr, 0, 0);
    if (got <= 0) {
      // The program is ending: the quit message is left for the outermost loop.
      if (got == 0) PostQuitMessage(static_cast<int>(message.wParam));
      form.SetModalResult(kMrCancel);
      break;
    }
    Dispatch(message);
  }
  modal_.pop_back();
  for (HWND other : others) EnableWindow(other, TRUE);
  if ((shown = Find(form))) ShowWindow(shown->window, SW_HIDE);
  return form.ModalResult();
}

void Win32Renderer::Dispatch(MSG& message) {
  HWND root = RootOf(message.hwnd);
  Shown* shown = Find(root);
  // Enter and Escape reach the form first (its key preview, then the default
  // and cancel buttons).
  if (shown && message.message == WM_KEYDOWN &&
      (message.wParam == VK_RETURN || message.wParam == VK_ESCAPE)) {
    shown->form->PressKey(message.wParam == VK_RETURN ? kKeyEnter : kKeyEscape);
    return;
  }
  // Tab order and the accelerators of "&" captions.
  if (shown && IsDialogMessageA(root, &message)) return;
  TranslateMessage(&message);
  DispatchMessageA(&message);
}

void Win32Renderer::ProcessMessages() {
  MSG message;
  while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
    if (message.message == WM_QUIT) {
      PostQuitMessage(static_cast<int>(message.wParam));
      return;
    }
    Dispatch(message);
  }
}

int Win32Renderer::MessageBox(const std::string& text, const std::string& caption, unsigned flags) {
  HWND owner = modal_.empty() ? GetActiveWindow() : modal_.back();
  return ::MessageBoxA(owner, text.c_str(), caption.c_str(), flags | MB_TASKMODAL);
}

void Win32Renderer::Command(Shown& shown, HWND control, int code) {
  TComponent* component = ComponentOf(shown, control);
  if (!component) return;
  TForm& form = *shown.form;
  if (code == BN_CLICKED &&
      (Is(*component, "TButton") || Is(*component, "TCheckBox") || Is(*component, "TRadioButton")))
    form.Click(*component);
  else if (code == EN_CHANGE && IsEdit(*component) && !settingText_)
    form.EnterText(*component, WindowText(control));
  else if (code == LBN_SELCHANGE && Is(*component, "TDirectoryListBox"))
    form.SelectItem(*component, static_cast<int>(SendMessageA(control, LB_GETCURSEL, 0, 0)));
  else if (code == CBN_SELCHANGE && Is(*component, "TDriveComboBox"))
    form.SelectItem(*component, static_cast<int>(SendMessageA(control, CB_GETCURSEL, 0, 0)));
}

void Win32Renderer::DrawItem(Shown& shown, const DRAWITEMSTRUCT& item) {
  TComponent* component = ComponentOf(shown, item.hwndItem);
  if (!component || item.itemID == static_cast<UINT>(-1) ||
      item.itemID >= component->Items().size())
    return;
  bool selected = item.itemState & ODS_SELECTED;
  RECT area = item.rcItem;
  FillRect(item.hDC, &area, GetSysColorBrush(selected ? COLOR_HIGHLIGHT : COLOR_WINDOW));
  int box = Scale(kTickWidth) - Scale(3);
  int top = area.top + (area.bottom - area.top - box) / 2;
  RECT tick = {area.left + Scale(2), top, area.left + Scale(2) + box, top + box};
  DrawFrameControl(item.hDC, &tick, DFC_BUTTON,
                   DFCS_BUTTONCHECK | (component->ItemChecked(item.itemID) ? DFCS_CHECKED : 0));
  area.left += Scale(kTickWidth) + Scale(4);
  SetBkMode(item.hDC, TRANSPARENT);
  SetTextColor(item.hDC, GetSysColor(selected ? COLOR_HIGHLIGHTTEXT : COLOR_WINDOWTEXT));
  DrawTextA(item.hDC, component->Items()[item.itemID].c_str(), -1, &area,
            DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX);
  if (item.itemState & ODS_FOCUS) DrawFocusRect(item.hDC, &item.rcItem);
}

// No exception crosses the system's code that called a window procedure.
LRESULT CALLBACK Win32Renderer::FormProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  return Guarded([&] { return FormMessage(window, message, wParam, lParam); });
}

LRESULT Win32Renderer::FormMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* shown = reinterpret_cast<Shown*>(GetWindowLongPtrA(window, GWLP_USERDATA));
  if (!shown) return DefWindowProcA(window, message, wParam, lParam);
  switch (message) {
    case WM_COMMAND:
      if (lParam) shown->renderer->Command(*shown, reinterpret_cast<HWND>(lParam), HIWORD(wParam));
      return 0;
    case WM_DRAWITEM:
      shown->renderer->DrawItem(*shown, *reinterpret_cast<DRAWITEMSTRUCT*>(lParam));
      return TRUE;
    case WM_CLOSE:  // the close box and Alt+F4
      shown->form->RequestClose();
      return 0;
    case WM_SETCURSOR:
      if (shown->form->CurrentCursor() == Cursor::HourGlass) {
        SetCursor(LoadCursorA(nullptr, IDC_WAIT));
        return TRUE;
      }
      break;
  }
  return DefWindowProcA(window, message, wParam, lParam);
}

// A click on an entry's tick box, or Space, toggles the tick in the model.
LRESULT CALLBACK Win32Renderer::ListProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                                         UINT_PTR, DWORD_PTR data) {
  return Guarded([&] { return ListMessage(window, message, wParam, lParam, data); });
}

LRESULT Win32Renderer::ListMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                                   DWORD_PTR data) {
  auto& shown = *reinterpret_cast<Shown*>(data);
  LRESULT result = DefSubclassProc(window, message, wParam, lParam);
  int index = -1;
  if (message == WM_LBUTTONDOWN &&
      static_cast<short>(LOWORD(lParam)) < shown.renderer->Scale(kTickWidth)) {
    LRESULT hit = SendMessageA(window, LB_ITEMFROMPOINT, 0, lParam);
    if (HIWORD(hit) == 0) index = LOWORD(hit);
  } else if (message == WM_KEYDOWN && wParam == VK_SPACE) {
    index = static_cast<int>(SendMessageA(window, LB_GETCURSEL, 0, 0));
  }
  if (index >= 0)
    if (TComponent* component = shown.renderer->ComponentOf(shown, window))
      shown.form->ToggleItem(*component, index);
  return result;
}

bool RegisterClasses() {
  INITCOMMONCONTROLSEX controls = {sizeof(controls),
                                   ICC_STANDARD_CLASSES | ICC_PROGRESS_CLASS | ICC_BAR_CLASSES};
  InitCommonControlsEx(&controls);
  HINSTANCE instance = GetModuleHandleA(nullptr);
  WNDCLASSEXA form = {};
  form.cbSize = sizeof(form);
  form.lpfnWndProc = Win32Renderer::FormProc;
  form.hInstance = instance;
  form.hCursor = LoadCursorA(nullptr, IDC_ARROW);
  form.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  WNDCLASSEXA panel = form;
  form.lpszClassName = kFormClass;
  form.hIcon = LoadIconA(instance, MAKEINTRESOURCEA(1));
  panel.lpszClassName = kPanelClass;
  panel.lpfnWndProc = PanelProc;
  WNDCLASSEXA existing;
  for (WNDCLASSEXA* windowClass : {&form, &panel}) {
    if (GetClassInfoExA(instance, windowClass->lpszClassName, &existing)) continue;
    if (!RegisterClassExA(windowClass)) return false;
  }
  return true;
}

}  // namespace

std::unique_ptr<TRenderer> CreateWin32Renderer(int dpi) {
  if (!RegisterClasses()) return nullptr;
  // Without a display (Wine without X) no window can be made.
  HWND probe = CreateWindowExA(0, kFormClass, "", WS_OVERLAPPED, 0, 0, 1, 1, nullptr, nullptr,
                               GetModuleHandleA(nullptr), nullptr);
  if (!probe) return nullptr;
  DestroyWindow(probe);
  return std::make_unique<Win32Renderer>(dpi);
}

std::unique_ptr<TRenderer> CreateScreenRenderer() {
  HDC screen = GetDC(nullptr);
  if (!screen) return nullptr;
  int dpi = GetDeviceCaps(screen, LOGPIXELSY);
  ReleaseDC(nullptr, screen);
  return CreateWin32Renderer(dpi > 0 ? dpi : 96);
}

}  // namespace ui
