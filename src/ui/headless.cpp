#include "ui/headless.h"

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

}  // namespace ui
