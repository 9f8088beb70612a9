#pragma once

#include <functional>
#include <memory>
#include <stop_token>

namespace noru::middleware {

// Background work done one piece at a time, in the order it was handed in, on a task of the
// process's task runner. The task starts when work arrives and none is running, and ends once
// nothing is left, so an idle lane holds no thread. A job that has started runs to its end,
// even when the lane is cleared or gone meanwhile: it must own what it uses (values, shared or
// weak pointers). The runner's shutdown lets the running job end, drops the rest and joins the
// task. Hand work in from one thread (the owner's).
class SerialWorkLane {
 public:
  using Job = std::function<void()>;

  SerialWorkLane();
  ~SerialWorkLane();
  SerialWorkLane(const SerialWorkLane&) = delete;
  SerialWorkLane& operator=(const SerialWorkLane&) = delete;

  // Runs `job` after every job handed in before it.
  void enqueue(Job job);

  // Drops the jobs that have not started; the one running, if any, goes on to its end.
  void clear();

 private:
  struct Queue;

  static void drain(const std::shared_ptr<Queue>& queue, const std::stop_token& stop);

  std::shared_ptr<Queue> queue_;
};

}  // namespace noru::middleware
