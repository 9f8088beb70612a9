#include "platform/linux/linux_drives.h"

#include <gtest/gtest.h>
#include <linux/cdrom.h>

#include <cerrno>
#include <filesystem>

#include "platform/linux/udev_enumeration.h"
#include "platform/linux/udev_monitor.h"
#include "support/runtime_fixture.h"
#include "support/scripted_system_calls.h"

namespace noru::platform::linux_cd {
namespace {

UdevDeviceFacts blockDevice(std::string name, std::string devtype, bool cdrom) {
  UdevDeviceFacts facts;
  facts.syspath = "/sys/devices/x/block/" + name;
  facts.sysname = name;
  facts.devnode = "/dev/" + name;
  facts.devtype = std::move(devtype);
  facts.cdromProperty = cdrom ? "1" : "0";
  facts.vendorAttribute = "Vendor";
  facts.modelAttribute = "Model " + name;
  return facts;
}

std::size_t entriesIn(const char* folder) {
  std::size_t count = 0;
  for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(folder)) {
    ++count;
  }
  return count;
}

class LinuxDrivesTest : public noru::testing::RuntimeFixture {
 protected:
  LinuxDrivesTest() {
    drives.calls = &calls;
    calls.onOpen = [](const char* path, int) {
      return std::string(path) == "/dev/sr1" ? 901 : 900;
    };
  }

  noru::testing::ScriptedSystemCalls calls;
  LinuxDrives drives;
};

TEST_F(LinuxDrivesTest, ListsOnlyOpticalDisksWithTheirMediaState) {
  drives.enumerateBlockDevices = [] {
    return std::vector{blockDevice("sda", "disk", false), blockDevice("sr0", "disk", true),
                       blockDevice("sr0p1", "partition", true), blockDevice("sr1", "disk", true)};
  };
  calls.onIoctlValue = [](int descriptor, unsigned long, long) {
    return descriptor == 901 ? CDS_DISC_OK : CDS_TRAY_OPEN;
  };
  EXPECT_EQ(drives.devices(),
            (std::vector<OpticalDevice>{
                {"Vendor Model sr0", "/sys/devices/x/block/sr0", kMediaTrayOpen, "sr0"},
                {"Vendor Model sr1", "/sys/devices/x/block/sr1", kMediaPresent, "sr1"}}));
  EXPECT_EQ(calls.opened(), 2);
  EXPECT_TRUE(calls.stillOpen().empty());

  drives.enumerateBlockDevices = [] { return std::nullopt; };
  EXPECT_EQ(drives.devices(), std::nullopt);
}

TEST_F(LinuxDrivesTest, NamesThatLeaveDevAreNeverOpened) {
  errno = 0;
  EXPECT_EQ(drives.open("../../etc/passwd"), -1);
  EXPECT_EQ(errno, ENOENT);
  EXPECT_FALSE(drives.eject(OpticalDevice{"x", "y", kMediaPresent, "sr0/.."}));
  EXPECT_FALSE(drives.eject(OpticalDevice{}));
  EXPECT_EQ(drives.readFullToc("..").outcome, FullTocReply::Outcome::invalidDeviceName);
  EXPECT_TRUE(calls.openCalls().empty());
}

// The real libudev on this machine: listing works with or without a udev daemon, and a
// monitor that is started and stopped leaves no thread and no descriptor behind.
TEST_F(LinuxDrivesTest, RealUdevListsAndMonitorsWithoutLeaking) {
  const auto devices = enumerateBlockDevices();
  ASSERT_TRUE(devices.has_value());
  for (const auto& facts : *devices) {
    EXPECT_FALSE(facts.syspath.empty());
  }

  // A first round lets sanitizer runtimes start the helper threads they keep for good.
  watchUdevEvents(calls, [](const DeviceEvent&) {}).reset();
  const auto descriptorsBefore = entriesIn("/proc/self/fd");
  const auto threadsBefore = entriesIn("/proc/self/task");
  for (int round = 0; round < 3; ++round) {
    auto subscription = watchUdevEvents(calls, [](const DeviceEvent&) {});
    ASSERT_NE(subscription, nullptr);
    subscription.reset();
    EXPECT_EQ(entriesIn("/proc/self/fd"), descriptorsBefore);
    EXPECT_EQ(entriesIn("/proc/self/task"), threadsBefore);
  }
  mainQueue.runPending();
}

}  // namespace
}  // namespace noru::platform::linux_cd
