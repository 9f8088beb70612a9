#pragma once

#include <memory>
#include <string>

#include "platform/linux/device_list.h"
#include "platform/linux/media_ejector.h"
#include "platform/linux/optical_drives.h"

namespace noru::disc {

// Ejects the disc of the drive whose id (CDDrive::id) is `driveId`: the first listed device
// with that identity. The disc watcher sees the disc leave. Returns 0 when the drive ejected,
// ENODEV when no drive has that id, otherwise the error with which the drive refused (EBUSY
// while another user still holds the drive open). Blocks for as long as the drive takes.
class EjectCDDrive {
 public:
  explicit EjectCDDrive(const std::shared_ptr<platform::linux_cd::OpticalDrives>& drives);

  int operator()(const std::string& driveId) const;

 private:
  std::shared_ptr<platform::linux_cd::DeviceList> deviceList_;
  std::shared_ptr<platform::linux_cd::MediaEjector> ejector_;
};

}  // namespace noru::disc
