#pragma once

#include <optional>
#include <string>

#include "platform/linux/optical_device.h"

namespace noru::platform::linux_cd {

// What udev says about one block device, gathered before the handle is released so that the
// rules below can be applied (and tested) without udev.
struct UdevDeviceFacts {
  std::string syspath;                         // e.g. "/sys/devices/pci0000:00/.../block/sr0"
  std::string sysname;                         // kernel name, e.g. "sr0"
  std::string devnode;                         // e.g. "/dev/sr0"; empty when udev gives none
  std::string devtype;                         // "disk", "partition"
  std::string action;                          // for monitor events: "add", "remove", "change", ...
  std::optional<std::string> cdromProperty;    // ID_CDROM
  std::optional<std::string> vendorProperty;   // ID_VENDOR
  std::optional<std::string> modelProperty;    // ID_MODEL
  std::optional<std::string> vendorAttribute;  // sysfs device/vendor
  std::optional<std::string> modelAttribute;   // sysfs device/model
  std::optional<std::string> scsiTypeAttribute;  // sysfs device/type ("5" for CD/DVD drives)

  bool operator==(const UdevDeviceFacts&) const = default;
};

// A whole disk that is an optical drive: udev marks it ID_CDROM=1, or, where no udev daemon
// has filled in properties, the kernel reports SCSI peripheral type 5 (CD/DVD).
bool isOpticalDisk(const UdevDeviceFacts& facts);

// The product name: vendor and model, each trimmed, joined by one space. The sysfs attributes
// keep the drive's own spelling; udev's properties (spaces turned into underscores) stand in
// where they are missing. Nothing when both parts are empty.
std::optional<std::string> productNameOf(const UdevDeviceFacts& facts);

// The device record: product name, sysfs path as registry path, kernel name as bsd name,
// vendor and model as productNameOf() finds them.
OpticalDevice describeOpticalDevice(const UdevDeviceFacts& facts,
                                    std::optional<std::string> mediaState);

// The node to open for the device: udev's devnode, else "/dev/" + kernel name; empty when
// neither names a device.
std::string deviceNodeOf(const UdevDeviceFacts& facts);

}  // namespace noru::platform::linux_cd
