#pragma once

#include <atomic>
#include <exception>
#include <functional>
#include <future>
#include <list>
#include <memory>
#include <mutex>
#include <stop_token>
#include <thread>
#include <type_traits>

#include "platform/tasks/cancellation_error.h"
#include "platform/tasks/task.h"

namespace noru::platform::tasks {

// Runs background work, each piece on a thread of its own that the runner owns. No thread
// outlives the runner: shutdown (also run by the destructor) cancels every task that is still
// running and joins its thread. Work spawned after shutdown fails at once with CancellationError.
class TaskRunner {
 public:
  TaskRunner() = default;
  ~TaskRunner();
  TaskRunner(const TaskRunner&) = delete;
  TaskRunner& operator=(const TaskRunner&) = delete;

  // `work` is called as work(std::stop_token) on a new thread.
  template <class Work>
  auto spawn(Work work) -> Task<std::invoke_result_t<Work&, std::stop_token>>;

  void shutdown();

  // Threads started and not yet joined; finished threads are joined on the next spawn.
  std::size_t liveThreadCount() const;

 private:
  struct Worker {
    std::thread thread;
    std::stop_source source;
    std::shared_ptr<std::atomic<bool>> finished;
  };

  // Starts `body` on a new thread unless the runner was shut down; returns false then.
  bool launch(std::function<void()> body, std::stop_source source);
  void joinFinishedLocked();

  mutable std::mutex mutex_;
  std::list<Worker> workers_;
  bool shutDown_ = false;
};

template <class Work>
auto TaskRunner::spawn(Work work) -> Task<std::invoke_result_t<Work&, std::stop_token>> {
  using Result = std::invoke_result_t<Work&, std::stop_token>;
  std::stop_source source;
  auto promise = std::make_shared<std::promise<Result>>();
  Task<Result> task(source, promise->get_future());

  auto body = [work = std::make_shared<Work>(std::move(work)), promise,
               token = source.get_token()]() mutable {
    try {
      if constexpr (std::is_void_v<Result>) {
        (*work)(token);
        promise->set_value();
      } else {
        promise->set_value((*work)(token));
      }
    } catch (...) {
      promise->set_exception(std::current_exception());
    }
    // The work's captures are released here, on the task's own thread, before it ends.
    work.reset();
  };
  if (!launch(std::move(body), source)) {
    promise->set_exception(std::make_exception_ptr(CancellationError()));
  }
  return task;
}

}  // namespace noru::platform::tasks
