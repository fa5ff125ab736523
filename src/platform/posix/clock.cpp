#include "platform/clock.h"

#include <time.h>


#include "platform/datetime.h"

namespace platform {
namespace {

class SystemClockImpl : public Clock {
 public:
  double Now() override {
    struct timespec ts;
    clock_gettime(CLOCK_REALTIME, &ts);
    struct tm local;
    localtime_r(&ts.tv_sec, &local);
    DateTimeFields f;
    f.year = local.tm_year + 1900;
    f.month = local.tm_mon + 1;
    f.day = local.tm_mday;
    f.hour = local.tm_hour;
    f.minute = local.tm_min;
    f.second = local.tm_sec;
    f.millisecond = static_cast<int>(ts.tv_nsec / 1000000);
    return EncodeDateTime(f);
  }
  uint32_t Tick() override {
    struct timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<uint32_t>(static_cast<uint64_t>(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000);
  }
  void Sleep(uint32_t milliseconds) override {
    struct timespec ts = {static_cast<time_t>(milliseconds / 1000),
                          static_cast<long>(milliseconds % 1000) * 1000000L};
    while (nanosleep(&ts, &ts) != 0) {
    }
  }
};

}  // namespace

Clock& SystemClock() {
  static SystemClockImpl clock;
  return clock;
}

}  // namespace platform
