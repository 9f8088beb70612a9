#include "middleware/serial_work_lane.h"

#include <deque>
#include <exception>
#include <mutex>
#include <utility>

#include "platform/log/diagnostic_log.h"
#include "platform/tasks/runtime.h"

namespace noru::middleware {

// The jobs waiting for their turn, shared by the lane and its running task.
struct SerialWorkLane::Queue {
  std::mutex mutex;
  std::deque<Job> jobs;
  bool draining = false;  // a task is running, or about to, and will take the jobs in turn
};

SerialWorkLane::SerialWorkLane() : queue_(std::make_shared<Queue>()) {}

SerialWorkLane::~SerialWorkLane() {
  clear();
}

void SerialWorkLane::enqueue(Job job) {
  {
    std::lock_guard lock(queue_->mutex);
    queue_->jobs.push_back(std::move(job));
    if (queue_->draining) {
      return;
    }
    queue_->draining = true;
  }
  auto task = platform::tasks::taskRunner().spawn(
      [queue = queue_](std::stop_token stop) { drain(queue, stop); });
  if (!task.hasEnded()) {
    return;
  }
  // Either the task has already done everything, or the runner was shut down and never ran
  // it: then nothing ever will, and the jobs go.
  try {
    task.value();
  } catch (...) {
    std::deque<Job> dropped;
    std::lock_guard lock(queue_->mutex);
    dropped.swap(queue_->jobs);
    queue_->draining = false;
  }
}

void SerialWorkLane::clear() {
  std::deque<Job> dropped;  // released outside the lock: a job's captures may take time to go
  std::lock_guard lock(queue_->mutex);
  dropped.swap(queue_->jobs);
}

void SerialWorkLane::drain(const std::shared_ptr<Queue>& queue, const std::stop_token& stop) {
  for (;;) {
    Job job;
    std::deque<Job> dropped;
    {
      std::lock_guard lock(queue->mutex);
      if (queue->jobs.empty() || stop.stop_requested()) {
        dropped.swap(queue->jobs);
        queue->draining = false;
        return;
      }
      job = std::move(queue->jobs.front());
      queue->jobs.pop_front();
    }
    try {
      job();
    } catch (const std::exception& error) {
      platform::log::diagnostic("SerialWorkLane: a job failed \u2014 ", error.what());
    } catch (...) {
      platform::log::diagnostic("SerialWorkLane: a job failed");
    }
  }
}

}  // namespace noru::middleware
