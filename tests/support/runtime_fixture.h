#pragma once

#include <gtest/gtest.h>

#include "platform/tasks/application_runtime.h"
#include "support/manual_main_queue.h"

namespace noru::testing {

// Installs a manual main queue and a task runner for one test, and ends them as the
// application does: the queue closes (releasing threads waiting on it), then the runner joins
// every task it started.
class RuntimeFixture : public ::testing::Test {
 protected:
  ManualMainQueue mainQueue;
  platform::tasks::ApplicationRuntime runtime{mainQueue};
  platform::tasks::TaskRunner& runner = runtime.taskRunner();
};

}  // namespace noru::testing
