#include "support/system_utils.h"

#include <algorithm>
#include <cctype>

#include "platform/clock.h"
#include "platform/system.h"
#include "support/text_fields.h"

namespace support {
namespace {

bool SameName(const std::string& a, const std::string& b, bool caseSensitive) {
  if (caseSensitive) return a == b;
  return SameText(a, b);
}

bool IsSwitchChar(char c) {
  return c == '-' || c == '/';
}

// One transfer never books more than this. A wait that looks longer can only
// come from a stale or fresh record whose NextTick lies far behind the wrapping
// tick, and is not waited for.
constexpr uint32_t kMaxThrottleDelay = 3600000;

}  // namespace

void SetProcessorAffinity(bool allProcessors) {
  platform::SetProcessAffinity(allProcessors);
}

bool ConnectNetworkShare(const std::string& remote, const std::string& user,
                         const std::string& password) {
  return platform::ConnectNetworkShare(remote, user, password);
}

bool FindSwitch(const std::string& name, std::string& value, bool caseSensitive,
                bool valueFollows) {
  return FindSwitch(platform::CommandLineArgs(), name, value, caseSensitive, valueFollows);
}

bool FindSwitch(const std::vector<std::string>& args, const std::string& name, std::string& value,
                bool caseSensitive, bool valueFollows) {
  value.clear();
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (arg.size() < 2 || !IsSwitchChar(arg[0])) continue;
    std::string body = arg.substr(IsSwitchChar(arg[1]) ? 2 : 1);
    std::string switchName, switchValue;
    if (valueFollows) {
      switchName = body.substr(0, 1);
      switchValue = body.size() > 1 ? body.substr(1) : std::string();
      if (switchValue.empty() && i + 1 < args.size()) switchValue = args[i + 1];
    } else {
      std::size_t eq = body.find('=');
      switchName = body.substr(0, eq);
      if (eq != std::string::npos) switchValue = body.substr(eq + 1);
    }
    if (SameName(switchName, name, caseSensitive)) {
      value = switchValue;
      return true;
    }
  }
  return false;
}

Deadline SetDeadline(uint32_t milliseconds) {
  return {platform::Tick(), milliseconds};
}

bool DeadlineReached(const Deadline& deadline) {
  return platform::Tick() - deadline.Start >= deadline.Milliseconds;
}

void ThrottleTransfer(uint32_t bytes, RateRecord& rate) {
  if (rate.BytesPerSecond == 0) return;
  uint32_t now = platform::Tick();
  // Wrap-safe: the difference of two ticks, read as signed.
  uint32_t wait = rate.NextTick - now;
  if (static_cast<int32_t>(wait) > 0 && wait <= kMaxThrottleDelay) {
    platform::Sleep(wait);
    now = platform::Tick();
  }
  uint64_t delay = static_cast<uint64_t>(bytes) * 1000 / rate.BytesPerSecond;
  rate.NextTick = now + static_cast<uint32_t>(std::min<uint64_t>(delay, kMaxThrottleDelay));
}

}  // namespace support
