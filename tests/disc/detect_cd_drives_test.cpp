#include "disc/detect_cd_drives.h"

#include <gtest/gtest.h>

#include "support/captured_log.h"
#include "support/fake_optical_drives.h"

namespace noru::disc {
namespace {

using platform::linux_cd::OpticalDevice;

class DetectCDDrivesTest : public ::testing::Test {
 protected:
  std::shared_ptr<noru::testing::FakeOpticalDrives> drives =
      std::make_shared<noru::testing::FakeOpticalDrives>();
  DetectCDDrives detect{drives};
  noru::testing::CapturedLog log;
};

TEST_F(DetectCDDrivesTest, NoDrivesGivesTheTwoCountLinesAndAnEmptyList) {
  EXPECT_TRUE(detect().empty());
  EXPECT_EQ(log.lines(), (std::vector<std::string>{"DetectCDDrives: found 0 DRDevice(s)",
                                                   "DetectCDDrives: returning 0 drive(s)"}));
}

TEST_F(DetectCDDrivesTest, ListThatCannotBeObtainedGivesNothingSilently) {
  drives->deviceList = std::nullopt;
  EXPECT_TRUE(detect().empty());
  EXPECT_TRUE(log.lines().empty());
}

TEST_F(DetectCDDrivesTest, MapsEachDeviceAndLeavesOutTheNamelessOne) {
  drives->deviceList = std::vector<OpticalDevice>{
      {"HL-DT-ST DVDRAM", "/sys/devices/a/block/sr0", "present", "sr0"},
      {std::nullopt, "/sys/devices/b/block/sr1", "present", "sr1"},
      {"ASUS DRW", std::nullopt, "none", "sr2"},
      {"ASUS DRW", std::nullopt, "Present", std::nullopt},
      {"TSST TS-L633", "/sys/devices/c/block/sr4", std::nullopt, ""},
  };

  const auto list = detect();

  EXPECT_EQ(list, (std::vector<CDDrive>{
                      {"/sys/devices/a/block/sr0", "HL-DT-ST DVDRAM", "sr0", true},
                      {"ASUS DRW", "ASUS DRW", "sr2", false},
                      {"ASUS DRW", "ASUS DRW", "", false},
                      {"/sys/devices/c/block/sr4", "TSST TS-L633", "", false},
                  }));
  EXPECT_EQ(log.lines(),
            (std::vector<std::string>{
                "DetectCDDrives: found 5 DRDevice(s)",
                "DetectCDDrives: drive 'HL-DT-ST DVDRAM' id=/sys/devices/a/block/sr0 bsd=sr0 "
                "hasDisc=true",
                "DetectCDDrives: drive 'ASUS DRW' id=ASUS DRW bsd=sr2 hasDisc=false",
                "DetectCDDrives: drive 'ASUS DRW' id=ASUS DRW bsd=(none) hasDisc=false",
                "DetectCDDrives: drive 'TSST TS-L633' id=/sys/devices/c/block/sr4 bsd=(none) "
                "hasDisc=false",
                "DetectCDDrives: returning 4 drive(s)"}));
}

}  // namespace
}  // namespace noru::disc
