#include "platform/qt/qt_main_queue.h"

#include <QMetaObject>
#include <QObject>
#include <QThread>
#include <QTimer>

#include <utility>

namespace noru::platform::qt {
namespace {

class QtTimer final : public tasks::Timer {
 public:
  QtTimer(std::chrono::milliseconds interval, tasks::TimerRepeat repeat,
          tasks::MainQueue::Work tick) {
    timer_.setTimerType(Qt::PreciseTimer);
    timer_.setSingleShot(repeat == tasks::TimerRepeat::once);
    QObject::connect(&timer_, &QTimer::timeout, [tick = std::move(tick)] { tick(); });
    timer_.start(interval);
  }

  void invalidate() override { timer_.stop(); }

 private:
  QTimer timer_;
};

}  // namespace

QtMainQueue::QtMainQueue() : context_(std::make_unique<QObject>()) {}

QtMainQueue::~QtMainQueue() {
  close();
}

void QtMainQueue::post(Work work) {
  if (isClosed()) {
    return;
  }
  // Queued on the context's (main) thread, in posting order; dropped once the queue has closed.
  QMetaObject::invokeMethod(
      context_.get(),
      [this, work = std::move(work)] {
        if (!isClosed()) {
          work();
        }
      },
      Qt::QueuedConnection);
}

bool QtMainQueue::runAndWait(Work work) {
  if (isMainThread()) {
    work();
    return true;
  }
  auto done = std::make_shared<bool>(false);
  post([this, done, work = std::move(work)] {
    work();
    {
      std::lock_guard lock(mutex_);
      *done = true;
    }
    changed_.notify_all();
  });
  std::unique_lock lock(mutex_);
  changed_.wait(lock, [&] { return *done || closed_; });
  return *done;
}

std::unique_ptr<tasks::Timer> QtMainQueue::schedule(std::chrono::milliseconds interval,
                                                    tasks::TimerRepeat repeat, Work tick) {
  return std::make_unique<QtTimer>(interval, repeat, std::move(tick));
}

bool QtMainQueue::isMainThread() const {
  return QThread::currentThread() == context_->thread();
}

void QtMainQueue::close() {
  {
    std::lock_guard lock(mutex_);
    closed_ = true;
  }
  changed_.notify_all();
}

bool QtMainQueue::isClosed() const {
  std::lock_guard lock(mutex_);
  return closed_;
}

}  // namespace noru::platform::qt
