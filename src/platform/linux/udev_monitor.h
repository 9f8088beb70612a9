#pragma once

#include <memory>
#include <optional>
#include <string_view>

#include "platform/linux/device_events.h"
#include "platform/linux/system_calls.h"
#include "platform/linux/udev_device_facts.h"

namespace noru::platform::linux_cd {

// The drive event that a udev action stands for: "add", "remove" and "change"; nothing for the
// others.
std::optional<DeviceEventKind> eventKindOfAction(std::string_view action);

// The drive event for one udev event: nothing unless it concerns an optical drive and is an
// add, remove or change. The medium's state is asked of the drive, except for a drive that
// has gone.
std::optional<DeviceEvent> deviceEventFor(const UdevDeviceFacts& facts, SystemCalls& calls);

// Follows udev's block-device events (netlink) for optical drives and delivers them on the
// main queue. A thread of its own waits on the monitor; destroying the subscription wakes it
// through an eventfd and joins it. Where udev cannot be reached the subscription simply never
// delivers anything, and the caller's poll has to notice changes.
std::unique_ptr<EventSubscription> watchUdevEvents(SystemCalls& calls, DeviceEventHandler onEvent);

}  // namespace noru::platform::linux_cd
