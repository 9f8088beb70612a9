#include "rip/overlapped_writes.h"

#include <algorithm>
#include <optional>
#include <thread>
#include <utility>

#include "platform/tasks/cancellation_error.h"
#include "platform/tasks/runtime.h"

namespace noru::rip {

OverlappedWrites::Bounds OverlappedWrites::Bounds::ofMachine() {
  return {.encoders = std::max<std::size_t>(1, std::thread::hardware_concurrency())};
}

OverlappedWrites::OverlappedWrites(Bounds bounds, const std::stop_token& importStop)
    : bounds_(bounds), passStopOn_(importStop, [this] { stop_.request_stop(); }) {}

OverlappedWrites::~OverlappedWrites() {
  endAll();
}

void OverlappedWrites::waitForRoom(std::size_t bytes) {
  std::unique_lock lock(mutex_);
  waitUntil(lock, [&] {
    const auto held = heldLocked();
    return held == 0 || held + bytes <= bounds_.audioBytes;
  });
}

void OverlappedWrites::start(std::int64_t track, std::vector<std::uint8_t> pcm, Write write) {
  std::unique_lock lock(mutex_);
  waitUntil(lock, [&] {
    return std::ranges::count_if(running_, [](const Running& r) { return !r.ended; }) <
           static_cast<std::ptrdiff_t>(bounds_.encoders);
  });
  Running& running = running_.emplace_back(Running{track, pcm.size()});
  // The task reports its end under the lock, which is held until it is recorded here.
  running.task.emplace(platform::tasks::taskRunner().spawn(
      [this, &running, pcm = std::move(pcm), write = std::move(write),
       stop = stop_.get_token()](std::stop_token runnerStop) mutable {
        // A runner that shuts down (the application quitting) ends the other writes too.
        const std::stop_callback shutDown(runnerStop, [this] { stop_.request_stop(); });
        std::exception_ptr failure;
        try {
          write(pcm, stop);
        } catch (...) {
          failure = std::current_exception();
        }
        std::vector<std::uint8_t>().swap(pcm);  // the audio goes before its room is given back
        ended(running, std::move(failure));
      }));
  // A runner that was shut down runs nothing: the write has ended as cancelled.
  if (running.task->hasEnded() && !running.ended) {
    running.ended = true;
    failure_ = failure_ ? failure_ : std::make_exception_ptr(platform::tasks::CancellationError());
    stop_.request_stop();
  }
}

void OverlappedWrites::waitFor(std::int64_t track) {
  std::unique_lock lock(mutex_);
  waitUntil(lock, [&] {
    return std::ranges::none_of(running_,
                                [&](const Running& r) { return !r.ended && r.track == track; });
  });
}

void OverlappedWrites::finish() {
  std::unique_lock lock(mutex_);
  waitUntil(lock, [&] { return std::ranges::all_of(running_, &Running::ended); });
  joinEnded(lock);
}

void OverlappedWrites::raiseFailure() {
  std::exception_ptr failure;
  {
    std::lock_guard lock(mutex_);
    failure = failure_;
  }
  if (failure) {
    endAll();
    std::rethrow_exception(failure);
  }
}

void OverlappedWrites::waitUntil(std::unique_lock<std::mutex>& lock,
                                 const std::function<bool()>& ready) {
  for (;;) {
    joinEnded(lock);
    if (failure_) {
      lock.unlock();
      raiseFailure();
    }
    platform::tasks::throwIfCancelled(stop_.get_token());
    if (ready()) {
      return;
    }
    changed_.wait(lock, stop_.get_token(),
                  [&] { return failure_ || std::ranges::any_of(running_, &Running::ended); });
  }
}

std::size_t OverlappedWrites::heldLocked() const {
  std::size_t held = 0;
  for (const auto& running : running_) {
    held += running.ended ? 0 : running.bytes;
  }
  return held;
}

// Joins the tasks of the writes that have ended, without the lock (a task hands over its end
// only after it has left the work).
void OverlappedWrites::joinEnded(std::unique_lock<std::mutex>& lock) {
  std::list<Running> ended;
  for (auto it = running_.begin(); it != running_.end();) {
    const auto next = std::next(it);
    if (it->ended) {
      ended.splice(ended.end(), running_, it);
    }
    it = next;
  }
  if (ended.empty()) {
    return;
  }
  lock.unlock();
  for (auto& running : ended) {
    join(running);
  }
  lock.lock();
}

void OverlappedWrites::endAll() {
  stop_.request_stop();
  std::list<Running> all;
  {
    std::lock_guard lock(mutex_);
    all.splice(all.end(), running_);
  }
  for (auto& running : all) {
    join(running);
  }
}

void OverlappedWrites::join(Running& running) {
  try {
    running.task->value();
  } catch (const platform::tasks::CancellationError&) {  // never started: nothing to join
  }
}

void OverlappedWrites::ended(Running& running, std::exception_ptr failure) {
  {
    std::lock_guard lock(mutex_);
    running.ended = true;
    if (failure && !failure_) {
      failure_ = failure;
    }
  }
  if (failure) {
    stop_.request_stop();
  }
  changed_.notify_all();
}

}  // namespace noru::rip
