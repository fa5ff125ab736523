// The user interface of an unattended run: no window and no question. Every
// message box is answered by a fixed policy and written to the setup log:
// questions take their default button (Yes to go on, No where a box offers to
// stop), Retry/Cancel retries a few times, a pause apart, then cancels;
// warnings and information are acknowledged.
#pragma once

#include <string>

#include "product/user_interface.h"

namespace ui {

class UnattendedUI : public UserInterface {
 public:
  static constexpr int kRetries = 3;
  static constexpr unsigned kRetryPauseMs = 2000;

  int MessageBox(const std::string& text, const std::string& caption, unsigned flags) override;
  void ShowStatus(const std::string&) override {}
  void StepProgress() override {}
  void ShowWork(const std::string&, uint64_t, uint64_t) override {}
  void ProcessMessages() override {}

 private:
  std::string retryText_;  // the Retry/Cancel box answered last
  int retries_ = 0;
};

}  // namespace ui
