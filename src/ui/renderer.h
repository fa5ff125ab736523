// What shows the forms to a user: it follows the forms attached to it, runs
// modal forms, shows message boxes and processes pending window messages.
// The Win32 renderer draws real windows; the headless one serves tests.
#pragma once

#include <memory>
#include <string>

#include "ui/form.h"

namespace ui {

class TRenderer : public TFormListener {
 public:
  // Follows the form's changes from now on (it becomes the form's listener).
  virtual void Attach(TForm& form) = 0;
  // A task-modal box over the active form; the flags and answers of ui.h.
  virtual int MessageBox(const std::string& text, const std::string& caption, unsigned flags) = 0;
  // Delivers the window messages that are waiting, without blocking.
  virtual void ProcessMessages() = 0;
};

// The renderer of the machine's screen; null where there is none (no display,
// or a build without windows).
std::unique_ptr<TRenderer> CreateScreenRenderer();

}  // namespace ui
