#include "ui/form.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "support/log_writer.h"

namespace ui {

void EndOnEventError(const char* what) {
  support::SetupLog(std::string("Error: Setup aborted - unexpected error: ") + what + "\r\n");
  std::fflush(nullptr);
  // Not std::exit: the handlers' objects are half-way through their work and
  // must not be destroyed as if they had finished.
  std::_Exit(kExitUnexpectedError);
}

TComponent::TComponent(TForm& owner, const TComponentDesc& desc)
    : owner_(owner),
      name_(desc.Name),
      className_(desc.ClassName),
      parent_(desc.Parent),
      tag_(desc.Tag),
      style_(desc.Style),
      modalResult_(desc.ModalResult),
      caption_(desc.Caption),
      hint_(desc.Hint),
      bounds_(desc.Bounds),
      checked_(desc.Checked),
      enabled_(desc.Enabled),
      visible_(desc.Visible),
      items_(desc.Items),
      itemChecked_(desc.Items.size(), false),
      text_(desc.Text),
      max_(desc.Max),
      step_(desc.Step) {}

void TComponent::Notify(Change what) {
  owner_.Notify(this, what);
}

void TComponent::SetCaption(const std::string& caption) {
  if (caption_ == caption) return;
  caption_ = caption;
  Notify(Change::Caption);
}

void TComponent::SetHint(const std::string& hint) {
  if (hint_ == hint) return;
  hint_ = hint;
  Notify(Change::Hint);
}

void TComponent::SetBounds(const TBounds& bounds) {
  if (bounds_.Left == bounds.Left && bounds_.Top == bounds.Top && bounds_.Width == bounds.Width &&
      bounds_.Height == bounds.Height)
    return;
  bounds_ = bounds;
  Notify(Change::Bounds);
}

void TComponent::SetChecked(bool checked) {
  if (checked_ == checked) return;
  checked_ = checked;
  Notify(Change::Checked);
}

void TComponent::SetEnabled(bool enabled) {
  if (enabled_ == enabled) return;
  enabled_ = enabled;
  Notify(Change::Enabled);
}

void TComponent::SetVisible(bool visible) {
  if (visible_ == visible) return;
  visible_ = visible;
  Notify(Change::Visible);
}

void TComponent::SetItems(std::vector<std::string> items) {
  items_ = std::move(items);
  itemChecked_.assign(items_.size(), false);
  itemIndex_ = -1;
  Notify(Change::Items);
}

void TComponent::SetItem(int index, const std::string& text) {
  if (index < 0 || static_cast<size_t>(index) >= items_.size()) return;
  if (items_[index] == text) return;
  items_[index] = text;
  Notify(Change::Items);
}

bool TComponent::ItemChecked(int index) const {
  return index >= 0 && static_cast<size_t>(index) < itemChecked_.size() && itemChecked_[index];
}

void TComponent::SetItemChecked(int index, bool checked) {
  if (index < 0 || static_cast<size_t>(index) >= itemChecked_.size()) return;
  if (itemChecked_[index] == checked) return;
  itemChecked_[index] = checked;
  Notify(Change::ItemChecked);
}

void TComponent::SetItemIndex(int index) {
  if (index < 0 || static_cast<size_t>(index) >= items_.size()) index = -1;
  if (itemIndex_ == index) return;
  itemIndex_ = index;
  Notify(Change::ItemIndex);
}

void TComponent::SetText(const std::string& text) {
  if (text_ == text) return;
  text_ = text;
  Notify(Change::Text);
}

void TComponent::SetPosition(int position) {
  position = std::clamp(position, 0, std::max(max_, 0));
  if (position_ == position) return;
  position_ = position;
  Notify(Change::Position);
}

void TComponent::StepIt() {
  SetPosition(position_ + step_);
}

bool TComponent::Focused() const {
  return owner_.focused_ == this;
}

void TComponent::SetFocus() {
  if (owner_.focused_ == this) return;
  owner_.focused_ = this;
  Notify(Change::Focus);
}

void TComponent::BringToFront() {
  zOrder_ = ++owner_.zCounter_;
  Notify(Change::ZOrder);
}

bool TComponent::Usable() const {
  // Parents are named by components made before their children, so the chain ends.
  for (const TComponent* at = this; at; at = owner_.Find(at->ParentName()))
    if (!at->Enabled() || !at->Visible()) return false;
  return true;
}

TForm::TForm(const TFormDesc& desc)
    : className_(desc.ClassName),
      name_(desc.Name),
      caption_(desc.Caption),
      clientWidth_(desc.ClientWidth),
      clientHeight_(desc.ClientHeight),
      keyPreview_(desc.KeyPreview) {}

TForm::TForm(const TFormDesc& desc, std::span<const TComponentDesc> components) : TForm(desc) {
  for (const auto& component : components) Add(component);
}

TForm::~TForm() {
  if (listener_) listener_->FormDestroyed(*this);
}

void TForm::Notify(TComponent* component, Change what) {
  if (listener_) listener_->FormChanged(*this, component, what);
}

void TForm::SetCaption(const std::string& caption) {
  if (caption_ == caption) return;
  caption_ = caption;
  Notify(nullptr, Change::Caption);
}

void TForm::SetVisible(bool visible) {
  if (visible_ == visible) return;
  visible_ = visible;
  Notify(nullptr, Change::Visible);
}

void TForm::SetModalResult(int result) {
  if (modalResult_ == result) return;
  modalResult_ = result;
  Notify(nullptr, Change::ModalResult);
}

void TForm::SetCursor(Cursor cursor) {
  if (cursor_ == cursor) return;
  cursor_ = cursor;
  Notify(nullptr, Change::Cursor);
}

int TForm::ShowModal() {
  SetModalResult(kMrNone);
  if (OnShow) Guarded(OnShow);
  SetVisible(true);
  int result = listener_ ? listener_->RunModal(*this) : kMrCancel;
  SetVisible(false);
  return result;
}

void TForm::Click(TComponent& component) {
  if (!component.Usable()) return;
  if (component.ClassName() == "TCheckBox") {
    component.SetChecked(!component.Checked());
  } else if (component.ClassName() == "TRadioButton") {
    for (TComponent* sibling : Children(component.ParentName()))
      if (sibling->ClassName() == "TRadioButton") sibling->SetChecked(sibling == &component);
  }
  if (component.OnClick) Guarded([&] { component.OnClick(component); });
  if (component.ModalResult() != kMrNone) SetModalResult(component.ModalResult());
}

void TForm::Changed(TComponent& component) {
  if (component.OnChange) Guarded([&] { component.OnChange(component); });
}

void TForm::ToggleItem(TComponent& component, int index) {
  if (!component.Usable() || index < 0 || static_cast<size_t>(index) >= component.Items().size())
    return;
  component.SetItemChecked(index, !component.ItemChecked(index));
  Changed(component);
}

void TForm::SelectItem(TComponent& component, int index) {
  if (!component.Usable()) return;
  component.SetItemIndex(index);
  Changed(component);
}

void TForm::EnterText(TComponent& component, const std::string& text) {
  if (!component.Usable() || component.Text() == text) return;
  component.SetText(text);
  Changed(component);
}

bool TForm::PressKey(int key) {
  if (keyPreview_ && OnKey && Guarded([&] { return OnKey(key); })) return true;
  unsigned style = kNoStyle;
  if (key == kKeyEnter) style = kDefaultButton;
  if (key == kKeyEscape) style = kCancelButton;
  if (style == kNoStyle) return false;
  for (const auto& component : components_) {
    if ((component->Style() & style) && component->Usable()) {
      Click(*component);
      return true;
    }
  }
  return false;
}

bool TForm::RequestClose() {
  if (OnCloseQuery && !Guarded(OnCloseQuery)) return false;
  SetModalResult(kMrCancel);
  return true;
}

TComponent& TForm::Add(const TComponentDesc& desc) {
  components_.push_back(std::make_unique<TComponent>(*this, desc));
  // Later components lie above earlier ones, as controls created later do.
  components_.back()->zOrder_ = ++zCounter_;
  return *components_.back();
}

TComponent* TForm::Find(std::string_view name) const {
  for (const auto& component : components_)
    if (component->Name() == name) return component.get();
  return nullptr;
}

TComponent& TForm::Get(std::string_view name) const {
  TComponent* component = Find(name);
  if (!component) std::abort();
  return *component;
}

std::vector<TComponent*> TForm::Children(std::string_view parent) const {
  std::vector<TComponent*> children;
  for (const auto& component : components_)
    if (component->ParentName() == parent) children.push_back(component.get());
  return children;
}

TComponent* TForm::FrontChild(std::string_view parent) const {
  TComponent* front = nullptr;
  for (const auto& component : components_)
    if (component->ParentName() == parent && (!front || component->ZOrder() > front->ZOrder()))
      front = component.get();
  return front;
}

}  // namespace ui
