#include "disc/eject_cd_drive.h"

#include <gtest/gtest.h>

#include "support/captured_log.h"
#include "support/fake_optical_drives.h"

namespace noru::disc {
namespace {

using platform::linux_cd::OpticalDevice;

TEST(EjectCDDrive, FindsTheDriveByTheSameIdentityAsDriveDetection) {
  const std::vector<OpticalDevice> devices{
      {"HL-DT-ST DVDRAM", "/sys/devices/a/block/sr0", "present", "sr0"},
      {"ASUS DRW", std::nullopt, "present", "sr1"},
      {"ASUS DRW", std::nullopt, "present", "sr2"},
      {std::nullopt, "/sys/devices/d/block/sr3", "none", "sr3"},
  };
  auto drives = std::make_shared<noru::testing::FakeOpticalDrives>();
  drives->deviceList = devices;
  EjectCDDrive eject{drives};
  noru::testing::CapturedLog log;

  eject("/sys/devices/a/block/sr0");
  eject("ASUS DRW");  // no registry path: the product name is the id; the first one wins
  eject("/sys/devices/d/block/sr3");  // nameless drives are not listed, but can be ejected
  eject("/sys/devices/gone/block/sr9");
  EXPECT_EQ(drives->ejected, (std::vector{devices[0], devices[1], devices[3]}));
  EXPECT_EQ(log.lines(), (std::vector<std::string>{
                             "CDRipMiddleware: ejecting disc from drive /sys/devices/a/block/sr0",
                             "CDRipMiddleware: ejecting disc from drive ASUS DRW",
                             "CDRipMiddleware: ejecting disc from drive /sys/devices/d/block/sr3",
                             "CDRipMiddleware: ejectDisc \u2014 drive not found for id "
                             "/sys/devices/gone/block/sr9"}));

  // Without a device list there is nothing to eject and nothing to say.
  drives->deviceList = std::nullopt;
  log.clear();
  eject("/sys/devices/a/block/sr0");
  EXPECT_EQ(drives->ejected.size(), 3u);
  EXPECT_TRUE(log.lines().empty());
}

}  // namespace
}  // namespace noru::disc
