#include "ui/unattended_ui.h"

#include "platform/clock.h"
#include "support/log_writer.h"
#include "ui/headless.h"

namespace ui {
namespace {

const char* AnswerName(int answer) {
  static const char* const names[] = {"OK", "Cancel", "Abort", "Retry", "Ignore", "Yes", "No"};
  return answer >= kIdOk && answer <= kIdNo ? names[answer - 1] : "none";
}

// The box on one log line: its line breaks become blanks.
std::string OneLine(const std::string& text) {
  std::string line;
  for (char c : text) {
    if (c == '\r') continue;
    line += c == '\n' ? ' ' : c;
  }
  return line;
}

}  // namespace

int UnattendedUI::MessageBox(const std::string& text, const std::string& caption, unsigned flags) {
  int answer = DefaultAnswer(flags);
  if ((flags & 0xF) == kRetryCancel) {
    retries_ = text == retryText_ ? retries_ + 1 : 1;
    retryText_ = text;
    answer = retries_ <= kRetries ? kIdRetry : kIdCancel;
    if (answer == kIdCancel) retryText_.clear();
  }
  support::SetupLog("Message \"" + OneLine(caption) + "\": " + OneLine(text) + " - answered " +
                    AnswerName(answer));
  if (answer == kIdRetry) platform::Sleep(kRetryPauseMs);
  return answer;
}

}  // namespace ui
