#pragma once

#include <chrono>
#include <functional>
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

// What one receive from a device event stream gave.
struct StreamReceipt {
  std::optional<UdevDeviceFacts> facts;  // nothing when no event was waiting or it was filtered
  int error = 0;                         // errno of a stream that broke and must be opened anew
};

// One connection to the kernel's device events: a descriptor that polls readable when an event
// may be waiting (and reports an error or hang-up when the connection breaks), and the receive.
class DeviceEventStream {
 public:
  virtual ~DeviceEventStream() = default;
  virtual int descriptor() const = 0;
  virtual StreamReceipt receive() = 0;
};

// Opens a stream; nothing when it cannot be opened.
using OpenDeviceEventStream = std::function<std::unique_ptr<DeviceEventStream>()>;

// How long a watcher waits before opening a broken stream again: `first`, then twice as long
// after each further failure, up to `longest`; back to `first` once events flow again.
struct ReopenBackoff {
  std::chrono::milliseconds first{500};
  std::chrono::milliseconds longest{30'000};
};

// Follows a device event stream for optical drives and delivers their events on the main queue.
// A thread of its own waits on the stream; a stream that breaks is closed and opened again after
// the back-off. Destroying the subscription wakes the thread through an eventfd, even in a
// back-off wait, and joins it. Where the first stream cannot be opened the subscription simply
// never delivers anything, and the caller's poll has to notice changes.
std::unique_ptr<EventSubscription> watchDeviceEventStream(SystemCalls& calls,
                                                          DeviceEventHandler onEvent,
                                                          OpenDeviceEventStream openStream,
                                                          ReopenBackoff backoff = {});

// watchDeviceEventStream over udev's monitor (netlink).
std::unique_ptr<EventSubscription> watchUdevEvents(SystemCalls& calls, DeviceEventHandler onEvent);

}  // namespace noru::platform::linux_cd
