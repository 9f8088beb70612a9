#pragma once

#include <memory>
#include <string>

#include "platform/linux/device_list.h"
#include "platform/linux/media_ejector.h"
#include "platform/linux/optical_drives.h"

namespace noru::disc {

// Ejects the disc of the drive whose id (CDDrive::id) is `driveId`: the first listed device
// with that identity. Reports nothing back; the disc watcher sees the disc leave.
class EjectCDDrive {
 public:
  explicit EjectCDDrive(const std::shared_ptr<platform::linux_cd::OpticalDrives>& drives);

  void operator()(const std::string& driveId) const;

  std::shared_ptr<platform::linux_cd::DeviceList> deviceList;
  std::shared_ptr<platform::linux_cd::MediaEjector> ejector;
};

}  // namespace noru::disc
