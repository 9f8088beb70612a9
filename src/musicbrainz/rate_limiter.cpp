#include "musicbrainz/rate_limiter.h"

#include <algorithm>

#include "platform/tasks/cancellation_error.h"

namespace noru::musicbrainz {
namespace {

class SteadyClock final : public RateLimiter::Clock {
 public:
  RateLimiter::TimePoint now() override { return std::chrono::steady_clock::now(); }

  bool sleepUntil(RateLimiter::TimePoint time, std::stop_token stop) override {
    std::mutex mutex;
    std::unique_lock lock(mutex);
    std::condition_variable_any never;
    never.wait_until(lock, stop, time, [] { return false; });
    return !stop.stop_requested();
  }
};

}  // namespace

RateLimiter::RateLimiter(std::chrono::milliseconds interval, std::shared_ptr<Clock> clock)
    : interval_(interval), clock_(std::move(clock)) {}

void RateLimiter::waitForTurn(std::stop_token stop) {
  TimePoint turn;
  {
    std::lock_guard lock(mutex_);
    turn = std::max(clock_->now(), nextTurn_);
    nextTurn_ = turn + interval_;
  }
  if (!clock_->sleepUntil(turn, stop) || stop.stop_requested()) {
    throw platform::tasks::CancellationError();
  }
}

std::shared_ptr<RateLimiter> RateLimiter::musicBrainz() {
  static const auto shared = std::make_shared<RateLimiter>(std::chrono::seconds(1));
  return shared;
}

std::shared_ptr<RateLimiter::Clock> RateLimiter::steadyClock() {
  static const auto clock = std::make_shared<SteadyClock>();
  return clock;
}

}  // namespace noru::musicbrainz
