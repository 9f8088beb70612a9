#pragma once

#include <atomic>
#include <exception>
#include <functional>
#include <list>
#include <memory>
#include <mutex>
#include <optional>
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

  // Threads started and not yet joined. The thread of a task whose value or error has been
  // handed over is joined by the next spawn at the latest.
  std::size_t liveThreadCount() const;

 private:
  // Set by a task just before it hands over its outcome: from then on its thread only
  // unwinds, so joining it cannot wait for more work.
  using EndingFlag = std::shared_ptr<std::atomic<bool>>;

  struct Worker {
    std::thread thread;
    std::stop_source source;
    EndingFlag ending;
  };

  // Starts `body` on a new thread unless the runner was shut down; returns false then.
  bool launch(std::function<void()> body, std::stop_source source, EndingFlag ending);
  void joinEndingLocked();

  mutable std::mutex mutex_;
  std::list<Worker> workers_;
  bool shutDown_ = false;
};

template <class Work>
auto TaskRunner::spawn(Work work) -> Task<std::invoke_result_t<Work&, std::stop_token>> {
  using Result = std::invoke_result_t<Work&, std::stop_token>;
  using Outcome = detail::TaskOutcome<Result>;
  std::stop_source source;
  auto outcome = std::make_shared<Outcome>();
  auto ending = std::make_shared<std::atomic<bool>>(false);
  Task<Result> task(source, outcome);

  auto body = [work = std::make_shared<Work>(std::move(work)), outcome, ending,
               token = source.get_token()]() mutable {
    std::optional<typename Outcome::Stored> value;
    std::exception_ptr error;
    try {
      if constexpr (std::is_void_v<Result>) {
        (*work)(token);
        value.emplace();
      } else {
        value.emplace((*work)(token));
      }
    } catch (...) {
      error = std::current_exception();
    }
    // The work's captures are released on the task's own thread, before anyone is told that
    // it has ended; the outcome is handed over only once the handler above is left.
    work.reset();
    ending->store(true, std::memory_order_release);
    if (error) {
      outcome->fail(std::move(error));
    } else {
      outcome->succeed(std::move(*value));
    }
  };
  if (!launch(std::move(body), source, std::move(ending))) {
    outcome->fail(std::make_exception_ptr(CancellationError()));
  }
  return task;
}

}  // namespace noru::platform::tasks
