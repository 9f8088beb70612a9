#pragma once

#include <string>

#include "platform/linux/optical_device.h"

namespace noru::disc {

// The identity a drive has across scans (CDDrive::id): its registry path, else its product
// name, else the empty text. Drive detection, the disc watcher and eject all use this rule, so
// that an id taken from one of them finds the same drive in the others.
std::string driveIdentity(const platform::linux_cd::OpticalDevice& device);

}  // namespace noru::disc
