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

UdevDeviceFacts blockDevice(std::string name, std::string devtype,
                            std::optional<std::string> cdromProperty,
                            std::optional<std::string> scsiType = std::nullopt) {
  UdevDeviceFacts facts;
  facts.syspath = "/sys/devices/x/block/" + name;
  facts.sysname = name;
  facts.devnode = "/dev/" + name;
  facts.devtype = std::move(devtype);
  facts.cdromProperty = std::move(cdromProperty);
  facts.scsiTypeAttribute = std::move(scsiType);
  facts.vendorAttribute = "Vendor";
  facts.modelAttribute = "Model " + name;
  return facts;
}

std::size_t entriesIn(const char* folder) {
  const std::filesystem::directory_iterator entries(folder);
  return static_cast<std::size_t>(std::distance(begin(entries), end(entries)));
}

class LinuxDrivesTest : public noru::testing::RuntimeFixture {
 protected:
  LinuxDrivesTest() { drives.calls = &calls; }

  noru::testing::ScriptedSystemCalls calls;
  LinuxDrives drives;
};

TEST_F(LinuxDrivesTest, ListsOnlyOpticalDisksWithTheirMediaState) {
  drives.enumerateBlockDevices = [] {
    return std::vector{
        blockDevice("sda", "disk", "0", "0"), blockDevice("sr0", "disk", "1"),
        blockDevice("sr0p1", "partition", "1"), blockDevice("sr1", "disk", "1"),
        // Without a udev daemon there are no properties; the kernel's device type still tells.
        blockDevice("sr2", "disk", std::nullopt, "5\n"),
        blockDevice("sdb", "disk", std::nullopt, "0"), blockDevice("sr3", "disk", "1"),
        blockDevice("sr4", "disk", "1")};
  };
  // sr0 and sr2 have their trays open, sr1 holds a disc; sr3 does not answer and sr4 cannot
  // be opened: no media state for them.
  calls.onOpen = [](const char* path, int) {
    errno = EACCES;
    return path[7] == '4' ? -1 : 900 + (path[7] - '0');
  };
  calls.onIoctlValue = [](int descriptor, unsigned long request, long argument) {
    if (request != CDROM_DRIVE_STATUS || argument != CDSL_CURRENT || descriptor == 903) {
      return -1;
    }
    return descriptor == 901 ? CDS_DISC_OK : CDS_TRAY_OPEN;
  };
  auto device = [](const char* name, std::optional<std::string> mediaState) {
    return OpticalDevice{std::string("Vendor Model ") + name,
                         std::string("/sys/devices/x/block/") + name, std::move(mediaState), name};
  };
  EXPECT_EQ(drives.devices(),
            (std::vector<OpticalDevice>{device("sr0", kMediaTrayOpen), device("sr1", kMediaPresent),
                                        device("sr2", kMediaTrayOpen), device("sr3", std::nullopt),
                                        device("sr4", std::nullopt)}));
  EXPECT_EQ(calls.opened(), 4);
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
  for (const char* name : {"..", "", "../sda"}) {
    EXPECT_EQ(drives.readFullToc(name).outcome, FullTocReply::Outcome::invalidDeviceName);
  }
  EXPECT_EQ(calls.opened(), 0);
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
