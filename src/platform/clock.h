// Time. Every wait, poll and deadline goes through here so that a test can run
// them on a virtual clock.
#pragma once

#include <cstdint>

namespace platform {

class Clock {
 public:
  virtual ~Clock() = default;
  // Local date and time as days since 1899-12-30 (an OLE Automation date).
  virtual double Now() = 0;
  // Milliseconds since an arbitrary start, wrapping at 2^32.
  virtual uint32_t Tick() = 0;
  virtual void Sleep(uint32_t milliseconds) = 0;
};

// A clock that only moves when told to; Sleep moves it.
class VirtualClock : public Clock {
 public:
  explicit VirtualClock(double now = 46000.5, uint32_t tick = 1000) : now_(now), tick_(tick) {}
  double Now() override { return now_; }
  uint32_t Tick() override { return tick_; }
  void Sleep(uint32_t milliseconds) override { Advance(milliseconds); }
  void Advance(uint32_t milliseconds) {
    tick_ += milliseconds;
    now_ += milliseconds / 86400000.0;
  }
  void SetNow(double now) { now_ = now; }

 private:
  double now_;
  uint32_t tick_;
};

// The system's own clock.
Clock& SystemClock();

// Installs a clock for the whole process; nullptr restores the system clock.
// The caller keeps the clock alive while it is installed.
void InstallClock(Clock* clock);

double Now();
// Local time minus universal time now, in minutes (east of Greenwich positive).
int UtcOffsetMinutes();
uint32_t Tick();
void Sleep(uint32_t milliseconds);

}  // namespace platform
