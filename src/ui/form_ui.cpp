#include "ui/form_ui.h"

namespace ui {

void TFormUI::ShowStatus(const std::string& text) {
  renderer_.ProcessMessages();
  form_.Get("InstallPanelText").SetCaption(text);
  renderer_.ProcessMessages();  // shown at once, before the step it announces
}

void TFormUI::StepProgress() {
  form_.Get("ProgressBar").StepIt();
}

}  // namespace ui
