#pragma once

#include <future>
#include <stop_token>
#include <utility>

namespace noru::platform::tasks {

// Lets its holder cancel a task without waiting for it. Copies refer to the same task.
class TaskHandle {
 public:
  explicit TaskHandle(std::stop_source source) : source_(std::move(source)) {}

  void cancel() { source_.request_stop(); }
  bool isCancelled() const { return source_.stop_requested(); }

  bool operator==(const TaskHandle&) const = default;

 private:
  std::stop_source source_;
};

// A running piece of background work and the value it will produce.
template <class T>
class Task {
 public:
  Task(std::stop_source source, std::future<T> result)
      : source_(std::move(source)), result_(std::move(result)) {}

  TaskHandle handle() const { return TaskHandle(source_); }
  void cancel() { source_.request_stop(); }

  // Blocks until the work has ended; returns its value or raises its error. Call once.
  T value() { return result_.get(); }

 private:
  std::stop_source source_;
  std::future<T> result_;
};

}  // namespace noru::platform::tasks
