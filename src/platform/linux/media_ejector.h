#pragma once

#include "platform/linux/optical_device.h"

namespace noru::platform::linux_cd {

class MediaEjector {
 public:
  virtual ~MediaEjector() = default;

  // Unlocks the drive's door and ejects its medium. Whether it worked, with errno set when not
  // (EBUSY: the drive is still open elsewhere); the drive's own events report the outcome.
  virtual bool eject(const OpticalDevice& device) = 0;
};

}  // namespace noru::platform::linux_cd
