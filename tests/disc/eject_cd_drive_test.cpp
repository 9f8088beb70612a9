#include "disc/eject_cd_drive.h"

#include <gtest/gtest.h>

#include "support/captured_log.h"
#include "support/fake_optical_drives.h"

namespace noru::disc {
namespace {

using platform::linux_cd::OpticalDevice;

class EjectCDDriveTest : public ::testing::Test {
 protected:
  EjectCDDriveTest() {
    eject.deviceList = drives;
    eject.ejector = drives;
    drives->setDevices(std::vector<OpticalDevice>{
        {"HL-DT-ST DVDRAM", "/sys/devices/a/block/sr0", "present", "sr0"},
        {"ASUS DRW", std::nullopt, "present", "sr1"},
        {"ASUS DRW", std::nullopt, "present", "sr2"},
        {std::nullopt, "/sys/devices/d/block/sr3", "none", "sr3"},
    });
  }

  std::shared_ptr<noru::testing::FakeOpticalDrives> drives =
      std::make_shared<noru::testing::FakeOpticalDrives>();
  EjectCDDrive eject;
  noru::testing::CapturedLog log;
};

TEST_F(EjectCDDriveTest, FindsTheDriveByTheSameIdentityAsDriveDetection) {
  eject("/sys/devices/a/block/sr0");
  eject("ASUS DRW");  // no registry path: the product name is the id; the first one wins
  eject("/sys/devices/d/block/sr3");  // nameless drives are not listed, but can be ejected
  ASSERT_EQ(drives->ejected().size(), 3u);
  EXPECT_EQ(drives->ejected()[0].bsdName, "sr0");
  EXPECT_EQ(drives->ejected()[1].bsdName, "sr1");
  EXPECT_EQ(drives->ejected()[2].bsdName, "sr3");
  EXPECT_EQ(log.lines(),
            (std::vector<std::string>{
                "CDRipMiddleware: ejecting disc from drive /sys/devices/a/block/sr0",
                "CDRipMiddleware: ejecting disc from drive ASUS DRW",
                "CDRipMiddleware: ejecting disc from drive /sys/devices/d/block/sr3"}));
}

TEST_F(EjectCDDriveTest, UnknownIdEjectsNothing) {
  eject("/sys/devices/gone/block/sr9");
  EXPECT_TRUE(drives->ejected().empty());
  EXPECT_EQ(log.lines(), std::vector<std::string>{"CDRipMiddleware: ejectDisc \u2014 drive not "
                                                  "found for id /sys/devices/gone/block/sr9"});
}

TEST_F(EjectCDDriveTest, NoDeviceListMeansNoEjectAndNoLine) {
  drives->setDevices(std::nullopt);
  eject("/sys/devices/a/block/sr0");
  EXPECT_TRUE(drives->ejected().empty());
  EXPECT_TRUE(log.lines().empty());
}

}  // namespace
}  // namespace noru::disc
