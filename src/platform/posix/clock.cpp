#include "platform/clock.h"

#include <time.h>

#include "platform/posix/tm_fields.h"

namespace platform {
namespace {

class SystemClockImpl : public Clock {
 public:
  double Now() override {
    struct timespec ts;
    clock_gettime(CLOCK_REALTIME, &ts);
    struct tm local;
    localtime_r(&ts.tv_sec, &local);
    return EncodeDateTime(posix::FieldsOf(local, static_cast<int>(ts.tv_nsec / 1000000)));
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

int UtcOffsetMinutes() {
  time_t now = time(nullptr);
  struct tm local;
  localtime_r(&now, &local);
  return static_cast<int>(local.tm_gmtoff / 60);
}

Clock& SystemClock() {
  static SystemClockImpl clock;
  return clock;
}

}  // namespace platform
