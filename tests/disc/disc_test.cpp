// The disc layer: the full TOC's tracks, drive listing, eject and disc info on scripted drives,
// and reading sectors. A disc read through a drive end to end is the journeys' concern.
#include <gtest/gtest.h>

#include <array>
#include <cerrno>
#include <latch>
#include <limits>

#include "disc/cd_rip_error.h"
#include "disc/detect_cd_drives.h"
#include "disc/eject_cd_drive.h"
#include "disc/parse_full_toc.h"
#include "disc/read_cd_disc_info.h"
#include "disc/read_cd_sectors.h"
#include "platform/tasks/cancellation_error.h"
#include "support/fake_optical_drives.h"
#include "support/runtime_fixture.h"

namespace noru::disc {
namespace {

using noru::testing::FakeOpticalDrives;
using platform::linux_cd::OpticalDevice;
using AudioRead = FakeOpticalDrives::AudioRead;
using Outcome = platform::linux_cd::FullTocReply::Outcome;
using platform::tasks::CancellationError;

// One 11-byte descriptor of a full TOC.
struct Descriptor {
  std::uint8_t point, pMin, pSec, pFrame;
  std::uint8_t control = 0;  // 4: data track
  std::uint8_t session = 1;
  std::uint8_t adr = 1;
};

Descriptor audioTrack(std::uint8_t point, std::uint8_t m, std::uint8_t s, std::uint8_t f,
                      std::uint8_t session = 1) {
  return {point, m, s, f, 0, session};
}

Descriptor dataTrack(std::uint8_t point, std::uint8_t m, std::uint8_t s, std::uint8_t f,
                     std::uint8_t session = 1) {
  return {point, m, s, f, 4, session};
}

Descriptor leadOut(std::uint8_t m, std::uint8_t s, std::uint8_t f, std::uint8_t session = 1) {
  return {0xA2, m, s, f, 0, session};
}

// A full TOC with a correct length field.
std::vector<std::uint8_t> fullToc(const std::vector<Descriptor>& descriptors) {
  const std::size_t length = 2 + 11 * descriptors.size();
  std::vector<std::uint8_t> bytes = {static_cast<std::uint8_t>(length >> 8),
                                     static_cast<std::uint8_t>(length), 1, 1};
  for (const auto& d : descriptors) {
    const auto adrControl = static_cast<std::uint8_t>(d.adr << 4 | d.control);
    bytes.insert(bytes.end(),
                 {d.session, adrControl, 0, d.point, 0, 0, 0, 0, d.pMin, d.pSec, d.pFrame});
  }
  return bytes;
}

using Msf = std::array<int, 3>;  // minutes, seconds, frames

std::int32_t lba(Msf a) {
  return a[0] * 4500 + a[1] * 75 + a[2] - 150;
}

// Audio tracks numbered from 1, each starting at one address and ending at the next.
CDDiscInfo tracksBetween(const std::vector<Msf>& bounds) {
  CDDiscInfo info;
  for (std::size_t i = 0; i + 1 < bounds.size(); ++i) {
    info.tracks.push_back(
        {static_cast<std::int64_t>(i) + 1, lba(bounds[i]), lba(bounds[i + 1]) - lba(bounds[i])});
  }
  info.totalSectors = lba(bounds.back());
  return info;
}

Descriptor withAdr(Descriptor descriptor, std::uint8_t adr) {
  descriptor.adr = adr;
  return descriptor;
}

TEST(ParseFullTOC, TracksFollowFromTheDescriptorsOfBytesConsistentWithTheirLength) {
  const struct {
    const char* what;
    std::vector<Descriptor> toc;
    std::optional<CDDiscInfo> expected;
  } cases[] = {
      {"one track from 00:02:00 to 70:00:00",
       {audioTrack(1, 0, 2, 0), leadOut(70, 0, 0)},
       CDDiscInfo{{{1, 0, 314850}}, 314850}},
      {"out of POINT order",
       {leadOut(20, 0, 0), audioTrack(3, 10, 0, 0), audioTrack(1, 0, 2, 0), audioTrack(2, 5, 0, 0)},
       tracksBetween({{0, 2, 0}, {5, 0, 0}, {10, 0, 0}, {20, 0, 0}})},
      {"equal addresses drop the first, numbering stays consecutive",
       {audioTrack(1, 0, 2, 0), audioTrack(2, 3, 0, 0), audioTrack(3, 3, 0, 0), leadOut(6, 0, 0)},
       tracksBetween({{0, 2, 0}, {3, 0, 0}, {6, 0, 0}})},
      {"ADR 5 lead-out is ignored and the last track dropped",
       {audioTrack(1, 0, 2, 0), audioTrack(2, 4, 0, 0), withAdr(leadOut(10, 0, 0), 5)},
       tracksBetween({{0, 2, 0}, {4, 0, 0}})},
      {"ADR 5 track is no track",
       {audioTrack(1, 0, 2, 0), withAdr(audioTrack(2, 4, 0, 0), 5), leadOut(9, 0, 0)},
       tracksBetween({{0, 2, 0}, {9, 0, 0}})},
      {"no audio track", {dataTrack(1, 0, 2, 0), leadOut(10, 0, 0)}, std::nullopt},
      {"first track data",
       {dataTrack(1, 0, 2, 0), audioTrack(2, 15, 0, 0), audioTrack(3, 25, 0, 0), leadOut(30, 0, 0)},
       tracksBetween({{15, 0, 0}, {25, 0, 0}, {30, 0, 0}})},
      // An Enhanced CD: the last audio track ends at its own session's lead-out, neither
      // running across the session gap nor into the data track.
      {"enhanced CD",
       {audioTrack(1, 0, 2, 0, 1), audioTrack(2, 20, 0, 0, 1), leadOut(40, 0, 0, 1),
        dataTrack(3, 42, 32, 0, 2), leadOut(60, 0, 0, 2)},
       tracksBetween({{0, 2, 0}, {20, 0, 0}, {40, 0, 0}})},
      {"audio followed by data of its session",
       {audioTrack(1, 0, 2, 0), audioTrack(2, 10, 0, 0), dataTrack(3, 30, 0, 0), leadOut(50, 0, 0)},
       tracksBetween({{0, 2, 0}, {10, 0, 0}, {30, 0, 0}})},
      {"session lead-out ahead of the data track",
       {audioTrack(1, 0, 2, 0), leadOut(25, 0, 0), dataTrack(2, 30, 0, 0)},
       tracksBetween({{0, 2, 0}, {25, 0, 0}})},
      {"session without an ADR 1 lead-out keeps the disc-wide rule",
       {audioTrack(1, 0, 2, 0, 1), withAdr(leadOut(20, 0, 0, 1), 5), audioTrack(2, 22, 0, 0, 2),
        leadOut(30, 0, 0, 2)},
       tracksBetween({{0, 2, 0}, {22, 0, 0}, {30, 0, 0}})},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(parseFullTOC(fullToc(c.toc)), c.expected) << c.what;
  }

  // A length field below 13 leaves no room for a descriptor.
  EXPECT_FALSE(
      parseFullTOC(std::vector<std::uint8_t>{0, 12, 1, 1, 1, 0x10, 0, 1, 0, 0, 0, 0, 0, 2, 0}));
  const auto valid = fullToc({audioTrack(1, 0, 2, 0), leadOut(10, 0, 0)});
  ASSERT_TRUE(parseFullTOC(valid));
  for (std::size_t size = 0; size < valid.size(); ++size) {
    EXPECT_FALSE(parseFullTOC(std::span(valid).first(size))) << "prefix of " << size;
  }
}

class DriveOperationsTest : public ::testing::Test {
 protected:
  std::shared_ptr<FakeOpticalDrives> drives = std::make_shared<FakeOpticalDrives>();
};

TEST_F(DriveOperationsTest, DetectionAndEjectKnowADriveByTheSameIdentity) {
  DetectCDDrives detect{drives};
  EjectCDDrive eject{drives};
  drives->deviceList = std::nullopt;
  EXPECT_TRUE(detect().empty());
  eject("/sys/devices/a/block/sr0");

  const std::vector<OpticalDevice> devices{
      {"HL-DT-ST DVDRAM", "/sys/devices/a/block/sr0", "present", "sr0"},
      {std::nullopt, "/sys/devices/b/block/sr1", "present", "sr1"},
      {"ASUS DRW", std::nullopt, "none", "sr2"},
      {"ASUS DRW", std::nullopt, "Present", std::nullopt},
      {"TSST TS-L633", "/sys/devices/c/block/sr4", std::nullopt, ""},
  };
  drives->deviceList = devices;
  EXPECT_EQ(detect(), (std::vector<CDDrive>{
                          {"/sys/devices/a/block/sr0", "HL-DT-ST DVDRAM", "sr0", true},
                          {"ASUS DRW", "ASUS DRW", "sr2", false},
                          {"ASUS DRW", "ASUS DRW", "", false},
                          {"/sys/devices/c/block/sr4", "TSST TS-L633", "", false},
                      }));
  eject("/sys/devices/a/block/sr0");
  eject("ASUS DRW");  // no registry path: the product name is the id; the first one wins
  eject("/sys/devices/b/block/sr1");  // a nameless drive is not listed, but can be ejected
  eject("/sys/devices/gone/block/sr9");
  EXPECT_EQ(drives->ejected(), (std::vector{devices[0], devices[2], devices[1]}));
}

TEST_F(DriveOperationsTest, EachWayOfNotGettingADiscGivesNoDiscInfo) {
  ReadCDDiscInfo read{drives};
  CDDrive drive{"/sys/devices/x/block/sr0", "PIONEER BD-RW", "sr0", true};
  const auto readable = fullToc({audioTrack(1, 0, 2, 0), leadOut(5, 0, 0)});
  const struct {
    std::string bsdPath;
    Outcome outcome;
    std::vector<std::uint8_t> bytes;
  } cases[] = {
      {"", Outcome::ok, readable},  // a drive without a device name is not asked
      {"sr0", Outcome::invalidDeviceName, readable},
      {"sr0", Outcome::deviceUnavailable, readable},
      {"sr0", Outcome::noToc, readable},
      {"sr0", Outcome::ok, {0, 2, 1, 1}},  // a TOC that parses to nothing
  };
  for (const auto& c : cases) {
    drive.bsdPath = c.bsdPath;
    drives->tocReplies[c.bsdPath] = {c.outcome, c.bytes};
    EXPECT_FALSE(read(drive)) << "'" << c.bsdPath << "' " << static_cast<int>(c.outcome);
  }
}

class ReadCDSectorsTest : public noru::testing::RuntimeFixture {
 protected:
  // Reads off the main thread, as the import task does, while the test thread pumps the main
  // queue so that progress reports get through.
  SectorsRead readToEnd(std::int32_t start, std::int32_t count) {
    auto task = runner.spawn([this, start, count](std::stop_token) {
      DiscReader reader(drives, "sr0", {0, 100000}, true);
      return read(
          reader, start, count,
          [this](double fraction) {
            EXPECT_TRUE(mainQueue.isMainThread());
            progress.push_back(fraction);
          },
          stop.get_token());
    });
    EXPECT_TRUE(mainQueue.runUntil([&] { return task.hasEnded(); }));
    return task.value();
  }

  std::string errorOf(std::int32_t start, std::int32_t count) {
    try {
      readToEnd(start, count);
    } catch (const CDRipError& error) {
      return error.what();
    }
    return "";
  }

  std::shared_ptr<FakeOpticalDrives> drives = std::make_shared<FakeOpticalDrives>();
  ReadCDSectors read;
  std::stop_source stop;
  std::vector<double> progress;  // main thread only
};

// Requests of at most 75 sectors, each followed by its progress report on the main thread.
TEST_F(ReadCDSectorsTest, RequestsOfAtMost75SectorsEachFollowedByItsProgress) {
  const auto clean = readToEnd(1000, 151);
  EXPECT_EQ(clean.audio, FakeOpticalDrives::pattern(1000, 151));
  EXPECT_TRUE(clean.suspects.empty());
  EXPECT_EQ(drives->reads, (std::vector<AudioRead>{{40, 1000, 75}, {40, 1075, 75}, {40, 1150, 1}}));
  EXPECT_EQ(progress, (std::vector{75 / 151.0, 150 / 151.0, 1.0}));
}

// A drive that cannot be opened or a range outside the sector space (before anything is read)
// fails the read.
TEST_F(ReadCDSectorsTest, AMissingDriveOrAnImpossibleRangeFailsTheRead) {
  constexpr auto kMax = std::numeric_limits<std::int32_t>::max();
  const std::pair<std::int32_t, std::int32_t> ranges[] = {{-1, 10}, {0, -1}, {kMax - 5, 10}};
  for (const auto& [start, count] : ranges) {
    EXPECT_EQ(errorOf(start, count), "readFailed(22)") << start << "+" << count;
  }
  EXPECT_TRUE(drives->reads.empty());

  drives->openError = ENOENT;
  EXPECT_EQ(errorOf(0, 75), "deviceNotFound");
  EXPECT_EQ(drives->opens, drives->closes) << "nothing was opened to close";
}

// A stop, and a progress report that the quitting application will never run, end the read
// after the request under way.
TEST_F(ReadCDSectorsTest, AStopOrAQuittingApplicationEndsTheReadAfterTheRequestUnderWay) {
  std::latch firstRequestDone(1);
  drives->readHook = [&](const AudioRead&, std::uint8_t*) {
    stop.request_stop();
    return 0;
  };
  EXPECT_THROW(readToEnd(1000, 150), CancellationError);
  EXPECT_EQ(progress, std::vector<double>{0.5});

  stop = std::stop_source();
  drives->readHook = [&](const AudioRead&, std::uint8_t*) {
    firstRequestDone.count_down();
    return 0;
  };
  auto task = runner.spawn([this](std::stop_token) {
    DiscReader reader(drives, "sr0", {0, 150}, true);
    return read(
        reader, 0, 150, [](double) {}, stop.get_token());
  });
  firstRequestDone.wait();
  mainQueue.close();
  EXPECT_THROW(task.value(), CancellationError);
  EXPECT_EQ(drives->reads.size(), 2u) << "one request each";
  EXPECT_EQ(drives->closes, 2);
}

}  // namespace
}  // namespace noru::disc
