#include "ui/form_ui.h"

#include <algorithm>

namespace ui {

void TFormUI::ShowStatus(const std::string& text) {
  renderer_.ProcessMessages();
  form_.Get("InstallPanelText").SetCaption(text);
  form_.Get("InstallPanelWork").SetCaption("");
  renderer_.ProcessMessages();  // shown at once, before the step it announces
}

void TFormUI::StepProgress() {
  TComponent& bar = form_.Get("ProgressBar");
  bar.SetPosition((bar.Position() / bar.Step() + 1) * bar.Step());
}

void TFormUI::ShowWork(const std::string& item, uint64_t done, uint64_t total) {
  form_.Get("InstallPanelWork").SetCaption(item);
  if (total == 0) return;  // work of unknown size: the bar stays
  TComponent& bar = form_.Get("ProgressBar");
  const int step = bar.Step();
  // Short of the next step: only the step itself reaches it.
  const int within = static_cast<int>(std::min<uint64_t>(done, total) * (step - 1) / total);
  bar.SetPosition(bar.Position() / step * step + within);
}

}  // namespace ui
