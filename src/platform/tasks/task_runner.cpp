#include "platform/tasks/task_runner.h"

#include <utility>
#include <vector>

namespace noru::platform::tasks {

TaskRunner::~TaskRunner() {
  shutdown();
}

bool TaskRunner::launch(std::function<void()> body, std::stop_source source, EndingFlag ending) {
  std::lock_guard lock(mutex_);
  if (shutDown_) {
    return false;
  }
  joinEndingLocked();
  std::thread thread([body = std::move(body)]() mutable {
    body();
    body = nullptr;
  });
  workers_.push_back(Worker{std::move(thread), std::move(source), std::move(ending)});
  return true;
}

void TaskRunner::joinEndingLocked() {
  for (auto it = workers_.begin(); it != workers_.end();) {
    if (it->ending->load(std::memory_order_acquire)) {
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
