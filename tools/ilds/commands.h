// The commands of ilds. Each takes the arguments after its name and returns the exit status:
// 0 success, 1 the archive failed (the reason on standard error), 2 a usage error.
#pragma once

#include <string>
#include <vector>

namespace ilds {

inline constexpr int kExitOk = 0;
inline constexpr int kExitFailed = 1;
inline constexpr int kExitUsage = 2;

int Pack(const std::vector<std::string>& args);
int List(const std::vector<std::string>& args);
int Extract(const std::vector<std::string>& args);
int Verify(const std::vector<std::string>& args);

// "ilds CMD: message" on standard error; returns the status for convenience.
int Report(const char* command, const std::string& message, int status);
// The message and a pointer to the command's --help, status 2.
int UsageError(const char* command, const std::string& message);

}  // namespace ilds
