#include "support/manual_main_queue.h"

#include <algorithm>
#include <cassert>

namespace noru::testing {

class ManualMainQueue::ManualTimer final : public platform::tasks::Timer {
 public:
  explicit ManualTimer(std::weak_ptr<TimerEntry> entry) : entry(std::move(entry)) {}
  ~ManualTimer() override { invalidate(); }
  void invalidate() override {
    if (const auto held = entry.lock()) {
      held->active = false;
    }
  }
  std::weak_ptr<TimerEntry> entry;
};

void ManualMainQueue::post(Work work) {
  std::lock_guard lock(mutex_);
  if (!closed_) {
    pending_.push_back(std::move(work));
    changed_.notify_all();
  }
}

bool ManualMainQueue::runAndWait(Work work) {
  if (isMainThread()) {
    work();
    return true;
  }
  auto ran = std::make_shared<bool>(false);
  {
    std::lock_guard lock(mutex_);
    if (closed_) {
      return false;
    }
    pending_.push_back([this, ran, work = std::move(work)] {
      work();
      std::lock_guard lock(mutex_);
      *ran = true;
      changed_.notify_all();
    });
    changed_.notify_all();
  }
  std::unique_lock lock(mutex_);
  changed_.wait(lock, [&] { return *ran || closed_; });
  return *ran;
}

std::unique_ptr<platform::tasks::Timer> ManualMainQueue::schedule(
    std::chrono::milliseconds interval, platform::tasks::TimerRepeat repeat, Work tick) {
  assert(isMainThread());
  timers_.push_back(std::make_shared<TimerEntry>(
      TimerEntry{now_ + interval, interval, repeat == platform::tasks::TimerRepeat::repeating, true,
                 nextTimerOrder_++, std::move(tick)}));
  return std::make_unique<ManualTimer>(timers_.back());
}

std::size_t ManualMainQueue::runPending() {
  assert(isMainThread());
  for (std::size_t count = 0;; ++count) {
    Work work;
    {
      std::lock_guard lock(mutex_);
      if (pending_.empty()) {
        return count;
      }
      work = std::move(pending_.front());
      pending_.pop_front();
    }
    work();
  }
}

void ManualMainQueue::advanceBy(std::chrono::milliseconds duration) {
  assert(isMainThread());
  const auto target = now_ + duration;
  runPending();
  for (;;) {
    std::erase_if(timers_, [](const auto& t) { return !t->active; });
    const auto next = std::ranges::min_element(
        timers_, {}, [](const auto& timer) { return std::pair(timer->due, timer->order); });
    if (next == timers_.end() || (*next)->due > target) {
      break;
    }
    const auto timer = *next;  // held: the tick may schedule timers or invalidate its own
    now_ = timer->due;
    if (timer->repeating && timer->interval.count() > 0) {
      timer->due += timer->interval;
    } else {
      timer->active = false;
    }
    timer->tick();
    runPending();
  }
  now_ = target;
}

bool ManualMainQueue::runUntil(const std::function<bool()>& done, std::chrono::milliseconds limit) {
  assert(isMainThread());
  const auto deadline = std::chrono::steady_clock::now() + limit;
  for (;;) {
    runPending();
    if (done()) {
      return true;
    }
    std::unique_lock lock(mutex_);
    if (std::chrono::steady_clock::now() >= deadline) {
      return false;
    }
    // Woken by a post; the short bound also lets `done` see work that ends without posting.
    changed_.wait_for(lock, std::chrono::milliseconds(2), [&] { return !pending_.empty(); });
  }
}

void ManualMainQueue::close() {
  std::lock_guard lock(mutex_);
  closed_ = true;
  pending_.clear();
  changed_.notify_all();
}

}  // namespace noru::testing
