#pragma once

#include <QObject>
#include <QPointer>

#include <functional>
#include <stop_token>
#include <utility>

#include "platform/tasks/runtime.h"

namespace noru::ui {

// Runs `work` off the main thread and hands its result to `done` on the main thread, unless
// `receiver` (the view that asked) is gone by then. The window never waits for the work.
template <class Result>
void runInBackground(QObject* receiver, std::function<Result(std::stop_token)> work,
                     std::function<void(Result)> done) {
  platform::tasks::taskRunner().spawn([receiver = QPointer<QObject>(receiver),
                                       work = std::move(work),
                                       done = std::move(done)](std::stop_token stop) mutable {
    Result result = work(std::move(stop));
    platform::tasks::mainQueue().post(
        [receiver, done = std::move(done), result = std::move(result)]() mutable {
          if (receiver) {
            done(std::move(result));
          }
        });
  });
}

}  // namespace noru::ui
