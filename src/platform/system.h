// The running process and the system around it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace platform {

// 2 on the Windows NT family.
int PlatformId();

// Full path of the running executable.
std::string ProgramPath();
// The arguments after the program name, as the program received them.
std::vector<std::string> CommandLineArgs();
// The native entry hands its arguments over here (the win32 side reads the
// process command line itself).
void SetCommandLineArgs(int argc, char** argv);

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

void WriteStandardOutput(const std::string& text);

}  // namespace platform
