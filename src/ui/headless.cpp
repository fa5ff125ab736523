#include "ui/headless.h"

#include <algorithm>

namespace ui {

int DefaultAnswer(unsigned flags) {
  static const int first[] = {kIdOk, kIdOk, kIdAbort, kIdYes, kIdYes, kIdRetry};
  static const int second[] = {kIdOk, kIdCancel, kIdRetry, kIdNo, kIdNo, kIdCancel};
  unsigned buttons = flags & 0xF;
  if (buttons > 5) return kIdOk;
  return (flags & kDefaultButton2) ? second[buttons] : first[buttons];
}

int HeadlessUI::MessageBox(const std::string& text, const std::string& caption, unsigned flags) {
  int answer = DefaultAnswer(flags);
  if (!script_.empty()) {
    answer = script_.front();
    script_.pop_front();
  }
  boxes_.push_back({text, caption, flags, answer});
  return answer;
}

void HeadlessUI::ShowStatus(const std::string& text) {
  status_ = text;
  statusHistory_.push_back(text);
}

void HeadlessUI::StepProgress() {
  if (progress_ < kProgressMax) ++progress_;
}

void HeadlessUI::ShowWork(const std::string& item, uint64_t done, uint64_t total) {
  work_.push_back({item, done, total});
}

void HeadlessUI::ScriptAnswers(std::vector<int> answers) {
  script_.assign(answers.begin(), answers.end());
}

HeadlessRenderer::~HeadlessRenderer() {
  for (TForm* form : forms_)
    if (form->Listener() == this) form->SetListener(nullptr);
}

void HeadlessRenderer::Attach(TForm& form) {
  form.SetListener(this);
  if (std::find(forms_.begin(), forms_.end(), &form) == forms_.end()) forms_.push_back(&form);
}

void HeadlessRenderer::Detach(TForm& form) {
  if (form.Listener() == this) form.SetListener(nullptr);
  forms_.erase(std::remove(forms_.begin(), forms_.end(), &form), forms_.end());
}

void HeadlessRenderer::FormChanged(TForm& form, TComponent* component, Change what) {
  updates_.push_back({form.ClassName(), component ? component->Name() : std::string(), what});
}

void HeadlessRenderer::FormDestroyed(TForm& form) {
  forms_.erase(std::remove(forms_.begin(), forms_.end(), &form), forms_.end());
}

int HeadlessRenderer::RunModal(TForm& form) {
  auto script = std::find_if(scripts_.begin(), scripts_.end(),
                             [&](const auto& entry) { return entry.first == form.ClassName(); });
  if (script != scripts_.end()) {
    Script run = std::move(script->second);
    scripts_.erase(script);
    run(form);
  }
  if (form.ModalResult() == kMrNone) form.SetModalResult(kMrCancel);
  return form.ModalResult();
}

void HeadlessRenderer::OnModal(const std::string& formClass, Script script) {
  scripts_.emplace_back(formClass, std::move(script));
}

}  // namespace ui
