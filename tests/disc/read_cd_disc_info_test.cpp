#include "disc/read_cd_disc_info.h"

#include <gtest/gtest.h>

#include "disc/toc_bytes.h"
#include "support/fake_optical_drives.h"

namespace noru::disc {
namespace {

using Outcome = platform::linux_cd::FullTocReply::Outcome;

class ReadCDDiscInfoTest : public ::testing::Test {
 protected:
  std::shared_ptr<noru::testing::FakeOpticalDrives> drives =
      std::make_shared<noru::testing::FakeOpticalDrives>();
  ReadCDDiscInfo read{drives};
  CDDrive drive{"/sys/devices/x/block/sr0", "PIONEER BD-RW", "sr0", true};
};

TEST_F(ReadCDDiscInfoTest, ReadsAndParsesTheToc) {
  drives->tocReplies["sr0"] = {Outcome::ok, testing::fullToc({testing::audioTrack(1, 0, 2, 0),
                                                              testing::audioTrack(2, 2, 46, 45),
                                                              testing::leadOut(5, 0, 0)})};
  EXPECT_EQ(read(drive), (CDDiscInfo{{{1, 0, 12345}, {2, 12345, 10005}}, 22350}));
}

TEST_F(ReadCDDiscInfoTest, EachWayOfNotGettingADiscGivesNothing) {
  const auto readable =
      testing::fullToc({testing::audioTrack(1, 0, 2, 0), testing::leadOut(5, 0, 0)});
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

}  // namespace
}  // namespace noru::disc
