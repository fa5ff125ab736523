#include "setup/language_step.h"

#include "platform/files.h"
#include "setup/messages.h"
#include "setup/product.h"
#include "support/short_string.h"

namespace setup {
namespace {

bool SameTextNoCase(const std::string& a, const char* b) {
  size_t i = 0;
  for (; i < a.size() && b[i]; ++i) {
    char x = a[i], y = b[i];
    if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
    if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
    if (x != y) return false;
  }
  return i == a.size() && !b[i];
}

}  // namespace

bool HasExportLanguageSwitch(const std::vector<std::string>& args) {
  for (const auto& arg : args)
    if (!arg.empty() && (arg[0] == '/' || arg[0] == '-') &&
        SameTextNoCase(arg.substr(1), "exportlanguage"))
      return true;
  return false;
}

std::string TranslationFilePath(const std::string& programPath) {
  const size_t cut = programPath.find_last_of("\\/");
  const std::string dir = cut == std::string::npos ? "" : programPath.substr(0, cut + 1);
  return support::ShortString(dir + kTranslationFile);
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
