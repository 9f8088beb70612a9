#include "disc/read_cd_disc_info.h"

#include <gtest/gtest.h>

#include "disc/toc_bytes.h"
#include "support/captured_log.h"
#include "support/fake_optical_drives.h"

namespace noru::disc {
namespace {

using Outcome = platform::linux_cd::FullTocReply::Outcome;

class ReadCDDiscInfoTest : public ::testing::Test {
 protected:
  std::shared_ptr<noru::testing::FakeOpticalDrives> drives =
      std::make_shared<noru::testing::FakeOpticalDrives>();
  ReadCDDiscInfo read{drives};
  noru::testing::CapturedLog log;
  CDDrive drive{"/sys/devices/x/block/sr0", "PIONEER BD-RW", "sr0", true};
};

TEST_F(ReadCDDiscInfoTest, ReadsAndParsesTheTocAndWritesEveryLine) {
  drives->tocReplies["sr0"] = {Outcome::ok, testing::fullToc({testing::audioTrack(1, 0, 2, 0),
                                                              testing::audioTrack(2, 2, 46, 45),
                                                              testing::leadOut(5, 0, 0)})};
  EXPECT_EQ(read(drive), (CDDiscInfo{{{1, 0, 12345}, {2, 12345, 10005}}, 22350}));
  EXPECT_EQ(log.lines(), (std::vector<std::string>{
                             "ReadCDDiscInfo: reading TOC for drive 'PIONEER BD-RW' bsd=sr0",
                             "ReadCDDiscInfo: found TOC property \u2014 37 bytes",
                             "ReadCDDiscInfo: parsed 2 audio track(s), totalSectors=22350",
                             "ReadCDDiscInfo:   track 1 start=0 sectors=12345 (164.6s)",
                             "ReadCDDiscInfo:   track 2 start=12345 sectors=10005 (133.4s)"}));
}

TEST_F(ReadCDDiscInfoTest, EachWayOfNotGettingADiscHasItsLinesAndGivesNothing) {
  const std::string reading = "ReadCDDiscInfo: reading TOC for drive 'PIONEER BD-RW' bsd=sr0";
  const struct {
    std::string bsdPath;
    Outcome outcome;
    std::vector<std::uint8_t> bytes;
    std::vector<std::string> lines;
  } cases[] = {
      {"",
       Outcome::ok,
       {},
       {"ReadCDDiscInfo: drive 'PIONEER BD-RW' has no BSD path \u2014 skipping"}},
      {"sr0",
       Outcome::invalidDeviceName,
       {},
       {reading, "ReadCDDiscInfo: IOBSDNameMatching failed for 'sr0'"}},
      {"sr0",
       Outcome::deviceUnavailable,
       {},
       {reading, "ReadCDDiscInfo: IOServiceGetMatchingServices failed for 'sr0'"}},
      {"sr0",
       Outcome::noToc,
       {},
       {reading, "ReadCDDiscInfo: no IOCDMedia TOC property found for 'sr0'"}},
      // A TOC that parses to nothing adds no line of its own.
      {"sr0",
       Outcome::ok,
       {0, 2, 1, 1},
       {reading, "ReadCDDiscInfo: found TOC property \u2014 4 bytes"}},
  };
  for (const auto& c : cases) {
    log.clear();
    drive.bsdPath = c.bsdPath;
    drives->tocReplies["sr0"] = {c.outcome, c.bytes};
    EXPECT_FALSE(read(drive));
    EXPECT_EQ(log.lines(), c.lines);
  }
}

}  // namespace
}  // namespace noru::disc
