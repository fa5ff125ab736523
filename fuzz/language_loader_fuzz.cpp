// LoadLanguage on any bytes, written to a file and loaded over fresh forms and
// a message table, with and without the messages.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "platform/files.h"
#include "translations/message_table.h"
#include "ui/forms.h"
#include "ui/language_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string path = "C:\\language.lng";
  {
    platform::File file;
    if (!file.Open(path, platform::File::Mode::Create)) return 0;
    if (!file.Write(data, static_cast<int64_t>(size))) return 0;
  }

  auto main = ui::CreateMainForm();
  auto browse = ui::CreateBrowseFolderForm();
  auto wizard = ui::CreateWizardForm();
  const size_t components = main->Components().size();
  support::TMessageTable table;
  std::string name = "Orvik Mail Server", text, longText(300, 'x');
  support::RegisterMessage("cName", name, &table);
  support::RegisterMessage("cDoYouExit", text, &table);
  support::RegisterMessage("cLong", longText, &table);

  const bool withStrings = size > 0 && (data[0] & 1);
  const bool loaded =
      ui::LoadLanguage(path, {main.get(), browse.get(), wizard.get()}, withStrings, &table);
  // An empty file never loads; translation never adds or removes controls.
  if (loaded && size == 0) std::abort();
  if (main->Components().size() != components) std::abort();
  if (main->Caption().size() > 255) std::abort();
  return 0;
}
