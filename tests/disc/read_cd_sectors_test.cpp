#include "disc/read_cd_sectors.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <latch>
#include <limits>

#include "disc/cd_rip_error.h"
#include "platform/tasks/cancellation_error.h"
#include "support/captured_log.h"
#include "support/fake_optical_drives.h"
#include "support/runtime_fixture.h"

namespace noru::disc {
namespace {

using AudioRead = noru::testing::FakeOpticalDrives::AudioRead;
using noru::testing::FakeOpticalDrives;
using platform::tasks::CancellationError;

class ReadCDSectorsTest : public noru::testing::RuntimeFixture {
 protected:
  // Starts the read off the main thread, as the import task does; `ended` turns true however
  // it ends.
  platform::tasks::Task<std::vector<std::uint8_t>> startRead(std::int32_t start,
                                                             std::int32_t count) {
    ended = false;
    return runner.spawn([this, start, count](std::stop_token) {
      struct MarkEnded {
        std::atomic<bool>& ended;
        ~MarkEnded() { ended = true; }
      } mark{ended};
      return read(
          "sr0", start, count,
          [this](double fraction) {
            EXPECT_TRUE(mainQueue.isMainThread());
            progress.push_back(fraction);
          },
          box);
    });
  }

  // Reads while the test thread pumps the main queue, so that progress reports get through.
  std::vector<std::uint8_t> readToEnd(std::int32_t start, std::int32_t count) {
    auto task = startRead(start, count);
    EXPECT_TRUE(mainQueue.runUntil([&] { return ended.load(); }));
    return task.value();
  }

  // The CDRipError the read raises, as text; empty when it succeeds.
  std::string errorOf(std::int32_t start, std::int32_t count) {
    try {
      readToEnd(start, count);
    } catch (const CDRipError& error) {
      return error.what();
    }
    return "";
  }

  std::shared_ptr<FakeOpticalDrives> drives = std::make_shared<FakeOpticalDrives>();
  ReadCDSectors read{drives};
  std::shared_ptr<ReadCDSectors::ReadTaskBox> box = std::make_shared<ReadCDSectors::ReadTaskBox>();
  std::atomic<bool> ended = false;
  std::vector<double> progress;  // main thread only
  noru::testing::CapturedLog log;
};

// Requests of at most 75 sectors, each followed by its progress report on the main thread; a
// line every 750 sectors and at the end.
TEST_F(ReadCDSectorsTest, RequestsProgressAndSectorLinesFollowTheCount) {
  const struct {
    std::int32_t start, count;
    std::vector<int> requestSizes;
    std::vector<std::string> sectorLines;
  } cases[] = {
      {1000, 150, {75, 75}, {"ReadCDSectors: sector 1150/1150 (100%)"}},
      {0, 76, {75, 1}, {"ReadCDSectors: sector 76/76 (100%)"}},
      {1000,
       1500,
       std::vector<int>(20, 75),
       {"ReadCDSectors: sector 1750/2500 (50%)", "ReadCDSectors: sector 2500/2500 (100%)"}},
      {10, 0, {}, {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.count);
    drives = std::make_shared<FakeOpticalDrives>();
    read.device = drives;
    box = std::make_shared<ReadCDSectors::ReadTaskBox>();
    progress.clear();
    log.clear();
    EXPECT_EQ(readToEnd(c.start, c.count), FakeOpticalDrives::pattern(c.start, c.count));
    std::vector<AudioRead> requests;
    std::vector<double> fractions;
    std::int32_t done = 0;
    for (const int sectors : c.requestSizes) {
      requests.push_back({40, c.start + done, sectors});
      done += sectors;
      fractions.push_back(static_cast<double>(done) / c.count);
    }
    EXPECT_EQ(drives->reads, requests);
    EXPECT_EQ(progress, fractions);
    EXPECT_EQ(log.linesStartingWith("ReadCDSectors: sector "), c.sectorLines);
    EXPECT_EQ(drives->opens, 1);
    EXPECT_EQ(drives->closes, 1);
    EXPECT_TRUE(box->value()) << "the caller can cancel the read task";
  }
}

TEST_F(ReadCDSectorsTest, FailuresCloseTheDeviceAndCarryTheirCause) {
  drives->readHook = [](const AudioRead& request, std::uint8_t*) {
    errno = EIO;
    return request.firstSector == 1075 ? -1 : 0;
  };
  EXPECT_EQ(errorOf(1000, 150), "readFailed(5)");
  EXPECT_EQ(drives->closes, 1);

  drives->openError = ENOENT;
  EXPECT_EQ(errorOf(0, 75), "deviceNotFound");
  EXPECT_EQ(drives->reads.size(), 2u);
  EXPECT_EQ(drives->closes, 1) << "nothing was opened to close";
}

TEST_F(ReadCDSectorsTest, RangesOutsideTheSectorSpaceFailBeforeAnythingIsOpened) {
  constexpr auto kMax = std::numeric_limits<std::int32_t>::max();
  const std::pair<std::int32_t, std::int32_t> ranges[] = {{-1, 10}, {0, -1}, {kMax - 5, 10}};
  for (const auto& [start, count] : ranges) {
    EXPECT_EQ(errorOf(start, count), "readFailed(22)") << start << "+" << count;
  }
  EXPECT_EQ(drives->opens, 0);
  EXPECT_FALSE(box->value());
}

TEST_F(ReadCDSectorsTest, CancellationDuringARequestEndsTheReadBeforeTheNext) {
  std::latch inFirstRequest(1);
  std::latch cancelled(1);
  drives->readHook = [&](const AudioRead&, std::uint8_t*) {
    inFirstRequest.count_down();
    cancelled.wait();
    return 0;
  };
  auto task = startRead(1000, 150);
  ASSERT_TRUE(mainQueue.runUntil([&] { return inFirstRequest.try_wait() && box->value(); }));
  box->value()->cancel();
  cancelled.count_down();

  ASSERT_TRUE(mainQueue.runUntil([&] { return ended.load(); }));
  EXPECT_THROW(task.value(), CancellationError);
  EXPECT_EQ(drives->reads.size(), 1u);
  EXPECT_EQ(progress, std::vector<double>{0.5});
  EXPECT_EQ(drives->closes, 1);
}

// A progress report that the quitting application will never run must not hold the read.
TEST_F(ReadCDSectorsTest, QueueClosingWhileAReportWaitsEndsTheReadAsCancelled) {
  std::latch firstRequestDone(1);
  drives->readHook = [&](const AudioRead&, std::uint8_t*) {
    firstRequestDone.count_down();
    return 0;
  };
  auto task = startRead(0, 150);
  firstRequestDone.wait();
  mainQueue.close();
  EXPECT_THROW(task.value(), CancellationError);
  EXPECT_EQ(drives->reads.size(), 1u);
  EXPECT_EQ(drives->closes, 1);
}

}  // namespace
}  // namespace noru::disc
