// Forms as data. A form owns its components; each is described once (class,
// name, parent, position, caption and initial state) and from then on the logic
// reads and writes the model. A renderer shows a form and follows every change
// through the form's listener, so logic, translation and tests never need a window.
//
// Events come in through the form's entry points (Click, ToggleItem, SelectItem,
// EnterText, PressKey, RequestClose), which act as the user's action would and
// then call the handlers the logic set. The Win32 renderer, the headless
// renderer and test scripts all drive these same entry points.
#pragma once

#include <exception>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace ui {

class TForm;
class TComponent;

struct TBounds {
  int Left = 0, Top = 0, Width = 0, Height = 0;
};

// Looks that only a renderer needs.
enum ComponentStyle : unsigned {
  kNoStyle = 0,
  kReadOnly = 0x01,         // memo or edit the user cannot change
  kPassword = 0x02,         // edit that shows "*"
  kDefaultButton = 0x04,    // Enter presses it
  kCancelButton = 0x08,     // Escape presses it
  kBoldFont = 0x10,         //
  kWhiteBackground = 0x20,  // the title bands
  kWordWrap = 0x40,         // label of several lines
  kVerticalScroll = 0x80,   // memo with a scroll bar
  kPathEllipsis = 0x100,    // label of one line that shortens a long path in its middle
};

// Modal results of a form, with the Windows values.
enum ModalResult : int { kMrNone = 0, kMrOk = 1, kMrCancel = 2 };

// Keys a form handles itself, with their Windows virtual-key codes.
enum Key : int { kKeyEnter = 0x0D, kKeyEscape = 0x1B };

// The mouse cursor over a form.
enum class Cursor { Default, HourGlass };

// What a change notification is about.
enum class Change {
  Caption,
  Hint,
  Bounds,
  Checked,
  Enabled,
  Visible,
  Items,
  ItemChecked,
  ItemIndex,
  Text,
  Position,
  ZOrder,
  Focus,
  ModalResult,
  Cursor,
};

// A component as designed. Designated initialisers keep the form files readable:
// {.ClassName = "TButton", .Name = "NextButton", .Bounds = {...}, .Caption = "&Next >", .Tag = 1}.
struct TComponentDesc {
  const char* ClassName = "";
  const char* Name = "";
  const char* Parent = "";  // component name; "" is the form's client area
  TBounds Bounds = {};
  const char* Caption = "";
  const char* Hint = "";
  int Tag = 0;
  bool Checked = false;
  bool Enabled = true;
  bool Visible = true;
  unsigned Style = kNoStyle;
  std::vector<std::string> Items = {};  // list entries, header sections, list view columns
  const char* Text = "";                // edit or memo text (lines separated by CR LF)
  int ModalResult = kMrNone;            // a button that closes its modal form with this result
  int Max = 0;                          // progress bar: range 0 to Max, advanced by Step
  int Step = 0;
};

struct TFormDesc {
  const char* ClassName = "";  // "TMainForm"
  const char* Name = "";       // component name of the form, "MainForm"
  const char* Caption = "";
  int ClientWidth = 0, ClientHeight = 0;
  bool KeyPreview = false;  // the form sees keys before its controls (Escape)
};

// Told of every change of a form's model; a renderer keeps its windows in step.
class TFormListener {
 public:
  virtual ~TFormListener() = default;
  // component is null for a change of the form itself (caption, visible,
  // modal result).
  virtual void FormChanged(TForm& form, TComponent* component, Change what) = 0;
  // The form is going away; the listener forgets it.
  virtual void FormDestroyed(TForm& form) = 0;
  // Shows the form and delivers its events until its modal result is set;
  // returns that result. A listener that cannot wait for a user sets and
  // returns a result of its own (the cancel result when nothing else chose one).
  virtual int RunModal(TForm& form) = 0;
};

// A handler of a component's event.
using TNotifyEvent = std::function<void(TComponent&)>;

// The exit code of a setup that ended on an error nothing else handled.
inline constexpr int kExitUnexpectedError = 4;

// What becomes of an exception that leaves an event handler or a renderer's
// window procedure: no exception may cross a window event, so the setup log
// gets the error and the process ends with kExitUnexpectedError.
[[noreturn]] void EndOnEventError(const char* what);

// Runs an event, ending the process as EndOnEventError says when an exception
// leaves it; the event's own result otherwise.
template <class Event>
auto Guarded(Event&& event) -> decltype(event()) {
  try {
    return event();
  } catch (const std::exception& error) {
    EndOnEventError(error.what());
  } catch (...) {
    EndOnEventError("an unknown exception");
  }
}

class TComponent {
 public:
  TComponent(TForm& owner, const TComponentDesc& desc);
  TComponent(const TComponent&) = delete;
  TComponent& operator=(const TComponent&) = delete;

  // Set by the logic that drives the form. OnClick follows a click (after a
  // check box toggled or a radio button was selected); OnChange follows an
  // edit's text or a list's selection or tick changed by the user.
  TNotifyEvent OnClick, OnChange;

  TForm& Owner() const { return owner_; }
  const std::string& Name() const { return name_; }
  const std::string& ClassName() const { return className_; }
  const std::string& ParentName() const { return parent_; }
  int Tag() const { return tag_; }
  unsigned Style() const { return style_; }
  int ModalResult() const { return modalResult_; }

  // Every setter notifies the form's listener when the value changes.
  const std::string& Caption() const { return caption_; }
  void SetCaption(const std::string& caption);
  const std::string& Hint() const { return hint_; }
  void SetHint(const std::string& hint);
  const TBounds& Bounds() const { return bounds_; }
  void SetBounds(const TBounds& bounds);
  bool Checked() const { return checked_; }
  void SetChecked(bool checked);
  bool Enabled() const { return enabled_; }
  void SetEnabled(bool enabled);
  bool Visible() const { return visible_; }
  void SetVisible(bool visible);

  // Entries of a list (check list, combo box), sections of a header, columns of
  // a list view. Replacing them clears the ticks and the selection.
  const std::vector<std::string>& Items() const { return items_; }
  void SetItems(std::vector<std::string> items);
  // Replaces the text of one entry, keeping its tick; ignored for an entry that
  // does not exist.
  void SetItem(int index, const std::string& text);
  // A tick of a check list entry; false for an entry that does not exist.
  bool ItemChecked(int index) const;
  // Ignored for an entry that does not exist.
  void SetItemChecked(int index, bool checked);
  int ItemIndex() const { return itemIndex_; }  // -1 = none
  // An index outside the entries selects none.
  void SetItemIndex(int index);

  // Text of an edit, a memo (lines separated by CR LF) or a panel's own text.
  const std::string& Text() const { return text_; }
  void SetText(const std::string& text);

  // Progress bar.
  int Max() const { return max_; }
  int Step() const { return step_; }
  int Position() const { return position_; }
  void SetPosition(int position);  // clamped to 0..Max
  void StepIt();                   // Position + Step, stopping at Max

  bool Focused() const;
  void SetFocus();
  // Above its siblings; the sibling brought to the front last is on top.
  void BringToFront();
  int ZOrder() const { return zOrder_; }
  // Enabled and visible, and so is every parent: the user can reach it.
  bool Usable() const;

 private:
  friend class TForm;
  void Notify(Change what);

  TForm& owner_;
  std::string name_, className_, parent_;
  int tag_;
  unsigned style_;
  int modalResult_;
  std::string caption_, hint_;
  TBounds bounds_;
  bool checked_, enabled_, visible_;
  std::vector<std::string> items_;
  std::vector<bool> itemChecked_;
  int itemIndex_ = -1;
  std::string text_;
  int max_, step_, position_ = 0;
  int zOrder_ = 0;
};

class TForm {
 public:
  explicit TForm(const TFormDesc& desc);
  // The form with its components, in the order given (their creation order:
  // translation walks them in it).
  TForm(const TFormDesc& desc, std::span<const TComponentDesc> components);
  ~TForm();
  TForm(const TForm&) = delete;
  TForm& operator=(const TForm&) = delete;

  const std::string& ClassName() const { return className_; }
  const std::string& Name() const { return name_; }
  int ClientWidth() const { return clientWidth_; }
  int ClientHeight() const { return clientHeight_; }
  bool KeyPreview() const { return keyPreview_; }

  const std::string& Caption() const { return caption_; }
  void SetCaption(const std::string& caption);
  // Shown on the screen (a renderer's concern; the model only keeps the wish).
  bool Visible() const { return visible_; }
  void SetVisible(bool visible);
  // A modal form closes when this becomes non-zero.
  int ModalResult() const { return modalResult_; }
  void SetModalResult(int result);
  Cursor CurrentCursor() const { return cursor_; }
  void SetCursor(Cursor cursor);

  // Handlers set by the logic. OnShow runs when ShowModal begins. OnKey sees
  // every key first when the form has key preview; true means handled.
  // OnCloseQuery decides a close request (close box, Alt+F4); true lets the
  // form close with the cancel result. Without a handler the form may close.
  std::function<void()> OnShow;
  std::function<bool(int key)> OnKey;
  std::function<bool()> OnCloseQuery;

  // Shows the form modally through its listener and returns the modal result;
  // the cancel result when no listener shows it.
  int ShowModal();

  // The user's actions. Each is ignored for a component the user cannot reach
  // (Usable); each calls the handlers as the action would.
  // A click: a check box toggles, a radio button is selected (its siblings
  // cleared), then OnClick; a button with a modal result sets the form's.
  void Click(TComponent& component);
  // The tick of a check list entry toggles, then OnChange.
  void ToggleItem(TComponent& component, int index);
  // A list or combo box entry is selected, then OnChange.
  void SelectItem(TComponent& component, int index);
  // An edit's text becomes text, then OnChange (only when it changed).
  void EnterText(TComponent& component, const std::string& text);
  // Key preview first; then Enter clicks the default button and Escape the
  // cancel button. True when the key was used.
  bool PressKey(int key);
  // Close box or Alt+F4: closes with the cancel result unless OnCloseQuery
  // refuses. True when the form closes.
  bool RequestClose();

  TComponent& Add(const TComponentDesc& desc);
  // The component with exactly this name (case-sensitive); null when none.
  TComponent* Find(std::string_view name) const;
  // The component of a name the form is designed with. A name the form lacks is
  // a programming error, which the form tests catch; it ends the process.
  TComponent& Get(std::string_view name) const;
  const std::vector<std::unique_ptr<TComponent>>& Components() const { return components_; }
  // The components placed directly on a parent ("" = the client area), in creation order.
  std::vector<TComponent*> Children(std::string_view parent) const;
  // The child of a parent that is on top of its siblings; null when it has none.
  TComponent* FrontChild(std::string_view parent) const;
  TComponent* Focused() const { return focused_; }

  // One listener per form (the renderer showing it); null detaches.
  void SetListener(TFormListener* listener) { listener_ = listener; }
  TFormListener* Listener() const { return listener_; }

 private:
  friend class TComponent;
  void Notify(TComponent* component, Change what);
  void Changed(TComponent& component);  // runs its OnChange

  std::string className_, name_, caption_;
  int clientWidth_, clientHeight_;
  bool keyPreview_;
  bool visible_ = false;
  int modalResult_ = kMrNone;
  Cursor cursor_ = Cursor::Default;
  std::vector<std::unique_ptr<TComponent>> components_;
  TComponent* focused_ = nullptr;
  int zCounter_ = 0;
  TFormListener* listener_ = nullptr;
};

}  // namespace ui
