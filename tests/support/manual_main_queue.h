#pragma once

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/tasks/main_queue.h"

namespace noru::testing {

// A main queue that the test thread pumps by hand, with timers on a virtual clock that only
// advanceBy moves. The thread that creates it is the main thread.
class ManualMainQueue final : public platform::tasks::MainQueue {
 public:
  ~ManualMainQueue() override { close(); }

  void post(Work work) override;
  bool runAndWait(Work work) override;
  std::unique_ptr<platform::tasks::Timer> schedule(std::chrono::milliseconds interval,
                                                   platform::tasks::TimerRepeat repeat,
                                                   Work tick) override;
  bool isMainThread() const override { return std::this_thread::get_id() == mainThread_; }

  // Runs posted work, including work posted meanwhile, until none is left. Returns how much ran.
  std::size_t runPending();

  // Moves the virtual clock forward, firing due timers in time order and running posted work
  // after each tick.
  void advanceBy(std::chrono::milliseconds duration);

  // Runs posted work, waiting for background threads to post more, until `done` holds. Gives
  // up after `limit` of real time so that a broken test fails instead of hanging.
  bool runUntil(const std::function<bool()>& done,
                std::chrono::milliseconds limit = std::chrono::seconds(20));

  // Drops later posts and releases every thread waiting in runAndWait.
  void close() override;

 private:
  struct TimerEntry {
    std::chrono::milliseconds due;
    std::chrono::milliseconds interval;
    bool repeating;
    bool active = true;
    std::uint64_t order;
    Work tick;
  };
  class ManualTimer;

  std::thread::id mainThread_ = std::this_thread::get_id();
  mutable std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<Work> pending_;
  bool closed_ = false;

  std::chrono::milliseconds now_{0};
  std::uint64_t nextTimerOrder_ = 0;
  std::vector<std::shared_ptr<TimerEntry>> timers_;
};

}  // namespace noru::testing
