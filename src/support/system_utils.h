// Processes, privileges, the command line, deadlines and the transfer rate limiter.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace support {

// Hands the file to the shell's execute operation; an empty verb is the default action.
bool RunProgram(uintptr_t window, const std::string& verb, const std::string& file, int showCommand,
                const std::string& directory, const std::string& parameters);
// Every processor, or the first one only; does nothing where the system has no
// affinity control.
void SetProcessorAffinity(bool allProcessors);
bool EnablePrivilege(const std::string& privilege, bool enable);
// A disk share without a drive letter; an empty user or password is passed as none.
bool ConnectNetworkShare(const std::string& remote, const std::string& user,
                         const std::string& password);

// Looks for "-name", "/name", "--name" (with "=value"), or with valueFollows the
// one-letter form "-xVALUE" / "-x VALUE", among the program's arguments. The
// first match gives true and its value; otherwise false and "".
bool FindSwitch(const std::string& name, std::string& value, bool caseSensitive = false,
                bool valueFollows = false);
// The same over the given arguments.
bool FindSwitch(const std::vector<std::string>& args, const std::string& name, std::string& value,
                bool caseSensitive = false, bool valueFollows = false);

// A deadline runs on the millisecond tick, so a change of the system time can
// neither stretch nor cut a wait; the comparison survives the tick's wrap.
struct Deadline {
  uint32_t Start = 0;
  uint32_t Milliseconds = 0;
};
Deadline SetDeadline(uint32_t milliseconds);
bool DeadlineReached(const Deadline& deadline);

// Owned by the caller of ThrottleTransfer.
struct RateRecord {
  uint32_t BytesPerSecond = 0;  // 0 = unlimited
  uint32_t NextTick = 0;        // the next transfer must not start before this tick
};
// Waits until the record's NextTick, then books the time these bytes take.
void ThrottleTransfer(uint32_t bytes, RateRecord& rate);

}  // namespace support
