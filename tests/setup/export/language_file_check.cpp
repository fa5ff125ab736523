// Checks a setup.lng that setup wrote: the declaration line, every form and
// message, and that it loads back over fresh forms. Exit code 0 when sound.
#include <string>

#include "platform/system.h"
#include "product/messages.h"
#include "support/file_utils.h"
#include "ui/forms.h"
#include "ui/language_file.h"
#include "xml/xml_object.h"

namespace {

int failures = 0;

void Check(bool condition, const std::string& what) {
  if (condition) return;
  platform::WriteStandardOutput("FAILED: " + what + "\n");
  ++failures;
}

size_t StringItems(const std::string& fileName) {
  support::TXMLObject root;
  if (!root.LoadFromFile(fileName)) return 0;
  const support::TXMLObject* application = root.FindChild("APPLICATION");
  const support::TXMLObject* strings = application ? application->FindChild("STRINGS") : nullptr;
  const support::TXMLObject* string = strings ? strings->FindChild("STRING") : nullptr;
  return string ? string->Children().size() : 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    platform::WriteStandardOutput("usage: language_file_check setup.lng\n");
    return 2;
  }
  const std::string fileName = argv[1];
  const std::string text = support::LoadFileToString(fileName);
  Check(text.rfind("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n", 0) == 0,
        "the file starts with the XML declaration line");

  setup::RegisterSetupMessages();
  Check(StringItems(fileName) == static_cast<size_t>(support::DefaultMessageTable().Count()),
        "one STRING item per setup message");

  auto main = ui::CreateMainForm();
  auto browse = ui::CreateBrowseFolderForm();
  auto wizard = ui::CreateWizardForm();
  main->SetCaption("");
  main->Get("NextButton").SetCaption("");
  browse->SetCaption("");
  wizard->Get("FinishText").SetCaption("");
  setup::cName.clear();
  setup::cSetupType.clear();
  setup::LinkDesc.clear();

  Check(ui::LoadLanguage(fileName, {main.get(), browse.get(), wizard.get()}, true),
        "the file loads");
  Check(main->Caption() == "Setup", "main form caption");
  Check(main->Get("NextButton").Caption() == "&Next >", "NextButton caption");
  Check(browse->Caption() == "Choose Folder", "folder dialog caption");
  Check(wizard->Get("FinishText").Caption().find("\r\n\r\nTo save these settings") !=
            std::string::npos,
        "wizard text with line breaks");
  Check(setup::cName == "Orvik Mail Server", "cName");
  Check(setup::cSetupType == "Server Type && Console Mode", "cSetupType");
  Check(setup::LinkDesc.find("Readme\r\nOrvik Mail Server Help") != std::string::npos,
        "LinkDesc with line breaks");

  if (failures == 0) platform::WriteStandardOutput("setup.lng loads back\n");
  return failures == 0 ? 0 : 1;
}
