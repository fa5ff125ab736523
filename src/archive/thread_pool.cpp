#include "archive/thread_pool.h"

#include <condition_variable>
#include <deque>
#include <exception>
#include <mutex>
#include <thread>
#include <utility>

namespace archive {
namespace {

class Pool {
 public:
  std::future<void> Run(std::function<void()> task) {
    Task queued{std::move(task), {}};
    std::future<void> done = queued.done.get_future();
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (free_ > 0) {
        --free_;
      } else {
        std::thread(&Pool::Loop, this).detach();  // may throw: nothing is queued then
        ++started_;
      }
      tasks_.push_back(std::move(queued));
    }
    ready_.notify_one();
    return done;
  }

  size_t Started() {
    std::lock_guard<std::mutex> lock(mutex_);
    return started_;
  }

 private:
  struct Task {
    std::function<void()> run;
    std::promise<void> done;
  };

  void Loop() {
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
      ready_.wait(lock, [this] { return !tasks_.empty(); });
      Task task = std::move(tasks_.front());
      tasks_.pop_front();
      lock.unlock();
      std::exception_ptr failure;
      try {
        task.run();
      } catch (...) {
        failure = std::current_exception();
      }
      // Free before the task counts as done: whoever waited for it and runs the next
      // extraction finds this thread idle instead of starting another.
      lock.lock();
      ++free_;
      lock.unlock();
      if (failure)
        task.done.set_exception(failure);
      else
        task.done.set_value();
      lock.lock();
    }
  }

  std::mutex mutex_;
  std::condition_variable ready_;
  std::deque<Task> tasks_;
  // Idle threads less the tasks queued for them: a task queued always has a thread coming.
  size_t free_ = 0;
  size_t started_ = 0;
};

// Never destroyed: its threads wait on it until the process ends.
Pool& ThePool() {
  static Pool* pool = new Pool;
  return *pool;
}

}  // namespace

std::future<void> RunOnPoolThread(std::function<void()> task) {
  return ThePool().Run(std::move(task));
}

size_t PoolThreadsStarted() {
  return ThePool().Started();
}

}  // namespace archive
