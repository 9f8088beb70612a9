#include "disc/disc_reader.h"

#include <algorithm>
#include <cerrno>
#include <vector>

#include "disc/cd_rip_error.h"
#include "platform/log/diagnostic_log.h"
#include "platform/tasks/cancellation_error.h"

namespace noru::disc {
namespace {

using platform::linux_cd::kAudioSectorBytes;
using platform::linux_cd::kMaxSectorsPerRead;
using platform::linux_cd::kSamplesPerSector;

bool mediumIsGone(int error) {
  return error == ENOMEDIUM || error == ENODEV || error == ENXIO;
}

bool overlap(SectorStretch a, SectorStretch b) {
  return a.first < b.end() && b.first < a.end();
}

}  // namespace

DiscReader::DiscReader(std::shared_ptr<platform::linux_cd::AudioDevice> device,
                       const std::string& bsdPath, SectorStretch audio, bool hasCache)
    : device_(std::move(device)),
      descriptor_(device_->open(bsdPath)),
      audio_(audio),
      hasCache_(hasCache) {
  if (descriptor_ < 0) {
    platform::log::diagnostic("DiscReader: open() failed for /dev/", bsdPath, " errno=", errno);
    throw CDRipError::deviceNotFound();
  }
}

DiscReader::~DiscReader() {
  device_->close(descriptor_);
}

DiscReader::ReadError DiscReader::read(std::int32_t first, int sectors, std::uint8_t* buffer,
                                       std::uint8_t* flagged) {
  sectorsRead_ += sectors;
  remember({first, sectors});
  if (device_->readAudioFlagged(descriptor_, first, sectors, buffer, flagged) == 0) {
    return 0;
  }
  const int error = errno != 0 ? errno : EIO;
  if (mediumIsGone(error)) {
    platform::log::diagnostic("DiscReader: the medium is gone at sector ", first, " errno=", error);
    throw CDRipError::readFailed(error);
  }
  return error;
}

void DiscReader::emptyCacheOf(SectorStretch target, const std::stop_token& stop) {
  if (!mayBeCached(target)) {
    return;
  }
  // The larger room beside the target, and in it the end farthest from the target.
  const SectorStretch before{audio_.first, std::max(0, target.first - audio_.first)};
  const SectorStretch after{target.end(), std::max(0, audio_.end() - target.end())};
  SectorStretch stretch = before.count >= after.count ? before : after;
  if (stretch.count > kCacheSectors) {
    stretch = before.count >= after.count
                  ? SectorStretch{before.first, kCacheSectors}
                  : SectorStretch{after.end() - kCacheSectors, kCacheSectors};
  }
  platform::log::diagnostic("DiscReader: reading sectors ", stretch.first, "-", stretch.end() - 1,
                            " to empty the drive's cache");
  std::vector<std::uint8_t> buffer(std::size_t{kMaxSectorsPerRead} * kAudioSectorBytes);
  std::vector<std::uint8_t> flags(std::size_t{kMaxSectorsPerRead} * kSamplesPerSector);
  for (std::int32_t sector = stretch.first; sector < stretch.end();) {
    platform::tasks::throwIfCancelled(stop);
    const int count = std::min(stretch.end() - sector, kMaxSectorsPerRead);
    read(sector, count, buffer.data(), flags.data());  // only the drive's movement counts
    sector += count;
  }
}

platform::linux_cd::C2Mode DiscReader::errorPointers() const {
  return device_->errorPointers(descriptor_);
}

bool DiscReader::mayBeCached(SectorStretch target) const {
  return hasCache_ &&
         std::ranges::any_of(recent_, [&](SectorStretch read) { return overlap(read, target); });
}

void DiscReader::remember(SectorStretch read) {
  recent_.push_back(read);
  recentSectors_ += read.count;
  while (recentSectors_ - recent_.front().count >= kCacheSectors) {
    recentSectors_ -= recent_.front().count;
    recent_.pop_front();
  }
}

}  // namespace noru::disc
