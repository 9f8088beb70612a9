#pragma once

#include <optional>
#include <vector>

#include "platform/linux/optical_device.h"

namespace noru::platform::linux_cd {

// The optical drives attached now, in a stable order.
class DeviceList {
 public:
  virtual ~DeviceList() = default;

  // Nothing when the system cannot be asked at all; otherwise the drives, possibly none.
  virtual std::optional<std::vector<OpticalDevice>> devices() = 0;
};

}  // namespace noru::platform::linux_cd
