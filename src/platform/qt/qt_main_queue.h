#pragma once

#include <condition_variable>
#include <memory>
#include <mutex>

#include "platform/tasks/main_queue.h"

class QObject;

namespace noru::platform::qt {

// The main queue on the Qt event loop of the thread that creates it (the GUI thread): posted
// work runs as queued events, timers are QTimers. Create it after QCoreApplication; it must
// outlive everything that posts to it.
class QtMainQueue final : public tasks::MainQueue {
 public:
  QtMainQueue();
  ~QtMainQueue() override;
  QtMainQueue(const QtMainQueue&) = delete;
  QtMainQueue& operator=(const QtMainQueue&) = delete;

  void post(Work work) override;
  bool runAndWait(Work work) override;
  std::unique_ptr<tasks::Timer> schedule(std::chrono::milliseconds interval,
                                         tasks::TimerRepeat repeat, Work tick) override;
  bool isMainThread() const override;
  void close() override;

 private:
  bool isClosed() const;

  std::unique_ptr<QObject> context_;  // lives on the main thread; queued work runs in its name
  mutable std::mutex mutex_;
  std::condition_variable changed_;
  bool closed_ = false;
};

}  // namespace noru::platform::qt
