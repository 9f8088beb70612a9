#include "platform/linux/linux_drives.h"
#include "platform/linux/sg_disc_facts.h"

#include <cerrno>
#include <cstring>

#include "platform/linux/cd_audio_read.h"
#include "platform/linux/device_node.h"
#include "platform/linux/drive_status.h"
#include "platform/linux/eject_media.h"
#include "platform/linux/udev_enumeration.h"
#include "platform/linux/udev_monitor.h"

namespace noru::platform::linux_cd {
namespace {

// The layouts of error pointers a drive not yet known is asked for, in turn.
constexpr C2Mode kProbeOrder[] = {C2Mode::bits294, C2Mode::bits296, C2Mode::none};

// 0, or -1 with errno set, as AudioDevice reports a read.
int reported(const ReadCdResult& result) {
  if (result.outcome == ReadCdResult::Outcome::read) {
    return 0;
  }
  errno = result.error;
  return -1;
}

}  // namespace

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

DiscFacts LinuxDrives::readDiscFacts(const std::string& bsdName) {
  return readDiscFactsWithSgIo(*calls, bsdName, commandTimeout);
}

std::map<int, std::string> LinuxDrives::readISRCs(const std::string& bsdName,
                                                  const std::vector<int>& tracks) {
  return readISRCsWithSgIo(*calls, bsdName, tracks, commandTimeout);
}

int LinuxDrives::open(const std::string& bsdName) {
  if (!isPlainDeviceName(bsdName)) {
    errno = ENOENT;
    return -1;
  }
  const auto path = deviceNodePath(bsdName);
  const int descriptor = calls->open(path.c_str(), deviceOpenFlags());
  if (descriptor >= 0) {
    std::lock_guard lock(mutex_);
    driveOfDescriptor_[descriptor] = bsdName;
  }
  return descriptor;
}

int LinuxDrives::readAudio(int descriptor, std::int32_t firstSector, int sectors,
                           std::uint8_t* buffer) {
  return readAudioSectors(*calls, descriptor, firstSector, sectors, buffer);
}

int LinuxDrives::readAudioFlagged(int descriptor, std::int32_t firstSector, int sectors,
                                  std::uint8_t* buffer, std::uint8_t* flagged) {
  if (const auto known = knownReadWay(descriptor)) {
    const auto result = readFlaggedWith(*known, descriptor, firstSector, sectors, buffer, flagged);
    const bool refused = result.outcome == ReadCdResult::Outcome::layoutRefused ||
                         result.outcome == ReadCdResult::Outcome::sgIoUnusable;
    if (!refused) {
      return reported(result);
    }
    remember(descriptor, std::nullopt);  // another drive has taken the name: find out anew
  }
  return probeAndReadFlagged(descriptor, firstSector, sectors, buffer, flagged);
}

C2Mode LinuxDrives::errorPointers(int descriptor) {
  const auto known = knownReadWay(descriptor);
  return known ? known->pointers : C2Mode::none;
}

int LinuxDrives::close(int descriptor) {
  {
    std::lock_guard lock(mutex_);
    driveOfDescriptor_.erase(descriptor);
  }
  return calls->close(descriptor);
}

bool LinuxDrives::eject(const OpticalDevice& device) {
  return device.bsdName && ejectMedia(*calls, *device.bsdName);
}

ReadCdResult LinuxDrives::readFlaggedWith(AudioReadWay way, int descriptor,
                                          std::int32_t firstSector, int sectors,
                                          std::uint8_t* buffer, std::uint8_t* flagged) {
  if (way.readCd) {
    return readAudioWithSgIo(*calls, descriptor, firstSector, sectors, buffer, flagged,
                             way.pointers, readTimeout);
  }
  if (readAudioSectors(*calls, descriptor, firstSector, sectors, buffer) != 0) {
    return {ReadCdResult::Outcome::failed, errno};
  }
  std::memset(flagged, 0, static_cast<std::size_t>(sectors) * kSamplesPerSector);
  return {ReadCdResult::Outcome::read};
}

// Asks for each layout in turn until the drive takes one; a drive that takes none, or no SG_IO
// at all, is read with CDROMREADAUDIO.
int LinuxDrives::probeAndReadFlagged(int descriptor, std::int32_t firstSector, int sectors,
                                     std::uint8_t* buffer, std::uint8_t* flagged) {
  for (const C2Mode pointers : kProbeOrder) {
    const AudioReadWay way{true, pointers};
    const auto result = readFlaggedWith(way, descriptor, firstSector, sectors, buffer, flagged);
    if (result.outcome == ReadCdResult::Outcome::sgIoUnusable) {
      break;
    }
    if (result.outcome == ReadCdResult::Outcome::read) {
      remember(descriptor, way);
    }
    if (result.outcome != ReadCdResult::Outcome::layoutRefused) {
      return reported(result);
    }
  }
  const AudioReadWay kernelRead{false, C2Mode::none};
  remember(descriptor, kernelRead);
  return reported(readFlaggedWith(kernelRead, descriptor, firstSector, sectors, buffer, flagged));
}

std::optional<LinuxDrives::AudioReadWay> LinuxDrives::knownReadWay(int descriptor) {
  std::lock_guard lock(mutex_);
  const auto drive = driveOfDescriptor_.find(descriptor);
  if (drive == driveOfDescriptor_.end()) {
    return std::nullopt;
  }
  const auto way = readWayOfDrive_.find(drive->second);
  if (way == readWayOfDrive_.end()) {
    return std::nullopt;
  }
  return way->second;
}

void LinuxDrives::remember(int descriptor, std::optional<AudioReadWay> way) {
  std::lock_guard lock(mutex_);
  const auto drive = driveOfDescriptor_.find(descriptor);
  if (drive == driveOfDescriptor_.end()) {
    return;  // not opened here: nothing to keep it for
  }
  if (way) {
    readWayOfDrive_[drive->second] = *way;
  } else {
    readWayOfDrive_.erase(drive->second);
  }
}

}  // namespace noru::platform::linux_cd
