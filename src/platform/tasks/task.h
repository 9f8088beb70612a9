#pragma once

#include <chrono>
#include <condition_variable>
#include <exception>
#include <memory>
#include <mutex>
#include <optional>
#include <stop_token>
#include <type_traits>
#include <utility>
#include <variant>

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

namespace detail {

// Where a task leaves its value or its error for the one caller that waits for it. The waiting
// caller takes the outcome out, so the task's thread never holds the last reference to it:
// a value or an exception is always destroyed on the thread that received it.
template <class T>
class TaskOutcome {
 public:
  using Stored = std::conditional_t<std::is_void_v<T>, std::monostate, T>;

  void succeed(Stored value) {
    {
      std::lock_guard lock(mutex_);
      value_.emplace(std::move(value));
    }
    ended_.notify_all();
  }

  void fail(std::exception_ptr error) {
    {
      std::lock_guard lock(mutex_);
      error_ = std::move(error);
    }
    ended_.notify_all();
  }

  bool hasEnded() const {
    std::lock_guard lock(mutex_);
    return value_.has_value() || error_ != nullptr;
  }

  // Waits until the work has ended, for at most `limit` and until `stop` is requested.
  bool waitFor(std::chrono::milliseconds limit, std::stop_token stop) const {
    std::unique_lock lock(mutex_);
    return ended_.wait_for(lock, stop, limit,
                           [this] { return value_.has_value() || error_ != nullptr; });
  }

  T take() {
    std::unique_lock lock(mutex_);
    ended_.wait(lock, [this] { return value_.has_value() || error_ != nullptr; });
    if (error_) {
      std::exception_ptr error = std::exchange(error_, nullptr);
      lock.unlock();
      std::rethrow_exception(std::move(error));
    }
    if constexpr (std::is_void_v<T>) {
      value_.reset();
    } else {
      T value = std::move(*value_);
      value_.reset();
      return value;
    }
  }

 private:
  mutable std::mutex mutex_;
  mutable std::condition_variable_any ended_;
  std::optional<Stored> value_;
  std::exception_ptr error_;
};

}  // namespace detail

// A running piece of background work and the value it will produce.
template <class T>
class Task {
 public:
  Task(std::stop_source source, std::shared_ptr<detail::TaskOutcome<T>> outcome)
      : source_(std::move(source)), outcome_(std::move(outcome)) {}

  TaskHandle handle() const { return TaskHandle(source_); }
  void cancel() { source_.request_stop(); }

  // Blocks until the work has ended; returns its value or raises its error. Call once.
  T value() { return outcome_->take(); }
  // Whether the work has returned or failed (its value not yet taken).
  bool hasEnded() const { return outcome_->hasEnded(); }
  // Whether the work ends within `limit`, waiting no longer than that or than `stop` allows.
  // Any thread may wait so, on any copy of the task.
  bool waitFor(std::chrono::milliseconds limit, std::stop_token stop) const {
    return outcome_->waitFor(limit, std::move(stop));
  }

 private:
  std::stop_source source_;
  std::shared_ptr<detail::TaskOutcome<T>> outcome_;
};

}  // namespace noru::platform::tasks
