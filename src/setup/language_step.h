// The first step of start-up: the translation. An existing setup.lng beside the
// program is applied; the switch exportlanguage writes the merged texts back to
// it and ends the process.
#pragma once

#include <string>
#include <vector>

#include "ui/language_file.h"

namespace setup {

// An argument that is "/" or "-" followed by exportlanguage, in any case.
bool HasExportLanguageSwitch(const std::vector<std::string>& args);
// setup.lng in the directory of the program, as a short string.
std::string TranslationFilePath(const std::string& programPath);

// Registers the messages when the switch is given or the file exists, applies
// an existing file, and with the switch exports to the same path. True when
// the process is to end here (the export, whether or not it could be written).
bool RunLanguageStep(const std::vector<std::string>& args, const std::string& programPath,
                     const ui::TApplicationForms& forms);

}  // namespace setup
