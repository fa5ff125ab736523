// The running process and the system around it.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

// 2 on the Windows NT family.
int PlatformId();

// Full path of the running executable.
std::string ProgramPath();
// The arguments after the program name, as the program received them. The
// win32 side splits the process command line as Windows keeps it, in UTF-16
// (SplitWideCommandLine), unless SetCommandLineArgs has set others.
std::vector<std::string> CommandLineArgs();
// The arguments of CommandLineArgs that held a character the code page cannot
// hold ("?" in them): they are not what was typed, and a command line that has
// one must not be followed. None after SetCommandLineArgs.
std::vector<std::string> UnconvertibleArgs();
// Sets what CommandLineArgs returns (argv[0] being the program): the native
// entry hands its arguments over here; on Windows it overrides the process
// command line, for tests.
void SetCommandLineArgs(int argc, char** argv);
// The words of a command line, the program name included, by the setup's own
// rules: characters up to the blank separate words; double
// quotes group blanks into a word and are removed; a pair of quotes that opens
// a word is skipped, so "" makes no word.
std::vector<std::string> SplitCommandLine(const std::string& commandLine);

// A word of a command line in the code page; not exact when a character of it
// had no place there (it is "?" in text then).
struct CommandLineWord {
  std::string text;
  bool exact = true;
  bool operator==(const CommandLineWord&) const = default;
};
// The words of a UTF-16 command line by SplitCommandLine's rules, split before
// they are converted and converted without best-fit lookalikes: a full-width
// quote (U+FF02) stays a character of its word, never a quote that groups or
// splits switches.
std::vector<CommandLineWord> SplitWideCommandLine(std::u16string_view commandLine);

std::string GetEnvironment(const std::string& name);

uint32_t CurrentThreadId();

// Enables or disables a named privilege ("SeShutdownPrivilege") in the process token.
bool EnablePrivilege(const std::string& name, bool enable);
// Lets the process run on every processor, or binds it to the first one.
// False where the system offers no affinity control.
bool SetProcessAffinity(bool allProcessors);
// Connects a disk share without a local drive letter; empty user or password
// are passed as none.
bool ConnectNetworkShare(const std::string& remote, const std::string& user,
                         const std::string& password);
// The system's dialog for mapping a network drive, over the active window;
// returns when the user closed it.
void ConnectNetworkDriveDialog();

// Claims a name for this process, machine-wide, until the process ends (a named
// mutex in the Global\ namespace on Windows). False when another process holds it.
bool ClaimSingleInstance(const std::string& name);

void WriteStandardOutput(const std::string& text);
void WriteStandardError(const std::string& text);
// Whether standard error is a terminal (a console on Windows) rather than a file or pipe.
bool StandardErrorIsTerminal();

// The Windows error code of this thread's last failed call to the platform
// layer. Read it right after that call, before a log line or a message box can
// change it.
uint32_t LastError();

// The system's text for a Windows error code, without the trailing line break;
// "" when the system has none.
std::string SystemErrorText(uint32_t code);

}  // namespace platform
