#pragma once

#include <gtest/gtest.h>

#include "platform/tasks/runtime.h"
#include "platform/tasks/task_runner.h"
#include "support/manual_main_queue.h"

namespace noru::testing {

// Installs a manual main queue and a task runner for one test. At the end the queue closes
// (releasing threads waiting on it) and the runner joins every task it started.
class RuntimeFixture : public ::testing::Test {
 protected:
  ~RuntimeFixture() override {
    mainQueue.close();
    runner.shutdown();
  }

  ManualMainQueue mainQueue;
  platform::tasks::TaskRunner runner;

 private:
  platform::tasks::ScopedRuntime runtime_{mainQueue, runner};
};

}  // namespace noru::testing
