#include "platform/qt/qt_main_queue.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>

#include <thread>
#include <vector>

namespace noru::platform::qt {
namespace {

// Runs the Qt event loop until `done` holds (or a generous real-time limit passes).
template <class Done>
bool spinUntil(Done done) {
  QEventLoop loop;
  QTimer check;
  QObject::connect(&check, &QTimer::timeout, [&] {
    if (done()) {
      loop.quit();
    }
  });
  check.start(1);
  QTimer::singleShot(20000, &loop, &QEventLoop::quit);
  loop.exec();
  return done();
}

TEST(QtMainQueue, RunsWorkInOrderOnTheGuiThreadAndReleasesWaitersWhenClosed) {
  QtMainQueue queue;
  std::vector<int> order;
  queue.post([&] { order.push_back(1); });
  bool ran = false;
  std::thread background([&] {
    queue.post([&] { order.push_back(2); });
    ran = queue.runAndWait([&] { order.push_back(3); });
  });
  EXPECT_TRUE(spinUntil([&] { return order.size() == 3; }));
  background.join();
  EXPECT_TRUE(ran);
  EXPECT_EQ(order, (std::vector<int>{1, 2, 3}));

  int ticks = 0;
  auto repeating =
      queue.schedule(std::chrono::milliseconds(1), tasks::TimerRepeat::repeating, [&] { ++ticks; });
  EXPECT_TRUE(spinUntil([&] { return ticks >= 3; }));
  repeating->invalidate();

  // A thread waiting for a turn that never comes (the loop is not running here) is released
  // when the application quits.
  bool waited = true;
  std::thread waiter([&] { waited = queue.runAndWait([] {}); });
  queue.close();
  waiter.join();
  EXPECT_FALSE(waited);
  queue.post([&] { order.push_back(4); });
  QCoreApplication::processEvents();
  EXPECT_EQ(order.size(), 3u) << "work posted after the close is dropped";
}

}  // namespace
}  // namespace noru::platform::qt
