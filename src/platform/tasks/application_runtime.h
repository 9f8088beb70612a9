#pragma once

#include <functional>

#include "platform/tasks/main_queue.h"
#include "platform/tasks/runtime.h"
#include "platform/tasks/task_runner.h"

namespace noru::platform::tasks {

// The main queue and the task runner of one run of the application, installed as the process's
// runtime for as long as this object lives. It owns the order in which a run ends, which is the
// only safe one: the main queue closes first, so that no background thread stays blocked on a
// hop to the main thread; then whatever still feeds the queue stops (the disc watcher and its
// threads); then every task is cancelled and joined; only then may the objects those tasks
// report to (the store) go.
class ApplicationRuntime {
 public:
  explicit ApplicationRuntime(MainQueue& mainQueue);
  ~ApplicationRuntime();
  ApplicationRuntime(const ApplicationRuntime&) = delete;
  ApplicationRuntime& operator=(const ApplicationRuntime&) = delete;

  MainQueue& mainQueue() { return mainQueue_; }
  TaskRunner& taskRunner() { return taskRunner_; }

  // Closes the main queue, runs `stopSources`, then cancels and joins every task. Runs once;
  // later calls do nothing.
  void quit(const std::function<void()>& stopSources = {});

 private:
  MainQueue& mainQueue_;
  TaskRunner taskRunner_;
  ScopedRuntime installed_;
  bool quit_ = false;
};

}  // namespace noru::platform::tasks
