#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <latch>
#include <stdexcept>

#include "platform/tasks/cancellation_error.h"
#include "platform/tasks/sendable_box.h"
#include "platform/tasks/task_runner.h"

namespace noru::platform::tasks {
namespace {

void untilCancelled(std::stop_token stop) {
  std::mutex mutex;
  std::condition_variable_any stopped;
  std::unique_lock lock(mutex);
  stopped.wait(lock, stop, [] { return false; });
  throwIfCancelled(stop);
}

TEST(TaskRunner, HandsOverValuesErrorsAndCancellations) {
  TaskRunner runner;
  EXPECT_EQ(runner.spawn([](std::stop_token) { return 42; }).value(), 42);
  EXPECT_THROW(
      runner.spawn([](std::stop_token) -> int { throw std::runtime_error("boom"); }).value(),
      std::runtime_error);
  auto task = runner.spawn(untilCancelled);
  TaskHandle handle = task.handle();
  EXPECT_FALSE(handle.isCancelled());
  handle.cancel();
  EXPECT_TRUE(handle.isCancelled());
  EXPECT_THROW(task.value(), CancellationError);
}

TEST(TaskRunner, ShutdownCancelsAndJoinsEveryThreadAndRefusesNewWork) {
  std::atomic<int> ended{0};
  TaskRunner runner;
  std::latch started(3);
  for (int i = 0; i < 3; ++i) {
    runner.spawn([&](std::stop_token token) {
      started.count_down();
      while (!token.stop_requested()) {
        std::this_thread::yield();
      }
      ++ended;
    });
  }
  started.wait();
  runner.shutdown();
  EXPECT_EQ(ended.load(), 3);
  EXPECT_EQ(runner.liveThreadCount(), 0u);

  bool ran = false;
  EXPECT_THROW(runner.spawn([&](std::stop_token) { ran = true; }).value(), CancellationError);
  EXPECT_FALSE(ran);
}

TEST(TaskRunner, NoThreadOfAFinishedTaskOutlivesTheNextSpawn) {
  TaskRunner runner;
  for (int i = 0; i < 50; ++i) {
    runner.spawn([](std::stop_token) {}).value();
    auto next = runner.spawn(untilCancelled);
    ASSERT_EQ(runner.liveThreadCount(), 1u) << "round " << i;
    next.cancel();
    EXPECT_THROW(next.value(), CancellationError);
  }
}

TEST(SendableBox, ACancellationRacingTheFillIsNeverLost) {
  TaskRunner runner;
  for (int round = 0; round < 200; ++round) {
    auto box = std::make_shared<SendableBox<TaskHandle>>();
    std::stop_source readTask;
    std::latch go(2);
    auto filler = runner.spawn([&](std::stop_token) {
      go.arrive_and_wait();
      box->put(TaskHandle(readTask));
    });
    go.arrive_and_wait();
    box->whenFilled([](TaskHandle& handle) { handle.cancel(); });
    filler.value();
    ASSERT_TRUE(readTask.stop_requested()) << "round " << round;
    ASSERT_TRUE(box->value().has_value());
  }
}

}  // namespace
}  // namespace noru::platform::tasks
