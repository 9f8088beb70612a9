#include "platform/tasks/runtime.h"

#include <atomic>
#include <cstdlib>

namespace noru::platform::tasks {
namespace {

std::atomic<MainQueue*> installedQueue{nullptr};
std::atomic<TaskRunner*> installedRunner{nullptr};

}  // namespace

MainQueue& mainQueue() {
  MainQueue* queue = installedQueue.load(std::memory_order_acquire);
  if (queue == nullptr) {
    std::abort();  // a programming error: nothing may run before the runtime is installed
  }
  return *queue;
}

TaskRunner& taskRunner() {
  TaskRunner* runner = installedRunner.load(std::memory_order_acquire);
  if (runner == nullptr) {
    std::abort();
  }
  return *runner;
}

bool isRuntimeInstalled() {
  return installedQueue.load(std::memory_order_acquire) != nullptr;
}

ScopedRuntime::ScopedRuntime(MainQueue& mainQueue, TaskRunner& taskRunner)
    : previousQueue_(installedQueue.exchange(&mainQueue, std::memory_order_acq_rel)),
      previousRunner_(installedRunner.exchange(&taskRunner, std::memory_order_acq_rel)) {}

ScopedRuntime::~ScopedRuntime() {
  installedQueue.store(previousQueue_, std::memory_order_release);
  installedRunner.store(previousRunner_, std::memory_order_release);
}

}  // namespace noru::platform::tasks
