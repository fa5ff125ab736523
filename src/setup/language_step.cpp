#include "setup/language_step.h"

#include "platform/files.h"
#include "product/messages.h"
#include "product/product.h"
#include "support/file_utils.h"
#include "support/short_string.h"
#include "support/text_fields.h"

namespace setup {

bool HasExportLanguageSwitch(const std::vector<std::string>& args) {
  for (const auto& arg : args)
    if (!arg.empty() && (arg[0] == '/' || arg[0] == '-') &&
        support::SameText(std::string_view(arg).substr(1), "exportlanguage"))
      return true;
  return false;
}

std::string TranslationFilePath(const std::string& programPath) {
  return support::ShortString(support::FolderOfPath(programPath) + kTranslationFile);
}

bool RunLanguageStep(const std::vector<std::string>& args, const std::string& programPath,
                     const ui::TApplicationForms& forms) {
  const bool exportSwitch = HasExportLanguageSwitch(args);
  const std::string path = TranslationFilePath(programPath);
  const bool exists = platform::FileExists(path);
  if (!exportSwitch && !exists) return false;

  RegisterSetupMessages();
  if (exists) ui::LoadLanguage(path, forms, true);
  if (!exportSwitch) return false;
  // The loaded file is rewritten with the merged texts.
  ui::ExportLanguage(path, forms, true, "");
  return true;
}

}  // namespace setup
