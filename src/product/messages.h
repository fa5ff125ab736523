// The setup's translatable messages: one process-wide variable per identifier,
// holding its English default until a translation replaces it. Registration
// order is the order of the list; exported language files follow it.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "product/user_interface.h"
#include "translations/message_table.h"

// X(identifier, default text), in registration order.
#define ORVIK_SETUP_MESSAGES(X)                                                                    \
  X(cName, "Orvik Mail Server")                                                                    \
  X(cDoYouExit, "Do you wish to cancel this installation?")                                        \
  X(cDoYouExitTitle, "Exit Setup")                                                                 \
  X(UninstallDesc, "Uninstall Orvik Mail Server")                                                  \
  X(cOrvikWebmail, "Orvik Mail Server Web Mail")                                                   \
  X(cOrvikWebAdmin, "Orvik Mail Server Web Administration")                                        \
  X(cWebMailManualFile, "html\\mail\\help\\index.htm")                                             \
  X(cWebMailManual, "Kestrun WebMail Documentation")                                               \
  X(LinkDesc,                                                                                      \
    "Orvik Mail Server Administration\r\nOrvik Mail Server Readme\r\nOrvik Mail Server "           \
    "Help\r\nDNS Query Tool\r\nOrvik Mail Server Tutorial")                                        \
  X(OrvikSMTPLinkDesc, "Start Orvik SMTP Service")                                                 \
  X(OrvikPOP3LinkDesc, "Start Orvik POP3 / IMAP Service")                                          \
  X(OrvikControlLinkDesc, "Start Orvik Control / HTTP Service")                                    \
  X(OrvikIMLinkDesc, "Start Orvik IM / VoIP Service")                                              \
  X(OrvikGWLinkDesc, "Start Orvik GroupWare Service")                                              \
  X(cSetup, "%s Setup")                                                                            \
  X(cInstallQ, "This will install %s. Do you wish to continue?")                                   \
  X(cInstallLicenseQ,                                                                              \
    "By installing this software you agree with the software license agreement. Do you wish to "   \
    "continue?")                                                                                   \
  X(cUnInstallQ, "Are you sure to completely remove all files and components of this program?")    \
  X(cComplete, "The setup of %s is complete.")                                                     \
  X(cCompleteRemove,                                                                               \
    "Uninstall completed. Some elements could not be removed. You should manually remove items "   \
    "related to the application.")                                                                 \
  X(cInternet, "Is this computer connected to the Internet now?")                                  \
  X(cNotRunning,                                                                                   \
    "The following service(s) could not be started:\r\n%s\r\nThere must be already running some "  \
    "other service(s) on the same TCP/IP port(s). Please, make sure no other SMTP or POP3 "        \
    "servers are running (including MS SMTP and Norton POP3).")                                    \
  X(cSetupError, "Setup could not find the required files.")                                       \
  X(cSetupRequireWebMail,                                                                          \
    "Setup has detected an old version of Kestrun Web Mail on your computer. It is required for "  \
    "you to upgrade Kestrun Web Mail or it will not function properly.")                           \
  X(cTutorialCaption, "Installation Wizard")                                                       \
  X(cInformation, "Information")                                                                   \
  X(cError, "Error")                                                                               \
  X(cErrorDir, "Directory could not be created: ")                                                 \
  X(cErrorFile,                                                                                    \
    "An error occured while copying file '%s'.\r\n%s\r\nDo you want to retry or cancel the "       \
    "installation?")                                                                               \
  X(cErrorDataFile, "Extracting files error: data file error")                                     \
  X(cServiceError, "Service error: ")                                                              \
  X(cRegistryError, "Registry error: ")                                                            \
  X(cErrorText,                                                                                    \
    "\r\nThere might be already some service running on the same TCP/IP port. Make sure MS SMTP, " \
    "Norton Antivirus POP3 or some other mail server is not running on this machine.")             \
  X(cQuestion, "Question")                                                                         \
  X(cNewerVersion,                                                                                 \
    "There is new %s %s version on the Internet. It is suggested to download and use the latest "  \
    "version instead. Do you want to download it now?")                                            \
  X(cInstallProgram, "Programs")                                                                   \
  X(cCommonPrograms, "Common Programs")                                                            \
  X(cExtractingFiles, "Extracting Files...")                                                       \
  X(cInstalling, "Installing Services...")                                                         \
  X(cStarting, "Starting Services...")                                                             \
  X(cFinishing, "Finishing Installation...")                                                       \
  X(cUnInstalling, "Removing Services...")                                                         \
  X(cStopping, "Stopping Services...")                                                             \
  X(cChecking, "Checking For Running Services...")                                                 \
  X(cFinished, "Installation Complete")                                                            \
  X(cInstallFiles, "Installing Files...")                                                          \
  X(cInstallingAV, "Installing Antivirus Engine...")                                               \
  X(cCreatingIcons, "Creating Icons...")                                                           \
  X(cInstallingWeb, "Installing Web Mail...")                                                      \
  X(cHintAdvanced, "All options will be visible. Expert's mode.")                                  \
  X(cHintBasic, "Some options will be invisible. Beginner's mode.")                                \
  X(cYes, "&Yes")                                                                                  \
  X(cNo, "&No")                                                                                    \
  X(cBack, "< &Back")                                                                              \
  X(cNext, "&Next >")                                                                              \
  X(cCancel, "&Cancel")                                                                            \
  X(cInstallC, "&Install >")                                                                       \
  X(cPSetup, "%s %s Setup")                                                                        \
  X(cFinish, "&Finish")                                                                            \
  X(cSLA, "Software License Agreement")                                                            \
  X(cStartCopyingFiles, "Start The Installation Process")                                          \
  X(cInstallingFiles, "Installing")                                                                \
  X(cSetupType, "Server Type && Console Mode")                                                     \
  X(cComponentSetup, "Components To Install")                                                      \
  X(cSetupFinished, "Setup Complete")                                                              \
  X(DemoMsgSubject, "Demonstration message")                                                       \
  X(DemoMsg, "Demonstration message")                                                              \
  X(WPrimaryDomain, "Primary Domain")                                                              \
  X(WHostName, "Host Name")                                                                        \
  X(WAdministrator, "Administrator")                                                               \
  X(WWizardComplete, "Wizard Complete")                                                            \
  X(cFinishedNotRunning,                                                                           \
    "The installation has finished, but some of the server's modules are not running (see the "    \
    "setup log). You may run the installed program now.")                                          \
  X(cRestoring, "Restoring the previous installation...")                                          \
  X(cRestored,                                                                                     \
    "Setup did not finish its last run. What that run had changed has been undone and the "        \
    "previous installation restored.")                                                             \
  X(cNotRestored,                                                                                  \
    "Setup could not undo everything that its last run had changed; the setup log names what "     \
    "is left. Close the programs that hold those files and run setup again.")

namespace setup {

#define ORVIK_DECLARE_MESSAGE(identifier, text) extern std::string identifier;
ORVIK_SETUP_MESSAGES(ORVIK_DECLARE_MESSAGE)
#undef ORVIK_DECLARE_MESSAGE

// Registers every message, in list order, with its variable.
void RegisterSetupMessages(support::TMessageTable* table = nullptr);
// Puts every message back to its default text.
void RestoreDefaultMessages();
// The English default text of a message; "" for an unknown identifier.
std::string DefaultMessage(std::string_view identifier);

// cServiceError, the system's text for the error code, then cErrorText (which
// starts with its own line break).
std::string ServiceWarningText(uint32_t errorCode);
// The service warning: one box with caption "Warning", warning icon, task-modal.
void ShowServiceWarning(ui::UserInterface& ui, uint32_t errorCode);

}  // namespace setup
