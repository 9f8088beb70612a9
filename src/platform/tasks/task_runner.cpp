#include "platform/tasks/task_runner.h"

#include <utility>
#include <vector>

namespace noru::platform::tasks {

TaskRunner::~TaskRunner() {
  shutdown();
}

bool TaskRunner::launch(std::function<void()> body, std::stop_source source) {
  std::lock_guard lock(mutex_);
  if (shutDown_) {
    return false;
  }
  joinFinishedLocked();
  auto finished = std::make_shared<std::atomic<bool>>(false);
  std::thread thread([body = std::move(body), finished]() mutable {
    body();
    body = nullptr;
    finished->store(true, std::memory_order_release);
  });
  workers_.push_back(Worker{std::move(thread), std::move(source), std::move(finished)});
  return true;
}

void TaskRunner::joinFinishedLocked() {
  for (auto it = workers_.begin(); it != workers_.end();) {
    if (it->finished->load(std::memory_order_acquire)) {
      it->thread.join();
      it = workers_.erase(it);
    } else {
      ++it;
    }
  }
}

void TaskRunner::shutdown() {
  std::list<Worker> workers;
  {
    std::lock_guard lock(mutex_);
    shutDown_ = true;
    workers.swap(workers_);
  }
  for (auto& worker : workers) {
    worker.source.request_stop();
  }
  for (auto& worker : workers) {
    worker.thread.join();
  }
}

std::size_t TaskRunner::liveThreadCount() const {
  std::lock_guard lock(mutex_);
  return workers_.size();
}

}  // namespace noru::platform::tasks
