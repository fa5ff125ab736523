// The threads of the extraction pipeline, kept from one archive to the next. Starting threads
// for every archive cost their start-up each time, and a process under a sanitizer keeps a
// record of every thread it ever started: a fuzz campaign of millions of archives ran out of
// memory on those records alone.
#pragma once

#include <cstddef>
#include <functional>
#include <future>

namespace archive {

// Runs the task on a thread of the pool at once: an idle one, or a new one when none is idle
// (the pipeline's tasks wait on each other, so none may wait for a thread). The future is
// ready when the task has ended and its thread is idle again. Throws std::system_error when a
// new thread is needed and cannot be started; the task is not run then.
std::future<void> RunOnPoolThread(std::function<void()> task);

// Threads the pool has started so far. They are never ended: the pool holds as many as were
// ever busy at once.
size_t PoolThreadsStarted();

}  // namespace archive
