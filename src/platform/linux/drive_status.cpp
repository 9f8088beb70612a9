#include "platform/linux/drive_status.h"

#include <linux/cdrom.h>

#include <climits>

#include "platform/linux/device_node.h"
#include "platform/linux/optical_device.h"

namespace noru::platform::linux_cd {

std::optional<std::string> mediaStateFromDriveStatus(int status) {
  switch (status) {
    case CDS_DISC_OK:
      return kMediaPresent;
    case CDS_NO_DISC:
      return kMediaNone;
    case CDS_TRAY_OPEN:
      return kMediaTrayOpen;
    case CDS_DRIVE_NOT_READY:
      return kMediaNotReady;
    default:
      return status < 0 ? std::nullopt : std::optional<std::string>(kMediaUnknown);
  }
}

std::optional<std::string> readMediaState(SystemCalls& calls, const std::string& devicePath) {
  const int descriptor = calls.open(devicePath.c_str(), deviceOpenFlags());
  if (descriptor < 0) {
    return std::nullopt;
  }
  const int status = calls.ioctlValue(descriptor, CDROM_DRIVE_STATUS, CDSL_CURRENT);
  calls.close(descriptor);
  return mediaStateFromDriveStatus(status);
}

}  // namespace noru::platform::linux_cd
