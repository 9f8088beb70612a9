#pragma once

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <stop_token>

namespace noru::musicbrainz {

// Spaces requests at least `interval` apart across every caller that shares it: each caller
// takes the next free turn and waits for it. A caller stopped while waiting gives up its turn
// with platform::tasks::CancellationError; the turn stays taken, which only errs on the slow
// side.
class RateLimiter {
 public:
  using TimePoint = std::chrono::steady_clock::time_point;

  // Where the limiter reads the time and waits; tests hand it a virtual clock.
  class Clock {
   public:
    virtual ~Clock() = default;
    virtual TimePoint now() = 0;
    // Returns once `time` has come, or early (false) once `stop` is requested.
    virtual bool sleepUntil(TimePoint time, std::stop_token stop) = 0;
  };

  explicit RateLimiter(std::chrono::milliseconds interval,
                       std::shared_ptr<Clock> clock = steadyClock());

  // Blocks until this caller's turn; raises platform::tasks::CancellationError when `stop` is
  // requested first.
  void waitForTurn(std::stop_token stop);

  // The one limiter of every request the program sends to the MusicBrainz web service, which
  // asks its clients for at most one a second.
  static std::shared_ptr<RateLimiter> musicBrainz();

  static std::shared_ptr<Clock> steadyClock();

 private:
  std::chrono::milliseconds interval_;
  std::shared_ptr<Clock> clock_;
  std::mutex mutex_;
  TimePoint nextTurn_{};
};

}  // namespace noru::musicbrainz
