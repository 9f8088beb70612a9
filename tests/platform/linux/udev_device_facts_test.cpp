#include "platform/linux/udev_device_facts.h"

#include <gtest/gtest.h>
#include <linux/cdrom.h>

#include "platform/linux/optical_device.h"
#include "platform/linux/udev_monitor.h"
#include "support/scripted_system_calls.h"

namespace noru::platform::linux_cd {
namespace {

UdevDeviceFacts opticalDrive() {
  UdevDeviceFacts facts;
  facts.syspath = "/sys/devices/pci0000:00/0000:00:1f.2/ata2/host1/target1:0:0/1:0:0:0/block/sr0";
  facts.sysname = "sr0";
  facts.devnode = "/dev/sr0";
  facts.devtype = "disk";
  facts.cdromProperty = "1";
  facts.vendorAttribute = "HL-DT-ST";
  facts.modelAttribute = "DVDRAM GH24NSD1 ";
  facts.scsiTypeAttribute = "5";
  return facts;
}

TEST(UdevDeviceFacts, ProductNameJoinsTrimmedVendorAndModel) {
  struct Case {
    std::optional<std::string> vendorAttribute, modelAttribute, vendorProperty, modelProperty;
    std::optional<std::string> name;
  };
  const Case cases[] = {
      {"HL-DT-ST", "DVDRAM GH24NSD1 ", "HL-DT-ST", "DVDRAM_GH24NSD1", "HL-DT-ST DVDRAM GH24NSD1"},
      {std::nullopt, std::nullopt, "ASUS", "DRW-24D5MT", "ASUS DRW-24D5MT"},
      {"   ", "BD-RE  BH16NS40", "HL-DT-ST", std::nullopt, "HL-DT-ST BD-RE  BH16NS40"},
      {std::nullopt, "  Slim Drive ", std::nullopt, std::nullopt, "Slim Drive"},
      {"  ", "\t", std::nullopt, " ", std::nullopt},
  };
  for (const auto& c : cases) {
    auto facts = opticalDrive();
    facts.vendorAttribute = c.vendorAttribute;
    facts.modelAttribute = c.modelAttribute;
    facts.vendorProperty = c.vendorProperty;
    facts.modelProperty = c.modelProperty;
    EXPECT_EQ(productNameOf(facts), c.name);
  }
}

TEST(UdevDeviceFacts, WhatUdevDoesNotTellStaysMissing) {
  UdevDeviceFacts bare;
  bare.devtype = "disk";
  EXPECT_EQ(describeOpticalDevice(bare, std::nullopt), OpticalDevice{});
}

TEST(UdevDeviceFacts, DeviceNodeComesFromUdevOrTheKernelName) {
  auto facts = opticalDrive();
  EXPECT_EQ(deviceNodeOf(facts), "/dev/sr0");
  facts.devnode.clear();
  facts.sysname = "sr1";
  EXPECT_EQ(deviceNodeOf(facts), "/dev/sr1");
  facts.sysname = "..";
  EXPECT_EQ(deviceNodeOf(facts), "");
}

TEST(UdevDeviceFacts, MonitorEventsOfOpticalDrivesBecomeDriveEvents) {
  noru::testing::ScriptedSystemCalls calls;
  calls.onOpen = [](const char*, int) { return 900; };
  calls.onIoctlValue = [](int, unsigned long, long) { return CDS_DISC_OK; };
  const struct {
    const char* action;
    std::optional<DeviceEventKind> kind;
    std::optional<std::string> mediaState;  // a drive that has gone is not asked
  } cases[] = {
      {"add", DeviceEventKind::appeared, "present"},
      {"change", DeviceEventKind::statusChanged, "present"},
      {"remove", DeviceEventKind::disappeared, std::nullopt},
      {"move", std::nullopt, std::nullopt},
  };
  for (const auto& c : cases) {
    auto facts = opticalDrive();
    facts.action = c.action;
    const auto expected =
        c.kind ? std::optional(DeviceEvent{*c.kind, describeOpticalDevice(facts, c.mediaState)})
               : std::nullopt;
    EXPECT_EQ(deviceEventFor(facts, calls), expected) << c.action;
  }
  EXPECT_EQ(calls.opened(), 2);

  auto disk = opticalDrive();
  disk.action = "change";
  disk.cdromProperty = "0";
  EXPECT_EQ(deviceEventFor(disk, calls), std::nullopt);
  EXPECT_TRUE(calls.stillOpen().empty());
}

}  // namespace
}  // namespace noru::platform::linux_cd
