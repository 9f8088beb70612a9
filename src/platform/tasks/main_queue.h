#pragma once

#include <chrono>
#include <functional>
#include <memory>

namespace noru::platform::tasks {

// A timer scheduled on the main queue. Destroying it invalidates it.
class Timer {
 public:
  virtual ~Timer() = default;
  virtual void invalidate() = 0;
};

enum class TimerRepeat { once, repeating };

// The main thread's work queue: the one place where state, views and watchers live.
class MainQueue {
 public:
  using Work = std::function<void()>;

  virtual ~MainQueue() = default;

  // Runs `work` on a later turn of the main queue, after everything posted before it.
  // Callable from any thread; work posted after the queue has closed is dropped.
  virtual void post(Work work) = 0;

  // Runs `work` on the main queue and waits until it has run. On the main thread it runs at
  // once. Returns false, without running it, when the queue is closed (the application is
  // quitting) before the work's turn comes: a waiting thread is then released, never stuck.
  virtual bool runAndWait(Work work) = 0;

  // Main thread only. Calls `tick` after `interval`, and every `interval` after that when
  // repeating, until the returned timer is invalidated or destroyed.
  virtual std::unique_ptr<Timer> schedule(std::chrono::milliseconds interval, TimerRepeat repeat,
                                          Work tick) = 0;

  virtual bool isMainThread() const = 0;

  // Ends the queue's service as the application quits: work posted from now on is dropped,
  // and every thread waiting in runAndWait is released.
  virtual void close() = 0;
};

}  // namespace noru::platform::tasks
