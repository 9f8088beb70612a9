#include "disc/eject_cd_drive.h"

#include "disc/drive_identity.h"
#include "platform/log/diagnostic_log.h"

namespace noru::disc {

EjectCDDrive::EjectCDDrive(const std::shared_ptr<platform::linux_cd::OpticalDrives>& drives)
    : deviceList(drives), ejector(drives) {}

void EjectCDDrive::operator()(const std::string& driveId) const {
  using platform::log::diagnostic;
  const auto devices = deviceList->devices();
  if (!devices) {
    return;
  }
  for (const auto& device : *devices) {
    if (driveIdentity(device) == driveId) {
      diagnostic("CDRipMiddleware: ejecting disc from drive ", driveId);
      ejector->eject(device);
      return;
    }
  }
  diagnostic("CDRipMiddleware: ejectDisc \u2014 drive not found for id ", driveId);
}

}  // namespace noru::disc
