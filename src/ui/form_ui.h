// The user interface of the wizard window: the status line and the progress
// bar are the installing page's controls in the form model, message boxes and
// pending messages are the renderer's.
#pragma once

#include "product/user_interface.h"
#include "ui/form.h"
#include "ui/renderer.h"

namespace ui {

class TFormUI : public UserInterface {
 public:
  TFormUI(TForm& mainForm, TRenderer& renderer) : form_(mainForm), renderer_(renderer) {}

  int MessageBox(const std::string& text, const std::string& caption, unsigned flags) override {
    return renderer_.MessageBox(text, caption, flags);
  }
  void ShowStatus(const std::string& text) override;
  void StepProgress() override;
  void ProcessMessages() override { renderer_.ProcessMessages(); }

 private:
  TForm& form_;
  TRenderer& renderer_;
};

}  // namespace ui
