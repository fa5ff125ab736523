// The command line of the setup program: the run mode its first argument
// selects, and the unattended switches, which count in any position.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "product/setup_state.h"

namespace setup {

enum class RunMode {
  Wizard,          // no argument: the install question, then the wizard
  Silent,          // "/SILENT": the wizard without the install question
  Uninstall,       // "/UNINSTALL"
  WebMailLogOn,    // "/WEBMAILLOGON"
  WebAdminLogOn,   // "/WEBADMINLOGON"
  ExportLanguage,  // "/exportlanguage" or "-exportlanguage" anywhere, in any case
  Help,            // "/?": the switches and exit codes
  Unknown,         // any other first argument: ends at once, exit code 0
  BadCommandLine,  // an unattended command line that cannot be followed: exit code 2
};

// What an installation without questions takes from the command line.
struct UnattendedOptions {
  bool VerySilent = false;                   // "/VERYSILENT"
  std::string Dir;                           // "/DIR=folder"; "" keeps the preset
  std::optional<ComponentFlags> Components;  // "/COMPONENTS=mail,control,..."
  bool NoIcons = false;                      // "/NOICONS": no desktop or quick-launch links
  std::string LogFile;                       // "/LOG=file": a copy of every log line
  std::string AnswersFile;                   // "/CONFIG=file": the first-run wizard's values
};

struct CommandLine {
  RunMode Mode = RunMode::Wizard;
  UnattendedOptions Unattended;
  std::string Error;  // why the command line is bad
};

// args are the arguments after the program's name, quotes removed;
// unconvertible those of them that held a character the code page cannot hold
// (platform::UnconvertibleArgs): any makes the command line bad, whatever it asks.
CommandLine ParseCommandLine(const std::vector<std::string>& args,
                             const std::vector<std::string>& unconvertible = {});

// The text "/?" shows: the switches and the exit codes.
extern const char kCommandLineHelp[];

}  // namespace setup
