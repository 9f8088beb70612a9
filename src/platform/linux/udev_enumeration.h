#pragma once

#include <libudev.h>

#include <optional>
#include <vector>

#include "platform/linux/udev_device_facts.h"

namespace noru::platform::linux_cd {

// The facts about one udev device that the drive rules need.
UdevDeviceFacts factsOf(udev_device* device);

// Every device of the block subsystem (disks and partitions), in udev's (sysfs path) order. Nothing
// when udev cannot be asked at all. Works without a udev daemon: sysfs is read directly then.
std::optional<std::vector<UdevDeviceFacts>> enumerateBlockDevices();

}  // namespace noru::platform::linux_cd
