#include "platform/linux/linux_drives.h"

#include <cerrno>

#include "platform/linux/cd_audio_read.h"
#include "platform/linux/device_node.h"
#include "platform/linux/drive_status.h"
#include "platform/linux/eject_media.h"
#include "platform/linux/udev_enumeration.h"
#include "platform/linux/udev_monitor.h"

namespace noru::platform::linux_cd {

LinuxDrives::LinuxDrives()
    : enumerateBlockDevices(linux_cd::enumerateBlockDevices),
      watchEvents(watchUdevEvents),
      calls(&systemCalls()) {}

std::optional<std::vector<OpticalDevice>> LinuxDrives::devices() {
  auto blockDevices = enumerateBlockDevices();
  if (!blockDevices) {
    return std::nullopt;
  }
  std::vector<OpticalDevice> drives;
  for (const auto& facts : *blockDevices) {
    if (isOpticalDisk(facts)) {
      const auto node = deviceNodeOf(facts);
      auto mediaState = node.empty() ? std::nullopt : readMediaState(*calls, node);
      drives.push_back(describeOpticalDevice(facts, std::move(mediaState)));
    }
  }
  return drives;
}

std::unique_ptr<EventSubscription> LinuxDrives::subscribe(DeviceEventHandler onEvent) {
  return watchEvents(*calls, std::move(onEvent));
}

FullTocReply LinuxDrives::readFullToc(const std::string& bsdName) {
  return readFullTocWithSgIo(*calls, bsdName, commandTimeout);
}

int LinuxDrives::open(const std::string& bsdName) {
  if (!isPlainDeviceName(bsdName)) {
    errno = ENOENT;
    return -1;
  }
  const auto path = deviceNodePath(bsdName);
  return calls->open(path.c_str(), deviceOpenFlags());
}

int LinuxDrives::readAudio(int descriptor, std::int32_t firstSector, int sectors,
                           std::uint8_t* buffer) {
  return readAudioSectors(*calls, descriptor, firstSector, sectors, buffer);
}

int LinuxDrives::close(int descriptor) {
  return calls->close(descriptor);
}

bool LinuxDrives::eject(const OpticalDevice& device) {
  return device.bsdName && ejectMedia(*calls, *device.bsdName);
}

}  // namespace noru::platform::linux_cd
