#include "product/messages.h"

#include "platform/system.h"

namespace setup {

#define ORVIK_DEFINE_MESSAGE(identifier, text) std::string identifier = text;
ORVIK_SETUP_MESSAGES(ORVIK_DEFINE_MESSAGE)
#undef ORVIK_DEFINE_MESSAGE

void RegisterSetupMessages(support::TMessageTable* table) {
#define ORVIK_REGISTER_MESSAGE(identifier, text) \
  support::RegisterMessage(#identifier, identifier, table);
  ORVIK_SETUP_MESSAGES(ORVIK_REGISTER_MESSAGE)
#undef ORVIK_REGISTER_MESSAGE
}

void RestoreDefaultMessages() {
#define ORVIK_RESTORE_MESSAGE(identifier, text) identifier = text;
  ORVIK_SETUP_MESSAGES(ORVIK_RESTORE_MESSAGE)
#undef ORVIK_RESTORE_MESSAGE
}

std::string DefaultMessage(std::string_view identifier) {
#define ORVIK_DEFAULT_MESSAGE(name, text) \
  if (identifier == #name) return text;
  ORVIK_SETUP_MESSAGES(ORVIK_DEFAULT_MESSAGE)
#undef ORVIK_DEFAULT_MESSAGE
  return "";
}

std::string ServiceWarningText(uint32_t errorCode) {
  return cServiceError + platform::SystemErrorText(errorCode) + cErrorText;
}

void ShowServiceWarning(ui::UserInterface& ui, uint32_t errorCode) {
  ui.MessageBox(ServiceWarningText(errorCode), "Warning",
                ui::kOk | ui::kIconWarning | ui::kTaskModal);
}

}  // namespace setup
