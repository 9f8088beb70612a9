#include "disc/detect_cd_drives.h"

#include <utility>

#include "disc/drive_identity.h"
#include "platform/log/diagnostic_log.h"

namespace noru::disc {

DetectCDDrives::DetectCDDrives(std::shared_ptr<platform::linux_cd::DeviceList> deviceList)
    : deviceList_(std::move(deviceList)) {}

std::vector<CDDrive> DetectCDDrives::operator()() const {
  using platform::log::diagnostic;
  const auto devices = deviceList_->devices();
  if (!devices) {
    return {};
  }
  diagnostic("DetectCDDrives: found ", devices->size(), " DRDevice(s)");
  std::vector<CDDrive> drives;
  for (const auto& device : *devices) {
    if (!device.productName) {
      continue;
    }
    CDDrive drive{
        driveIdentity(device),       *device.productName,
        device.bsdName.value_or(""), device.mediaState == platform::linux_cd::kMediaPresent,
        device.vendor.value_or(""),  device.model.value_or(""),
        device.isDiscImage};
    diagnostic("DetectCDDrives: drive '", drive.name, "' id=", drive.id,
               " bsd=", drive.bsdPath.empty() ? "(none)" : drive.bsdPath,
               " hasDisc=", drive.hasDisc);
    drives.push_back(std::move(drive));
  }
  diagnostic("DetectCDDrives: returning ", drives.size(), " drive(s)");
  return drives;
}

}  // namespace noru::disc
