#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <latch>
#include <mutex>
#include <stdexcept>
#include <thread>

#include "platform/tasks/cancellation_error.h"
#include "platform/tasks/sendable_box.h"
#include "platform/tasks/task_runner.h"
#include "support/manual_main_queue.h"

namespace noru::platform::tasks {
namespace {

TEST(TaskRunner, ReturnsValuesAndErrorsOfItsWork) {
  TaskRunner runner;
  auto answer = runner.spawn([](std::stop_token) { return 42; });
  auto failing = runner.spawn([](std::stop_token) -> int { throw std::runtime_error("boom"); });
  EXPECT_EQ(answer.value(), 42);
  EXPECT_THROW(failing.value(), std::runtime_error);
}

TEST(TaskRunner, CancellingAHandleReachesTheWorksStopToken) {
  TaskRunner runner;
  std::latch started(1);
  auto task = runner.spawn([&](std::stop_token token) {
    started.count_down();
    while (!token.stop_requested()) {
      std::this_thread::yield();
    }
    throwIfCancelled(token);
  });
  started.wait();
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
  auto late = runner.spawn([&](std::stop_token) { ran = true; });
  EXPECT_THROW(late.value(), CancellationError);
  EXPECT_FALSE(ran);
}

TEST(TaskRunner, NoThreadOfAFinishedTaskOutlivesTheNextSpawn) {
  TaskRunner runner;
  for (int i = 0; i < 50; ++i) {
    runner.spawn([](std::stop_token) {}).value();
    auto next = runner.spawn([](std::stop_token stop) {
      std::mutex mutex;
      std::condition_variable_any stopped;
      std::unique_lock lock(mutex);
      stopped.wait(lock, stop, [] { return false; });
    });
    ASSERT_EQ(runner.liveThreadCount(), 1u) << "round " << i;
    next.cancel();
    next.value();
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
    auto canceller = runner.spawn([&](std::stop_token) {
      go.arrive_and_wait();
      box->whenFilled([](TaskHandle& handle) { handle.cancel(); });
    });
    filler.value();
    canceller.value();
    ASSERT_TRUE(readTask.stop_requested()) << "round " << round;
    ASSERT_TRUE(box->value().has_value());
  }
}

TEST(ManualMainQueue, RunsPostsInOrderFromAnyThread) {
  testing::ManualMainQueue queue;
  std::vector<int> order;
  queue.post([&] { order.push_back(1); });
  std::thread([&] { queue.post([&] { order.push_back(2); }); }).join();
  queue.post([&] {
    order.push_back(3);
    queue.post([&] { order.push_back(4); });
  });
  EXPECT_EQ(queue.runPending(), 4u);
  EXPECT_EQ(order, (std::vector<int>{1, 2, 3, 4}));
}

TEST(ManualMainQueue, BlockingHopRunsOnTheMainThreadAndIsReleasedWhenClosed) {
  testing::ManualMainQueue queue;
  TaskRunner runner;
  std::thread::id ranOn;
  auto hop = runner.spawn([&](std::stop_token) {
    return queue.runAndWait([&] { ranOn = std::this_thread::get_id(); });
  });
  ASSERT_TRUE(queue.runUntil([&] { return ranOn != std::thread::id(); }));
  EXPECT_TRUE(hop.value());
  EXPECT_EQ(ranOn, std::this_thread::get_id());

  std::latch posted(1);
  auto stuck = runner.spawn([&](std::stop_token) {
    posted.count_down();
    return queue.runAndWait([] { FAIL() << "must not run after close"; });
  });
  posted.wait();
  queue.close();
  EXPECT_FALSE(stuck.value());
}

TEST(ManualMainQueue, TimersFollowTheVirtualClock) {
  testing::ManualMainQueue queue;
  std::vector<std::string> fired;
  auto repeating = queue.schedule(std::chrono::seconds(3), TimerRepeat::repeating, [&] {
    fired.push_back("poll@" + std::to_string(queue.now().count()));
  });
  auto once =
      queue.schedule(std::chrono::seconds(4), TimerRepeat::once, [&] { fired.push_back("once"); });

  queue.advanceBy(std::chrono::milliseconds(2999));
  EXPECT_TRUE(fired.empty());
  queue.advanceBy(std::chrono::milliseconds(6001));
  EXPECT_EQ(fired, (std::vector<std::string>{"poll@3000", "once", "poll@6000", "poll@9000"}));

  repeating->invalidate();
  queue.advanceBy(std::chrono::seconds(30));
  EXPECT_EQ(fired.size(), 4u);
  EXPECT_EQ(queue.activeTimerCount(), 0u);

  auto dropped =
      queue.schedule(std::chrono::seconds(1), TimerRepeat::once, [&] { fired.push_back("x"); });
  dropped.reset();
  queue.advanceBy(std::chrono::seconds(2));
  EXPECT_EQ(fired.size(), 4u) << "destroying a timer invalidates it";
}

}  // namespace
}  // namespace noru::platform::tasks
