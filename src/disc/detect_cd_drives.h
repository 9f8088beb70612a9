#pragma once

#include <memory>
#include <vector>

#include "disc/cd_drive.h"
#include "platform/linux/device_list.h"

namespace noru::disc {

// Lists the optical drives attached now, disc images included. Never fails: a drive that
// cannot be described is left out, and a system that cannot be asked gives an empty list.
class DetectCDDrives {
 public:
  explicit DetectCDDrives(std::shared_ptr<platform::linux_cd::DeviceList> deviceList);

  std::vector<CDDrive> operator()() const;

 private:
  std::shared_ptr<platform::linux_cd::DeviceList> deviceList_;
};

}  // namespace noru::disc
