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
    DateTimeFields f;
    f.year = st.wYear;
    f.month = st.wMonth;
    f.day = st.wDay;
    f.hour = st.wHour;
    f.minute = st.wMinute;
    f.second = st.wSecond;
    f.millisecond = st.wMilliseconds;
    return EncodeDateTime(f);
  }
  uint32_t Tick() override { return GetTickCount(); }
  void Sleep(uint32_t milliseconds) override { ::Sleep(milliseconds); }
};

}  // namespace

Clock& SystemClock() {
  static SystemClockImpl clock;
  return clock;
}

}  // namespace platform
