// The one interface through which the system's logic talks to the user: message
// boxes, the status line, the progress bar and processing pending window messages.
#pragma once

#include <string>

namespace ui {

// Buttons and icons of a message box, and its answers, with the Windows values.
enum MessageBoxFlags : unsigned {
  kOk = 0x0,
  kOkCancel = 0x1,
  kAbortRetryIgnore = 0x2,
  kYesNoCancel = 0x3,
  kYesNo = 0x4,
  kRetryCancel = 0x5,
  kIconError = 0x10,
  kIconQuestion = 0x20,
  kIconWarning = 0x30,
  kIconInformation = 0x40,
  kDefaultButton2 = 0x100,
  kTaskModal = 0x2000,
};

enum Answer : int {
  kIdOk = 1,
  kIdCancel = 2,
  kIdAbort = 3,
  kIdRetry = 4,
  kIdIgnore = 5,
  kIdYes = 6,
  kIdNo = 7
};

class UserInterface {
 public:
  virtual ~UserInterface() = default;
  virtual int MessageBox(const std::string& text, const std::string& caption, unsigned flags) = 0;
  // Processes pending window messages, shows the text in the status label of the
  // installing page and repaints it at once.
  virtual void ShowStatus(const std::string& text) = 0;
  // Advances the installing page's progress bar by one step.
  virtual void StepProgress() = 0;
  virtual void ProcessMessages() = 0;
};

}  // namespace ui
