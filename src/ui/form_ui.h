// The user interface of the wizard window: the status line, the line below it
// and the progress bar are the installing page's controls in the form model,
// message boxes and pending messages are the renderer's. The bar's steps are
// Step apart; the work of a step moves it between them.
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
  void ShowWork(const std::string& item, uint64_t done, uint64_t total) override;
  void ProcessMessages() override { renderer_.ProcessMessages(); }

 private:
  TForm& form_;
  TRenderer& renderer_;
};

}  // namespace ui
