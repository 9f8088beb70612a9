// The bounds of the writes beside the reads, and how a failed write and a stop end them.
#include "rip/overlapped_writes.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <future>
#include <mutex>
#include <set>
#include <stdexcept>

#include "platform/tasks/cancellation_error.h"
#include "support/runtime_fixture.h"

namespace noru::rip {
namespace {

using platform::tasks::CancellationError;

std::vector<std::uint8_t> audio(std::size_t bytes) {
  return std::vector<std::uint8_t>(bytes);
}

class OverlappedWritesTest : public testing::RuntimeFixture {
 protected:
  // A write that holds its audio until the test lets its track end, or until it is stopped.
  OverlappedWrites::Write held(std::int64_t track) {
    return [this, track](std::span<const std::uint8_t>, const std::stop_token& stop) {
      std::unique_lock lock(mutex_);
      if (!changed_.wait(lock, stop, [&] { return let_.contains(track); })) {
        stopped.insert(track);
        throw CancellationError();
      }
    };
  }

  std::set<std::int64_t> stopped;  // the held writes that ended stopped, once they have ended

  // Whether `call`, made on a thread of its own, still waits a while after it began (it cannot
  // be done before its turn), and returns once `track` is let end. Raises what the call raises.
  bool waitsUntilLet(std::int64_t track, const std::function<void()>& call) {
    auto called = std::async(std::launch::async, call);
    const bool waited =
        called.wait_for(std::chrono::milliseconds(50)) == std::future_status::timeout;
    {
      std::lock_guard lock(mutex_);
      let_.insert(track);
      changed_.notify_all();
    }
    called.get();
    return waited;
  }

 private:
  std::mutex mutex_;
  std::condition_variable_any changed_;
  std::set<std::int64_t> let_;
};

TEST_F(OverlappedWritesTest, AReadWaitsForRoomBesideTheHeldAudioAndAWriteForAFreeEncoder) {
  OverlappedWrites writes({.encoders = 2, .audioBytes = 100}, {});
  writes.start(1, audio(40), held(1));
  writes.waitForRoom(60);  // 40 + 60 fit
  writes.start(2, audio(40), held(2));
  EXPECT_TRUE(waitsUntilLet(1, [&] { writes.waitForRoom(30); })) << "80 are held";
  writes.start(3, audio(30), held(3));
  EXPECT_TRUE(waitsUntilLet(2, [&] { writes.start(4, audio(1), held(4)); })) << "both encode";
  EXPECT_TRUE(waitsUntilLet(3, [&] { writes.waitFor(3); }));
  EXPECT_TRUE(waitsUntilLet(4, [&] { writes.waitForRoom(500); }))
      << "a read larger than the bound waits until nothing is held";
  writes.finish();
}

// The first failure is told once the other writes were stopped and have ended; a stop of the
// import ends a wait at once, and the writes.
TEST_F(OverlappedWritesTest, AFailedWriteStopsTheOthersAndAStopEndsTheWaits) {
  {
    OverlappedWrites writes({.encoders = 2}, {});
    writes.start(1, audio(1), held(1));
    writes.start(2, audio(1), [](std::span<const std::uint8_t>, const std::stop_token&) {
      throw std::runtime_error("encodingFailed");
    });
    EXPECT_THROW(writes.finish(), std::runtime_error);
    EXPECT_EQ(stopped, std::set<std::int64_t>{1});
  }
  std::stop_source importStop;
  {
    OverlappedWrites writes({.encoders = 1}, importStop.get_token());
    writes.start(3, audio(1), held(3));
    auto fourth = std::async(std::launch::async, [&] { writes.start(4, audio(1), held(4)); });
    importStop.request_stop();
    EXPECT_THROW(fourth.get(), CancellationError);
  }
  EXPECT_EQ(stopped, (std::set<std::int64_t>{1, 3}));
}

}  // namespace
}  // namespace noru::rip
