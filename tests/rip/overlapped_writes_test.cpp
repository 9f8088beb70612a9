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

using namespace std::chrono_literals;
using platform::tasks::CancellationError;

class OverlappedWritesTest : public testing::RuntimeFixture {
 protected:
  // A write that holds its audio until the test lets `track` end, or until it is stopped.
  OverlappedWrites::Write heldUntilLet(std::int64_t track) {
    return [this, track](std::span<const std::uint8_t>, const std::stop_token& stop) {
      std::unique_lock lock(mutex_);
      if (!changed_.wait(lock, stop, [&] { return let_.contains(track); })) {
        throw CancellationError();
      }
    };
  }
  void let(std::int64_t track) {
    std::lock_guard lock(mutex_);
    let_.insert(track);
    changed_.notify_all();
  }

 private:
  std::mutex mutex_;
  std::condition_variable_any changed_;
  std::set<std::int64_t> let_;
};

// Whether `work` is still waiting a while after it began: it cannot be done before its turn.
template <class T>
bool waits(const std::future<T>& work) {
  return work.wait_for(50ms) == std::future_status::timeout;
}

std::vector<std::uint8_t> audio(std::size_t bytes) {
  return std::vector<std::uint8_t>(bytes);
}

TEST_F(OverlappedWritesTest, AReadWaitsForRoomBesideTheHeldAudioAndAWriteForAFreeEncoder) {
  OverlappedWrites writes({.encoders = 2, .audioBytes = 100}, {});
  writes.start(1, audio(40), heldUntilLet(1));
  writes.waitForRoom(60);  // 40 + 60 fit
  writes.start(2, audio(40), heldUntilLet(2));
  auto room = std::async(std::launch::async, [&] { writes.waitForRoom(30); });
  EXPECT_TRUE(waits(room)) << "80 are held";
  let(1);
  room.get();
  writes.start(3, audio(30), heldUntilLet(3));
  auto fourth = std::async(std::launch::async, [&] { writes.start(4, audio(1), heldUntilLet(4)); });
  EXPECT_TRUE(waits(fourth)) << "two encoders are busy";
  let(2);
  fourth.get();
  auto three = std::async(std::launch::async, [&] { writes.waitFor(3); });
  EXPECT_TRUE(waits(three));
  let(3);
  three.get();
  // A read larger than the bound waits until nothing is held, then goes ahead.
  auto large = std::async(std::launch::async, [&] { writes.waitForRoom(500); });
  EXPECT_TRUE(waits(large));
  let(4);
  large.get();
  writes.finish();
}

// The first failure is told, after the other writes were stopped and have ended; a stop of
// the import ends a wait at once.
TEST_F(OverlappedWritesTest, AFailedWriteStopsTheOthersAndAStopEndsTheWaits) {
  {
    OverlappedWrites writes({.encoders = 2}, {});
    writes.start(1, audio(1), heldUntilLet(1));
    writes.start(2, audio(1), [](std::span<const std::uint8_t>, const std::stop_token&) {
      throw std::runtime_error("encodingFailed");
    });
    EXPECT_THROW(writes.finish(), std::runtime_error);
    EXPECT_TRUE(writes.stop().stop_requested());
  }
  std::stop_source importStop;
  OverlappedWrites writes({.encoders = 1}, importStop.get_token());
  writes.start(1, audio(1), heldUntilLet(1));
  auto second = std::async(std::launch::async, [&] { writes.start(2, audio(1), heldUntilLet(2)); });
  EXPECT_TRUE(waits(second));
  importStop.request_stop();
  EXPECT_THROW(second.get(), CancellationError);
  EXPECT_THROW(writes.raiseFailure(), CancellationError) << "the held write ended as stopped";
}

}  // namespace
}  // namespace noru::rip
