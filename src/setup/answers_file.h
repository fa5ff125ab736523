// The answers file of /CONFIG=: the first-run wizard's values for an
// installation without questions.
//
//   [FirstRun]
//   HostName=mail.example.com
//   Domain=example.com
//   Administrator=admin
//   Password=secret
//
// Section and key names in any case; a value is the whole text after "=" (the
// password keeps its blanks, the others are trimmed when checked). Lines
// beginning with ";" or "#" are comments; other sections are ignored.
#pragma once

#include <string>

#include "serverconfig/first_run_wizard.h"

namespace setup {

// Fills values from the text of an answers file and checks them as the wizard
// would, with the password limit of encrypted storage (whether the server will
// encrypt is not known before it is installed). "" when the values may be
// applied, else why not.
std::string ParseAnswers(const std::string& text, serverconfig::FirstRunValues& values);
// The same for a file; a file that cannot be read is refused.
std::string ReadAnswersFile(const std::string& file, serverconfig::FirstRunValues& values);

}  // namespace setup
