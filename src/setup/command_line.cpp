#include "setup/command_line.h"

#include "support/text_fields.h"

namespace setup {
namespace {

// The value of "/NAME=value" (name in any case), or none.
std::optional<std::string> SwitchValue(const std::string& arg, const std::string& name) {
  const std::string prefix = "/" + name + "=";
  if (arg.size() < prefix.size() || !support::SameText(arg.substr(0, prefix.size()), prefix))
    return std::nullopt;
  return arg.substr(prefix.size());
}

// The component flags of a list of names; none when a name is unknown or the
// list names nothing.
std::optional<ComponentFlags> Components(const std::string& list) {
  ComponentFlags flags{true, true, true, true, true, true};
  struct Name {
    const char* name;
    bool ComponentFlags::*notInstalled;
  };
  const Name names[] = {{"mail", &ComponentFlags::NoInstallMail},
                        {"control", &ComponentFlags::NoInstallControl},
                        {"antispam", &ComponentFlags::NoInstallIAS},
                        {"antivirus", &ComponentFlags::NoInstallAV},
                        {"groupware", &ComponentFlags::NoInstallCalendar},
                        {"im", &ComponentFlags::NoInstallIM}};
  std::vector<std::string> items;
  support::SplitToList(list, ',', items, true);
  if (items.empty()) return std::nullopt;
  for (const std::string& item : items) {
    const Name* found = nullptr;
    for (const Name& n : names)
      if (support::SameText(item, n.name)) found = &n;
    if (!found) return std::nullopt;
    flags.*(found->notInstalled) = false;
  }
  return flags;
}

// Switches that deployment tools pass beside /VERYSILENT, each asking for what
// this setup does anyway: unattended, its boxes take their default answers
// (/SUPPRESSMSGBOXES) and it shows no "This will install" box (/SP-); it
// never restarts the machine (/NORESTART); it stops the server's modules
// itself (/CLOSEAPPLICATIONS).
constexpr const char* kDeploymentSwitches[] = {"/SUPPRESSMSGBOXES", "/NORESTART", "/SP-",
                                               "/CLOSEAPPLICATIONS"};

// Takes an unattended switch into the options; false when arg is none.
bool TakeUnattended(const std::string& arg, CommandLine& line) {
  UnattendedOptions& o = line.Unattended;
  for (const char* accepted : kDeploymentSwitches)
    if (support::SameText(arg, accepted)) return true;
  if (support::SameText(arg, "/VERYSILENT")) {
    o.VerySilent = true;
  } else if (support::SameText(arg, "/NOICONS")) {
    o.NoIcons = true;
  } else if (auto dir = SwitchValue(arg, "DIR")) {
    o.Dir = *dir;
    if (dir->empty()) line.Error = "/DIR= names no folder";
  } else if (auto log = SwitchValue(arg, "LOG")) {
    o.LogFile = *log;
    if (log->empty()) line.Error = "/LOG= names no file";
  } else if (auto answers = SwitchValue(arg, "CONFIG")) {
    o.AnswersFile = *answers;
    if (answers->empty()) line.Error = "/CONFIG= names no file";
  } else if (auto list = SwitchValue(arg, "COMPONENTS")) {
    o.Components = Components(*list);
    if (!o.Components) line.Error = "/COMPONENTS= names no known component: " + *list;
  } else {
    return false;
  }
  return true;
}

}  // namespace

const char kCommandLineHelp[] =
    "setup.exe [/SILENT | /UNINSTALL | /WEBMAILLOGON | /WEBADMINLOGON] [/VERYSILENT]\r\n"
    "          [/DIR=\"folder\"] [/COMPONENTS=mail,control,antispam,antivirus,groupware,im]\r\n"
    "          [/NOICONS] [/LOG=\"file\"] [/CONFIG=\"answers.ini\"]\r\n"
    "          [/SUPPRESSMSGBOXES] [/NORESTART] [/SP-] [/CLOSEAPPLICATIONS]\r\n"
    "\r\n"
    "/VERYSILENT installs (or with /UNINSTALL uninstalls) without any window or question.\r\n"
    "/CONFIG (with /VERYSILENT) then sets the host name, the primary domain and its\r\n"
    "administrator from the [FirstRun] section: HostName, Domain, Administrator, Password.\r\n"
    "/SUPPRESSMSGBOXES, /NORESTART, /SP- and /CLOSEAPPLICATIONS, which deployment tools\r\n"
    "pass, change nothing: without questions every box takes its default answer and is\r\n"
    "logged, setup never restarts the machine, shows no starting question, and stops\r\n"
    "the server's modules itself.\r\n"
    "\r\n"
    "Exit codes: 0 done (also when the install, uninstall or cancel question was\r\n"
    "answered No); 2 a bad command line; 4 a fatal error (package missing or damaged,\r\n"
    "folder or registry not writable, a newer installed version not to be replaced,\r\n"
    "no window to ask on without /VERYSILENT, an uninstall that left something);\r\n"
    "5 cancelled at a copy error; 6 installed, but a selected module is not running;\r\n"
    "7 installed, but the /CONFIG answers could not be applied.\r\n";

CommandLine ParseCommandLine(const std::vector<std::string>& args,
                             const std::vector<std::string>& unconvertible) {
  CommandLine line;
  std::vector<std::string> others;
  for (const std::string& arg : args) {
    if (unconvertible.empty() &&
        (support::SameText(arg, "/exportlanguage") || support::SameText(arg, "-exportlanguage"))) {
      line.Mode = RunMode::ExportLanguage;
      return line;
    }
    if (!TakeUnattended(arg, line)) others.push_back(arg);
  }
  struct Mode {
    const char* name;
    RunMode mode;
  };
  const Mode modes[] = {{"/SILENT", RunMode::Silent},
                        {"/UNINSTALL", RunMode::Uninstall},
                        {"/WEBMAILLOGON", RunMode::WebMailLogOn},
                        {"/WEBADMINLOGON", RunMode::WebAdminLogOn},
                        {"/?", RunMode::Help}};
  if (!others.empty()) {
    line.Mode = RunMode::Unknown;
    for (const Mode& m : modes)
      if (support::SameText(others[0], m.name)) line.Mode = m.mode;
  }
  // Without questions, every word must be understood: a typing error must not
  // install something other than what the administrator asked for.
  if (line.Unattended.VerySilent && line.Error.empty()) {
    if (line.Mode == RunMode::Unknown)
      line.Error = "unknown switch: " + others[0];
    else if (others.size() > 1)
      line.Error = "unknown switch: " + others[1];
  }
  if (!line.Unattended.AnswersFile.empty() && line.Error.empty()) {
    if (!line.Unattended.VerySilent)
      line.Error = "/CONFIG= needs /VERYSILENT";
    else if (line.Mode != RunMode::Wizard && line.Mode != RunMode::Silent)
      line.Error = "/CONFIG= belongs to an installation";
  }
  // Such a word is not what was typed: a "?" stands in it for the character.
  if (!unconvertible.empty())
    line.Error = "a character of " + unconvertible.front() + " has no place in the code page";
  if (!line.Error.empty()) line.Mode = RunMode::BadCommandLine;
  return line;
}

}  // namespace setup
