#pragma once

#include <functional>
#include <memory>

#include "platform/linux/optical_device.h"

namespace noru::platform::linux_cd {

enum class DeviceEventKind { appeared, disappeared, statusChanged };

// A drive came, went, or its medium changed. `device` describes the drive as it was when the
// event happened.
struct DeviceEvent {
  DeviceEventKind kind = DeviceEventKind::statusChanged;
  OpticalDevice device;

  bool operator==(const DeviceEvent&) const = default;
};

using DeviceEventHandler = std::function<void(const DeviceEvent&)>;

// Keeps a handler registered for as long as it exists. Destroy it on the main thread: from then
// on the handler is not called again, not even for events already on their way.
class EventSubscription {
 public:
  virtual ~EventSubscription() = default;
};

// Drive-appeared, drive-disappeared and medium-changed events, delivered on the main thread.
class DeviceEvents {
 public:
  virtual ~DeviceEvents() = default;

  virtual std::unique_ptr<EventSubscription> subscribe(DeviceEventHandler onEvent) = 0;
};

}  // namespace noru::platform::linux_cd
