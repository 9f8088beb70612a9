#pragma once

#include <optional>

#include "platform/tasks/task.h"

namespace noru::middleware {

// The import task of the application, shared by every copy of the ripping middleware. Main
// thread only.
class RipTaskHolder {
 public:
  // The handle of the running import, until it is cancelled or the next import starts.
  std::optional<platform::tasks::TaskHandle> task;
  // Whether the artist folder held a folder.jpg before the last import started. An import
  // never replaces one, so only without it may a clean-up take the picture away.
  bool artistPictureWasThere = false;

  // Keeps `import` as the running import.
  void hold(platform::tasks::Task<void> import) {
    task = import.handle();
    lastImport_ = std::move(import);
  }

  // Asks the running import to stop, without waiting for it, and forgets its handle.
  void cancel() {
    if (task) {
      task->cancel();
    }
    task.reset();
  }

  // Whether the last import started has not returned yet, cancelled or not: a cancelled import
  // still finishes its current step (and reports its end) before it returns.
  bool isImportRunning() const { return lastImport_ && !lastImport_->hasEnded(); }

 private:
  std::optional<platform::tasks::Task<void>> lastImport_;
};

}  // namespace noru::middleware
