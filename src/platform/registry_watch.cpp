#include <condition_variable>
#include <mutex>
#include <thread>
#include <utility>

#include "platform/registry.h"

namespace platform {
namespace {

// Registry writes come from the window's thread and from the worker beside it.
struct Watch {
  std::mutex mutex;
  std::condition_variable idle;
  RegistryWatcher watcher;
  bool running = false;   // the watcher is being told, on thread caller
  bool replaced = false;  // the watcher was set anew from within itself
  std::thread::id caller;
};

Watch& TheWatch() {
  static Watch watch;
  return watch;
}

}  // namespace

void SetRegistryWatcher(RegistryWatcher watcher) {
  Watch& watch = TheWatch();
  std::unique_lock<std::mutex> lock(watch.mutex);
  // Another thread waits until the watcher has returned: once the watching has
  // ended, what the watcher belongs to may end too. The watcher itself may end
  // its own watching.
  if (watch.caller != std::this_thread::get_id())
    watch.idle.wait(lock, [&] { return !watch.running; });
  if (watch.running) watch.replaced = true;
  std::swap(watch.watcher, watcher);
  lock.unlock();
  // The one replaced ends here, outside the lock.
}

void TellRegistryWatcher(const RegistryChange& change) {
  Watch& watch = TheWatch();
  const std::thread::id self = std::this_thread::get_id();
  std::unique_lock<std::mutex> lock(watch.mutex);
  // What the watcher reads or writes itself is not told to it again.
  if (watch.running && watch.caller == self) return;
  // Another thread's write waits its turn: it is told, never lost.
  watch.idle.wait(lock, [&] { return !watch.running; });
  if (!watch.watcher) return;
  // Called outside the lock, so that it may read and write the registry and end
  // the watching; held here meanwhile, so that ending it does not end the call.
  RegistryWatcher watcher = std::exchange(watch.watcher, nullptr);
  watch.running = true;
  watch.replaced = false;
  watch.caller = self;
  lock.unlock();
  // Put back unless replaced meanwhile, and the waiting threads let go, also
  // when the watcher throws.
  struct Done {
    Watch& watch;
    RegistryWatcher& watcher;
    ~Done() {
      std::unique_lock<std::mutex> lock(watch.mutex);
      if (!watch.replaced) std::swap(watch.watcher, watcher);
      watch.running = false;
      watch.caller = {};
      lock.unlock();
      watch.idle.notify_all();
    }
  } done{watch, watcher};
  watcher(change);
}

}  // namespace platform
