#include "disc/detect_cd_drives.h"

#include <gtest/gtest.h>

#include "support/fake_optical_drives.h"

namespace noru::disc {
namespace {

using platform::linux_cd::OpticalDevice;

class DetectCDDrivesTest : public ::testing::Test {
 protected:
  std::shared_ptr<noru::testing::FakeOpticalDrives> drives =
      std::make_shared<noru::testing::FakeOpticalDrives>();
  DetectCDDrives detect{drives};
};

TEST_F(DetectCDDrivesTest, MapsEachDeviceAndLeavesOutTheNamelessOne) {
  EXPECT_TRUE(detect().empty());
  drives->deviceList = std::nullopt;
  EXPECT_TRUE(detect().empty());

  drives->deviceList = std::vector<OpticalDevice>{
      {"HL-DT-ST DVDRAM", "/sys/devices/a/block/sr0", "present", "sr0"},
      {std::nullopt, "/sys/devices/b/block/sr1", "present", "sr1"},
      {"ASUS DRW", std::nullopt, "none", "sr2"},
      {"ASUS DRW", std::nullopt, "Present", std::nullopt},
      {"TSST TS-L633", "/sys/devices/c/block/sr4", std::nullopt, ""},
  };
  EXPECT_EQ(detect(), (std::vector<CDDrive>{
                          {"/sys/devices/a/block/sr0", "HL-DT-ST DVDRAM", "sr0", true},
                          {"ASUS DRW", "ASUS DRW", "sr2", false},
                          {"ASUS DRW", "ASUS DRW", "", false},
                          {"/sys/devices/c/block/sr4", "TSST TS-L633", "", false},
                      }));
}

}  // namespace
}  // namespace noru::disc
