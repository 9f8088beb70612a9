#include "disc/eject_cd_drive.h"

#include <gtest/gtest.h>

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

  eject("/sys/devices/a/block/sr0");
  eject("ASUS DRW");  // no registry path: the product name is the id; the first one wins
  eject("/sys/devices/d/block/sr3");  // nameless drives are not listed, but can be ejected
  eject("/sys/devices/gone/block/sr9");
  EXPECT_EQ(drives->ejected, (std::vector{devices[0], devices[1], devices[3]}));

  // Without a device list there is nothing to eject.
  drives->deviceList = std::nullopt;
  eject("/sys/devices/a/block/sr0");
  EXPECT_EQ(drives->ejected.size(), 3u);
}

}  // namespace
}  // namespace noru::disc
