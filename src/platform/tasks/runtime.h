#pragma once

#include <cassert>

#include "platform/tasks/main_queue.h"
#include "platform/tasks/task_runner.h"

namespace noru::platform::tasks {

// The process-wide main queue and background task runner. The application installs its own
// for its whole run; each test installs a manual queue and a runner of its own.
MainQueue& mainQueue();
TaskRunner& taskRunner();
bool isRuntimeInstalled();

class ScopedRuntime {
 public:
  ScopedRuntime(MainQueue& mainQueue, TaskRunner& taskRunner);
  ~ScopedRuntime();
  ScopedRuntime(const ScopedRuntime&) = delete;
  ScopedRuntime& operator=(const ScopedRuntime&) = delete;

 private:
  MainQueue* previousQueue_;
  TaskRunner* previousRunner_;
};

inline bool onMainThread() {
  return isRuntimeInstalled() && mainQueue().isMainThread();
}

}  // namespace noru::platform::tasks

// Main-thread-only objects check their caller in debug builds.
#define NORU_ASSERT_MAIN_THREAD() assert(::noru::platform::tasks::onMainThread())
