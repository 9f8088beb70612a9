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
using platform::tasks::CancellationError;

constexpr std::size_t kSector = 2352;

class ReadCDSectorsTest : public noru::testing::RuntimeFixture {
 protected:
  ReadCDSectorsTest() { read.device = drives; }

  // Runs the read as the import task does, off the main thread, while the test thread pumps
  // the main queue so that progress reports get through.
  platform::tasks::Task<std::vector<std::uint8_t>> startRead(std::int32_t start,
                                                             std::int32_t count) {
    return runner.spawn([this, start, count](std::stop_token) {
      return read(
          "sr0", start, count,
          [this](double fraction) {
            progress.push_back(fraction);
            progressOnMainThread = progressOnMainThread && mainQueue.isMainThread();
          },
          box);
    });
  }

  std::vector<std::uint8_t> readToEnd(std::int32_t start, std::int32_t count) {
    auto task = startRead(start, count);
    std::atomic<bool> done = false;
    auto waiter = runner.spawn([&](std::stop_token) {
      try {
        auto bytes = task.value();
        done = true;
        return bytes;
      } catch (...) {
        done = true;
        throw;
      }
    });
    EXPECT_TRUE(mainQueue.runUntil([&] { return done.load(); }));
    return waiter.value();
  }

  std::vector<std::string> sectorLines() const {
    return log.linesStartingWith("ReadCDSectors: sector ");
  }

  std::shared_ptr<noru::testing::FakeOpticalDrives> drives =
      std::make_shared<noru::testing::FakeOpticalDrives>();
  ReadCDSectors read;
  std::shared_ptr<ReadCDSectors::ReadTaskBox> box = std::make_shared<ReadCDSectors::ReadTaskBox>();
  std::vector<double> progress;  // main thread only
  bool progressOnMainThread = true;
  noru::testing::CapturedLog log;
};

TEST_F(ReadCDSectorsTest, ReadsInRequestsOfSeventyFiveAndReportsProgressOnTheMainThread) {
  const auto bytes = readToEnd(1000, 150);

  EXPECT_EQ(drives->reads(), (std::vector<AudioRead>{{40, 1000, 75}, {40, 1075, 75}}));
  EXPECT_EQ(bytes, noru::testing::FakeOpticalDrives::pattern(1000, 150));
  EXPECT_EQ(progress, (std::vector<double>{0.5, 1.0}));
  EXPECT_TRUE(progressOnMainThread);
  EXPECT_EQ(sectorLines(), std::vector<std::string>{"ReadCDSectors: sector 1150/1150 (100%)"});
  EXPECT_EQ(log.lines().front(), "ReadCDSectors: opening /dev/sr0 startSector=1000 count=150");
  EXPECT_EQ(log.lines()[1], "ReadCDSectors: device opened fd=40");
  EXPECT_EQ(log.lines().back(), "ReadCDSectors: complete \u2014 352800 bytes read");
  EXPECT_EQ(drives->opens(), 1);
  EXPECT_TRUE(drives->openDescriptors().empty());
  ASSERT_TRUE(box->value());
}

TEST_F(ReadCDSectorsTest, RequestSizesFollowTheRemainingCount) {
  EXPECT_EQ(readToEnd(0, 76).size(), 76 * kSector);
  EXPECT_EQ(drives->reads(), (std::vector<AudioRead>{{40, 0, 75}, {40, 75, 1}}));
}

TEST_F(ReadCDSectorsTest, LongReadWritesASectorLineEveryTenSeconds) {
  EXPECT_EQ(readToEnd(1000, 1500).size(), 1500 * kSector);
  EXPECT_EQ(progress.size(), 20u);
  EXPECT_EQ(sectorLines(), (std::vector<std::string>{"ReadCDSectors: sector 1750/2500 (50%)",
                                                     "ReadCDSectors: sector 2500/2500 (100%)"}));
}

TEST_F(ReadCDSectorsTest, EmptyRangeOpensAndClosesAndReportsNothing) {
  EXPECT_TRUE(readToEnd(10, 0).empty());
  EXPECT_TRUE(progress.empty());
  EXPECT_EQ(log.lines().back(), "ReadCDSectors: complete \u2014 0 bytes read");
  EXPECT_EQ(drives->opens(), 1);
  EXPECT_EQ(drives->closes(), 1);
}

TEST_F(ReadCDSectorsTest, FailingRequestClosesTheDeviceAndCarriesTheErrno) {
  drives->setReadHook([](const AudioRead& request, std::uint8_t*) {
    errno = request.firstSector == 1075 ? EIO : 0;
    return request.firstSector == 1075 ? -1 : 0;
  });
  try {
    readToEnd(1000, 150);
    FAIL() << "the read succeeded";
  } catch (const CDRipError& error) {
    EXPECT_EQ(error.kind(), CDRipError::Kind::readFailed);
    EXPECT_EQ(error.errorNumber(), EIO);
  }
  EXPECT_TRUE(log.contains("ReadCDSectors: DKIOCCDREAD failed at sector 1075 errno=5"));
  EXPECT_EQ(drives->closes(), 1);
  EXPECT_TRUE(drives->openDescriptors().empty());
  EXPECT_TRUE(log.linesStartingWith("ReadCDSectors: complete").empty());
}

TEST_F(ReadCDSectorsTest, DeviceThatDoesNotOpenIsNotFound) {
  drives->setOpenError(ENOENT);
  try {
    readToEnd(0, 75);
    FAIL() << "the read succeeded";
  } catch (const CDRipError& error) {
    EXPECT_EQ(error.kind(), CDRipError::Kind::deviceNotFound);
  }
  EXPECT_TRUE(log.contains("ReadCDSectors: open() failed for /dev/sr0 errno=2"));
  EXPECT_TRUE(drives->reads().empty());
  EXPECT_EQ(drives->closes(), 0);
}

TEST_F(ReadCDSectorsTest, RangesOutsideTheSectorSpaceFailBeforeAnythingIsOpened) {
  constexpr auto kMax = std::numeric_limits<std::int32_t>::max();
  const std::pair<std::int32_t, std::int32_t> ranges[] = {{-1, 10}, {0, -1}, {kMax - 5, 10}};
  for (const auto& [start, count] : ranges) {
    try {
      readToEnd(start, count);
      FAIL() << "read of " << start << "+" << count << " succeeded";
    } catch (const CDRipError& error) {
      EXPECT_STREQ(error.what(), "readFailed(22)");
    }
  }
  EXPECT_EQ(drives->opens(), 0);
  EXPECT_TRUE(log.lines().empty());
  EXPECT_FALSE(box->value());
}

TEST_F(ReadCDSectorsTest, CancellationDuringARequestEndsTheReadBeforeTheNext) {
  std::latch inFirstRequest(1);
  std::latch cancelled(1);
  drives->setReadHook([&](const AudioRead& request, std::uint8_t* buffer) {
    inFirstRequest.count_down();
    cancelled.wait();
    std::fill_n(buffer, request.sectors * kSector, 0);
    return 0;
  });
  auto task = startRead(1000, 150);
  ASSERT_TRUE(mainQueue.runUntil([&] { return inFirstRequest.try_wait() && box->value(); }));
  box->value()->cancel();
  cancelled.count_down();

  std::atomic<bool> ended = false;
  auto waiter = runner.spawn([&](std::stop_token) {
    try {
      task.value();
    } catch (const CancellationError&) {
      ended = true;
      return true;
    }
    ended = true;
    return false;
  });
  ASSERT_TRUE(mainQueue.runUntil([&] { return ended.load(); }));
  EXPECT_TRUE(waiter.value());
  EXPECT_EQ(drives->reads().size(), 1u);
  EXPECT_EQ(progress, std::vector<double>{0.5});
  EXPECT_EQ(drives->closes(), 1);
  EXPECT_TRUE(drives->openDescriptors().empty());
}

TEST_F(ReadCDSectorsTest, QueueClosingWhileAReportWaitsEndsTheReadAsCancelled) {
  std::latch firstRequestDone(1);
  drives->setReadHook([&](const AudioRead& request, std::uint8_t* buffer) {
    std::fill_n(buffer, request.sectors * kSector, 0);
    firstRequestDone.count_down();
    return 0;
  });
  auto task = startRead(0, 150);
  firstRequestDone.wait();
  mainQueue.close();
  EXPECT_THROW(task.value(), CancellationError);
  EXPECT_EQ(drives->reads().size(), 1u);
  EXPECT_EQ(drives->closes(), 1);
}

}  // namespace
}  // namespace noru::disc
