#include "support/manual_main_queue.h"

#include <algorithm>
#include <cassert>

namespace noru::testing {

class ManualMainQueue::ManualTimer final : public platform::tasks::Timer {
 public:
  explicit ManualTimer(std::weak_ptr<TimerEntry> entry) : entry_(std::move(entry)) {}
  ~ManualTimer() override { invalidate(); }
  void invalidate() override {
    if (auto entry = entry_.lock()) {
      entry->active = false;
    }
  }

 private:
  std::weak_ptr<TimerEntry> entry_;
};

ManualMainQueue::ManualMainQueue() : mainThread_(std::this_thread::get_id()) {}

ManualMainQueue::~ManualMainQueue() {
  close();
}

void ManualMainQueue::post(Work work) {
  {
    std::lock_guard lock(mutex_);
    if (closed_) {
      return;
    }
    pending_.push_back(std::move(work));
  }
  changed_.notify_all();
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
      {
        std::lock_guard lock(mutex_);
        *ran = true;
      }
      changed_.notify_all();
    });
  }
  changed_.notify_all();
  std::unique_lock lock(mutex_);
  changed_.wait(lock, [&] { return *ran || closed_; });
  return *ran;
}

std::unique_ptr<platform::tasks::Timer> ManualMainQueue::schedule(
    std::chrono::milliseconds interval, platform::tasks::TimerRepeat repeat, Work tick) {
  assert(isMainThread());
  auto entry = std::make_shared<TimerEntry>(
      TimerEntry{now_ + interval, interval, repeat == platform::tasks::TimerRepeat::repeating, true,
                 nextTimerOrder_++, std::move(tick)});
  timers_.push_back(entry);
  return std::make_unique<ManualTimer>(entry);
}

bool ManualMainQueue::isMainThread() const {
  return std::this_thread::get_id() == mainThread_;
}

bool ManualMainQueue::runOne() {
  Work work;
  {
    std::lock_guard lock(mutex_);
    if (pending_.empty()) {
      return false;
    }
    work = std::move(pending_.front());
    pending_.pop_front();
  }
  work();
  return true;
}

std::size_t ManualMainQueue::runPending() {
  assert(isMainThread());
  std::size_t count = 0;
  while (runOne()) {
    ++count;
  }
  return count;
}

void ManualMainQueue::advanceBy(std::chrono::milliseconds duration) {
  assert(isMainThread());
  const auto target = now_ + duration;
  runPending();
  for (;;) {
    std::erase_if(timers_, [](const auto& t) { return !t->active; });
    auto next = std::min_element(timers_.begin(), timers_.end(), [](const auto& a, const auto& b) {
      return a->due != b->due ? a->due < b->due : a->order < b->order;
    });
    if (next == timers_.end() || (*next)->due > target) {
      break;
    }
    auto timer = *next;
    now_ = timer->due;
    if (timer->repeating && timer->interval.count() > 0) {
      timer->due += timer->interval;
    } else {
      timer->active = false;
    }
    Work tick = timer->tick;  // the tick may invalidate its own timer
    tick();
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
  {
    std::lock_guard lock(mutex_);
    closed_ = true;
    pending_.clear();
  }
  changed_.notify_all();
}

std::size_t ManualMainQueue::activeTimerCount() const {
  return static_cast<std::size_t>(
      std::count_if(timers_.begin(), timers_.end(), [](const auto& t) { return t->active; }));
}

}  // namespace noru::testing
