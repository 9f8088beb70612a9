#pragma once

#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/linux/optical_drives.h"
#include "platform/linux/sg_full_toc.h"
#include "platform/linux/sg_read_cd.h"
#include "platform/linux/system_calls.h"
#include "platform/linux/udev_device_facts.h"

namespace noru::platform::linux_cd {

// The machine's optical drives: listed and watched through udev, asked about their medium
// with CDROM_DRIVE_STATUS, their full TOC read with SG_IO, their audio read with
// CDROMREADAUDIO and their discs ejected with CDROM_LOCKDOOR and CDROMEJECT. Each way in is a
// public field so that tests can put a fake in its place.
//
// Audio with C2 error pointers is read with READ CD through SG_IO. The first flagged read from
// a drive finds out what it takes by asking for 294 pointer bytes a sector, then 296, then
// none; a drive that takes no READ CD, or a descriptor without SG_IO, is read with
// CDROMREADAUDIO and no flags. The answer is kept under the drive's name for the object's
// life, and found out again should the drive later refuse it. A read that fails for any other
// reason keeps nothing. Safe to use from several threads.
class LinuxDrives final : public OpticalDrives {
 public:
  using EnumerateBlockDevices = std::function<std::optional<std::vector<UdevDeviceFacts>>()>;
  using WatchEvents =
      std::function<std::unique_ptr<EventSubscription>(SystemCalls&, DeviceEventHandler)>;

  LinuxDrives();

  std::optional<std::vector<OpticalDevice>> devices() override;
  std::unique_ptr<EventSubscription> subscribe(DeviceEventHandler onEvent) override;
  FullTocReply readFullToc(const std::string& bsdName) override;
  DiscFacts readDiscFacts(const std::string& bsdName) override;
  std::map<int, std::string> readISRCs(const std::string& bsdName,
                                       const std::vector<int>& tracks) override;
  int open(const std::string& bsdName) override;
  int readAudio(int descriptor, std::int32_t firstSector, int sectors,
                std::uint8_t* buffer) override;
  int readAudioFlagged(int descriptor, std::int32_t firstSector, int sectors, std::uint8_t* buffer,
                       std::uint8_t* flagged) override;
  C2Mode errorPointers(int descriptor) override;
  int close(int descriptor) override;
  bool eject(const OpticalDevice& device) override;

  EnumerateBlockDevices enumerateBlockDevices;
  WatchEvents watchEvents;
  SystemCalls* calls;
  std::chrono::milliseconds commandTimeout = kFullTocTimeout;
  std::chrono::milliseconds readTimeout = kReadCdTimeout;

 private:
  // How a drive's audio is read once its reads have found out: READ CD with these error
  // pointers, or CDROMREADAUDIO.
  struct AudioReadWay {
    bool readCd;
    C2Mode pointers;
  };

  ReadCdResult readFlaggedWith(AudioReadWay way, int descriptor, std::int32_t firstSector,
                               int sectors, std::uint8_t* buffer, std::uint8_t* flagged);
  int probeAndReadFlagged(int descriptor, std::int32_t firstSector, int sectors,
                          std::uint8_t* buffer, std::uint8_t* flagged);
  std::optional<AudioReadWay> knownReadWay(int descriptor);
  // Keeps `way` for the drive `descriptor` was opened for; nothing forgets what was kept.
  void remember(int descriptor, std::optional<AudioReadWay> way);

  std::mutex mutex_;
  std::map<int, std::string> driveOfDescriptor_;
  std::map<std::string, AudioReadWay> readWayOfDrive_;
};

}  // namespace noru::platform::linux_cd
