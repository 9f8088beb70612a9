#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "platform/linux/optical_drives.h"
#include "platform/linux/sg_full_toc.h"
#include "platform/linux/system_calls.h"
#include "platform/linux/udev_device_facts.h"

namespace noru::platform::linux_cd {

// The machine's optical drives: listed and watched through udev, asked about their medium
// with CDROM_DRIVE_STATUS, their full TOC read with SG_IO, their audio read with
// CDROMREADAUDIO and their discs ejected with CDROM_LOCKDOOR and CDROMEJECT. Each way in is a
// public field so that tests can put a fake in its place.
class LinuxDrives final : public OpticalDrives {
 public:
  using EnumerateBlockDevices = std::function<std::optional<std::vector<UdevDeviceFacts>>()>;
  using WatchEvents =
      std::function<std::unique_ptr<EventSubscription>(SystemCalls&, DeviceEventHandler)>;

  LinuxDrives();

  std::optional<std::vector<OpticalDevice>> devices() override;
  std::unique_ptr<EventSubscription> subscribe(DeviceEventHandler onEvent) override;
  FullTocReply readFullToc(const std::string& bsdName) override;
  int open(const std::string& bsdName) override;
  int readAudio(int descriptor, std::int32_t firstSector, int sectors,
                std::uint8_t* buffer) override;
  int close(int descriptor) override;
  bool eject(const OpticalDevice& device) override;

  EnumerateBlockDevices enumerateBlockDevices;
  WatchEvents watchEvents;
  SystemCalls* calls;
  std::chrono::milliseconds commandTimeout = kFullTocTimeout;
};

}  // namespace noru::platform::linux_cd
