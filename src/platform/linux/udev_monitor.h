#pragma once

#include <memory>
#include <optional>
#include <string_view>

#include "platform/linux/device_events.h"
#include "platform/linux/system_calls.h"

namespace noru::platform::linux_cd {

// The drive event that a udev action stands for: "add", "remove" and "change"; nothing for the
// others.
std::optional<DeviceEventKind> eventKindOfAction(std::string_view action);

// Follows udev's block-device events (netlink) for optical drives and delivers them on the
// main queue. A thread of its own waits on the monitor; destroying the subscription wakes it
// through an eventfd and joins it. Where udev cannot be reached the subscription simply never
// delivers anything, and the caller's poll has to notice changes.
std::unique_ptr<EventSubscription> watchUdevEvents(SystemCalls& calls, DeviceEventHandler onEvent);

}  // namespace noru::platform::linux_cd
