#include "disc/eject_cd_drive.h"

#include <cerrno>

#include "disc/drive_identity.h"
#include "platform/log/diagnostic_log.h"

namespace noru::disc {

EjectCDDrive::EjectCDDrive(const std::shared_ptr<platform::linux_cd::OpticalDrives>& drives)
    : deviceList_(drives), ejector_(drives) {}

int EjectCDDrive::operator()(const std::string& driveId) const {
  using platform::log::diagnostic;
  const auto devices = deviceList_->devices();
  if (!devices) {
    return ENODEV;
  }
  for (const auto& device : *devices) {
    if (driveIdentity(device) == driveId) {
      diagnostic("CDRipMiddleware: ejecting disc from drive ", driveId);
      errno = 0;
      if (ejector_->eject(device)) {
        return 0;
      }
      return errno != 0 ? errno : EIO;
    }
  }
  diagnostic("CDRipMiddleware: ejectDisc \u2014 drive not found for id ", driveId);
  return ENODEV;
}

}  // namespace noru::disc
