// The Windows clock: local time, the millisecond tick and Sleep.
#include "platform/clock.h"

#include "platform/datetime.h"
#include "platform/win32/windows_api.h"

namespace platform {
namespace {

class SystemClockImpl : public Clock {
 public:
  double Now() override {
    SYSTEMTIME st;
    GetLocalTime(&st);
    return EncodeDateTime(win32::FieldsOf(st));
  }
  uint32_t Tick() override { return GetTickCount(); }
  void Sleep(uint32_t milliseconds) override { ::Sleep(milliseconds); }
};

}  // namespace

int UtcOffsetMinutes() {
  TIME_ZONE_INFORMATION zone;
  DWORD which = GetTimeZoneInformation(&zone);
  LONG bias = zone.Bias;
  if (which == TIME_ZONE_ID_STANDARD) bias += zone.StandardBias;
  if (which == TIME_ZONE_ID_DAYLIGHT) bias += zone.DaylightBias;
  return -static_cast<int>(bias);
}

Clock& SystemClock() {
  static SystemClockImpl clock;
  return clock;
}

}  // namespace platform
