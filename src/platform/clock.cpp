// The clock in use: the system's, or one that a test installed.
#include "platform/clock.h"

#include <atomic>

namespace platform {
namespace {

std::atomic<Clock*> current{nullptr};

Clock& Current() {
  Clock* clock = current.load();
  return clock ? *clock : SystemClock();
}

}  // namespace

void InstallClock(Clock* clock) {
  current = clock;
}
double Now() {
  return Current().Now();
}
uint32_t Tick() {
  return Current().Tick();
}
void Sleep(uint32_t milliseconds) {
  Current().Sleep(milliseconds);
}

}  // namespace platform
