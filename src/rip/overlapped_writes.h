#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <functional>
#include <list>
#include <mutex>
#include <optional>
#include <span>
#include <stop_token>
#include <vector>

#include "platform/tasks/task.h"

namespace noru::rip {

// The track files of an import, each encoded and written on a task of its own while the drive
// reads on. The reads stay on the caller's thread, one after another; the writes run beside
// them, each on a whole track's audio, which it holds until it has ended.
//
// Memory stays bounded: at most `encoders` writes run at once, each holding one track's audio,
// and a read is begun only when its audio fits beside theirs within `audioBytes` (a read whose
// audio alone exceeds it waits until no write holds any). The caller thus holds at most one
// more track's audio, the one being read.
//
// A stop of the import, or a write that fails, ends every write still running (a write ends at
// its next check of the stop token it is given, removing what it had begun) and every wait; the
// first failure of a write is raised to the caller once all writes have ended. Every method but
// the destructor is for the reading thread only; the destructor ends and joins whatever still
// runs, so no write outlives it.
class OverlappedWrites {
 public:
  struct Bounds {
    std::size_t encoders = 1;
    std::size_t audioBytes = std::size_t{1} << 30;

    // One encoder per core, and 1 GiB of audio in all.
    static Bounds ofMachine();
    bool operator==(const Bounds&) const = default;
  };

  // Writes `pcm`, raising what the write raises; `stop` is requested when the import stops or
  // another write failed.
  using Write = std::function<void(std::span<const std::uint8_t> pcm, const std::stop_token& stop)>;

  OverlappedWrites(Bounds bounds, const std::stop_token& importStop);
  ~OverlappedWrites();
  OverlappedWrites(const OverlappedWrites&) = delete;
  OverlappedWrites& operator=(const OverlappedWrites&) = delete;

  // Requested when the import stops or a write fails: what the reads should stop on.
  std::stop_token stop() const { return stop_.get_token(); }

  // Waits until a read of `bytes` of audio may begin. Raises CancellationError once stopped, or
  // the failure of a write.
  void waitForRoom(std::size_t bytes);
  // Waits until an encoder is free, then writes `pcm` as `track`'s file on a task of its own.
  // Raises as waitForRoom does.
  void start(std::int64_t track, std::vector<std::uint8_t> pcm, Write write);
  // Waits until every write of `track` begun so far has ended.
  void waitFor(std::int64_t track);
  // Waits until every write has ended.
  void finish();
  // Raises the failure of a write if there was one (after every write has ended); call it when a
  // read was cancelled, so that a failed write is told rather than a stop.
  void raiseFailure();

 private:
  struct Running {
    std::int64_t track;
    std::size_t bytes;
    bool ended = false;
    std::optional<platform::tasks::Task<void>> task;  // set as soon as it is spawned
  };

  // Waits until `ready` holds, under `lock`. Joins the writes that ended meanwhile.
  void waitUntil(std::unique_lock<std::mutex>& lock, const std::function<bool()>& ready);
  std::size_t heldLocked() const;
  void joinEnded(std::unique_lock<std::mutex>& lock);
  void endAll();
  static void join(Running& running);
  void ended(Running& running, std::exception_ptr failure);

  const Bounds bounds_;
  std::stop_source stop_;
  std::stop_callback<std::function<void()>> passStopOn_;
  std::mutex mutex_;
  std::condition_variable_any changed_;
  std::list<Running> running_;
  std::exception_ptr failure_;
};

}  // namespace noru::rip
