#include "product/user_interface.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <exception>
#include <mutex>
#include <thread>

#include "platform/clock.h"

namespace ui {

TMessagePump::TMessagePump(UserInterface& ui) : ui_(ui), last_(platform::Tick() - kPumpMs) {}

void TMessagePump::operator()(const std::string& item, uint64_t done, uint64_t total) {
  const uint32_t now = platform::Tick();
  if (now - last_ < kPumpMs) return;
  last_ = now;
  ui_.ShowWork(item, done, total);
  ui_.ProcessMessages();
}

void TStepsProgress::operator()(const std::string& item, uint64_t done) {
  done = std::min(done, total_);
  const uint64_t reached = total_ == 0 ? 0 : done * steps_ / total_;
  for (; taken_ + 1 < steps_ && static_cast<uint64_t>(taken_) < reached; ++taken_)
    ui_.StepProgress();
  // What lies beyond the steps taken, as a share of one step (total_ of them).
  pump_(item, done * steps_ - taken_ * total_, total_);
}

void TStepsProgress::Finish() {
  for (; taken_ < steps_; ++taken_) ui_.StepProgress();
}

void PumpingSleep(UserInterface& ui, uint32_t ms) {
  const uint32_t start = platform::Tick();
  for (uint32_t passed = 0; passed < ms; passed = platform::Tick() - start) {
    ui.ProcessMessages();
    platform::Sleep(std::min(kPumpMs, ms - passed));
  }
  ui.ProcessMessages();
}

void RunPumping(UserInterface& ui, const std::function<void()>& work) {
  std::mutex mutex;
  std::condition_variable ended;
  bool done = false;
  std::exception_ptr error;
  std::thread worker([&] {
    try {
      work();
    } catch (...) {
      error = std::current_exception();
    }
    std::lock_guard<std::mutex> lock(mutex);
    done = true;
    ended.notify_one();
  });
  std::unique_lock<std::mutex> lock(mutex);
  try {
    // Returns as soon as the work has ended, not at the next turn of the pump.
    while (!ended.wait_for(lock, std::chrono::milliseconds(kPumpMs), [&] { return done; })) {
      lock.unlock();
      ui.ProcessMessages();
      lock.lock();
    }
  } catch (...) {
    // The work still uses this frame: the window's failure goes on once it has ended.
    if (lock.owns_lock()) lock.unlock();
    worker.join();
    throw;
  }
  lock.unlock();
  worker.join();
  ui.ProcessMessages();
  if (error) std::rethrow_exception(error);
}

}  // namespace ui
