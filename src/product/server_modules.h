// The server's five modules: one table that service control, module
// notification, the uninstall and the wizard all read, and the queries that
// tell whether a module runs.
#pragma once

#include <cstdint>
#include <string>

#include "platform/top_windows.h"

namespace support {

// True on the Windows NT family: the server's modules then run as services.
// Set once at start-up by InitServiceMode.
extern bool ServiceMode;
void InitServiceMode();

// The component whose choice installs the module.
enum class ModuleComponent { Mail, Control, IM, GroupWare };

struct ServerModule {
  ModuleComponent Component;
  const char* ServiceName;
  const char* Executable;
  const char* DisplayName;
  const char* Description;
  // The main window when the module runs as a desktop program.
  const char* WindowClass;
  const char* Caption;
};

enum ModuleIndex {
  kModuleSMTP = 0,
  kModulePOP3 = 1,
  kModuleControl = 2,
  kModuleIM = 3,
  kModuleGroupWare = 4
};
constexpr int kModuleCount = 5;

inline constexpr ServerModule kServerModules[kModuleCount] = {
    {ModuleComponent::Mail, "OrvikSMTP", "smtp.exe", "Orvik SMTP",
     "Provides support for MTA and SMTP protocol.", "TSMTPForm", "SMTP"},
    {ModuleComponent::Mail, "OrvikPOP3", "pop3.exe", "Orvik POP3 / IMAP",
     "Provides support for POP3 and IMAP protocols.", "TPOP3Form", "POP3"},
    {ModuleComponent::Control, "OrvikControl", "control.exe", "Orvik Control / Web / FTP",
     "Provides support for remote administration, web and ftp services.", "TControlForm",
     "Control"},
    {ModuleComponent::IM, "OrvikIM", "im.exe", "Orvik IM / VoIP",
     "Provides support for Instant Messaging and VoIP.", "TIMForm", "Instant Messaging"},
    {ModuleComponent::GroupWare, "OrvikCalendar", "cal.exe", "Orvik GroupWare Server",
     "Provides support for GroupWare.", "TGroupWareForm", "GroupWare"},
};

// The state of a service (1 stopped, 4 running, ...); false when the manager or
// the service cannot be opened or the state cannot be read.
bool QueryServiceState(const std::string& name, uint32_t& state);
// The module's main window when it runs as a desktop program, or 0.
platform::WindowHandle FindModuleWindow(int index);

}  // namespace support
