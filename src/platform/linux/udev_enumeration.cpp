#include "platform/linux/udev_enumeration.h"

#include "platform/linux/udev_handles.h"

namespace noru::platform::linux_cd {
namespace {

std::string textOrEmpty(const char* text) {
  return text ? std::string(text) : std::string();
}

std::optional<std::string> optionalText(const char* text) {
  return text ? std::optional<std::string>(text) : std::nullopt;
}

}  // namespace

UdevDeviceFacts factsOf(udev_device* device) {
  UdevDeviceFacts facts;
  facts.syspath = textOrEmpty(udev_device_get_syspath(device));
  facts.sysname = textOrEmpty(udev_device_get_sysname(device));
  facts.devnode = textOrEmpty(udev_device_get_devnode(device));
  facts.devtype = textOrEmpty(udev_device_get_devtype(device));
  facts.action = textOrEmpty(udev_device_get_action(device));
  facts.cdromProperty = optionalText(udev_device_get_property_value(device, "ID_CDROM"));
  facts.vendorProperty = optionalText(udev_device_get_property_value(device, "ID_VENDOR"));
  facts.modelProperty = optionalText(udev_device_get_property_value(device, "ID_MODEL"));
  if (facts.action != "remove") {  // a removed device has no sysfs entry left to read
    facts.vendorAttribute = optionalText(udev_device_get_sysattr_value(device, "device/vendor"));
    facts.modelAttribute = optionalText(udev_device_get_sysattr_value(device, "device/model"));
    facts.scsiTypeAttribute = optionalText(udev_device_get_sysattr_value(device, "device/type"));
  }
  return facts;
}

std::optional<std::vector<UdevDeviceFacts>> enumerateBlockDevices() {
  UdevHandle context(udev_new());
  if (!context) {
    return std::nullopt;
  }
  UdevEnumerateHandle enumeration(udev_enumerate_new(context.get()));
  if (!enumeration || udev_enumerate_add_match_subsystem(enumeration.get(), "block") < 0 ||
      udev_enumerate_scan_devices(enumeration.get()) < 0) {
    return std::nullopt;
  }
  std::vector<UdevDeviceFacts> disks;
  udev_list_entry* entry = nullptr;
  udev_list_entry_foreach(entry, udev_enumerate_get_list_entry(enumeration.get())) {
    UdevDeviceHandle device(
        udev_device_new_from_syspath(context.get(), udev_list_entry_get_name(entry)));
    if (device) {  // gone between the scan and now
      disks.push_back(factsOf(device.get()));
    }
  }
  return disks;
}

}  // namespace noru::platform::linux_cd
