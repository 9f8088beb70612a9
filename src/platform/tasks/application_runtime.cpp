#include "platform/tasks/application_runtime.h"

namespace noru::platform::tasks {

ApplicationRuntime::ApplicationRuntime(MainQueue& mainQueue)
    : mainQueue_(mainQueue), installed_(mainQueue_, taskRunner_) {}

ApplicationRuntime::~ApplicationRuntime() {
  quit();
}

void ApplicationRuntime::quit(const std::function<void()>& stopSources) {
  if (quit_) {
    return;
  }
  quit_ = true;
  mainQueue_.close();
  if (stopSources) {
    stopSources();
  }
  taskRunner_.shutdown();
}

}  // namespace noru::platform::tasks
