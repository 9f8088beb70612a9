#include "disc/read_cd_disc_info.h"

#include <gtest/gtest.h>

#include "disc/toc_bytes.h"
#include "support/captured_log.h"
#include "support/fake_optical_drives.h"

namespace noru::disc {
namespace {

using platform::linux_cd::FullTocReply;
using Outcome = FullTocReply::Outcome;

class ReadCDDiscInfoTest : public ::testing::Test {
 protected:
  ReadCDDiscInfoTest() { read.tocSource = drives; }

  std::shared_ptr<noru::testing::FakeOpticalDrives> drives =
      std::make_shared<noru::testing::FakeOpticalDrives>();
  ReadCDDiscInfo read;
  noru::testing::CapturedLog log;
  CDDrive drive{"/sys/devices/x/block/sr0", "PIONEER BD-RW", "sr0", true};
};

TEST_F(ReadCDDiscInfoTest, ReadsAndParsesTheTocAndWritesEveryLine) {
  const auto toc = testing::fullToc({testing::audioTrack(1, 0, 2, 0),
                                     testing::audioTrack(2, 2, 46, 45), testing::leadOut(5, 0, 0)});
  drives->setTocReply("sr0", {Outcome::ok, toc});

  const auto info = read(drive);

  ASSERT_TRUE(info);
  EXPECT_EQ(*info, (CDDiscInfo{{{1, 0, 12345}, {2, 12345, 10005}}, 22350}));
  EXPECT_EQ(drives->tocRequests(), std::vector<std::string>{"sr0"});
  EXPECT_EQ(log.lines(), (std::vector<std::string>{
                             "ReadCDDiscInfo: reading TOC for drive 'PIONEER BD-RW' bsd=sr0",
                             "ReadCDDiscInfo: found TOC property \u2014 37 bytes",
                             "ReadCDDiscInfo: parsed 2 audio track(s), totalSectors=22350",
                             "ReadCDDiscInfo:   track 1 start=0 sectors=12345 (164.6s)",
                             "ReadCDDiscInfo:   track 2 start=12345 sectors=10005 (133.4s)"}));
}

TEST_F(ReadCDDiscInfoTest, DriveWithoutBsdPathIsSkippedWithoutAsking) {
  drive.bsdPath = "";
  EXPECT_FALSE(read(drive));
  EXPECT_TRUE(drives->tocRequests().empty());
  EXPECT_EQ(log.lines(),
            std::vector<std::string>{
                "ReadCDDiscInfo: drive 'PIONEER BD-RW' has no BSD path \u2014 skipping"});
}

TEST_F(ReadCDDiscInfoTest, EachWayOfNotGettingATocHasItsLineAndGivesNothing) {
  const std::pair<Outcome, std::string> cases[] = {
      {Outcome::invalidDeviceName, "ReadCDDiscInfo: IOBSDNameMatching failed for 'sr0'"},
      {Outcome::deviceUnavailable, "ReadCDDiscInfo: IOServiceGetMatchingServices failed for 'sr0'"},
      {Outcome::noToc, "ReadCDDiscInfo: no IOCDMedia TOC property found for 'sr0'"},
  };
  for (const auto& [outcome, line] : cases) {
    log.clear();
    drives->setTocReply("sr0", {outcome, {}});
    EXPECT_FALSE(read(drive));
    EXPECT_EQ(log.lines(),
              (std::vector<std::string>{
                  "ReadCDDiscInfo: reading TOC for drive 'PIONEER BD-RW' bsd=sr0", line}));
  }
}

TEST_F(ReadCDDiscInfoTest, TocThatParsesToNothingGivesNoFurtherLine) {
  drives->setTocReply("sr0", {Outcome::ok, {0, 2, 1, 1}});
  EXPECT_FALSE(read(drive));
  EXPECT_EQ(log.lines().back(), "ReadCDDiscInfo: found TOC property \u2014 4 bytes");
  EXPECT_TRUE(log.linesStartingWith("ReadCDDiscInfo: parsed").empty());
}

}  // namespace
}  // namespace noru::disc
