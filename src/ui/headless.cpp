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

}  // namespace ui
