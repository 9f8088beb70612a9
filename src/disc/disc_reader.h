#pragma once

#include <cstdint>
#include <deque>
#include <memory>
#include <stop_token>
#include <string>

#include "disc/sector_stretch.h"
#include "platform/linux/audio_device.h"

namespace noru::disc {

// One import's way to the disc in a drive: the drive stays open while it lives, and it knows
// which sectors the drive has read lately, so that a sector read again comes from the disc and
// not from the drive's cache.
//
// A drive's cache answers a re-read of a sector it has just read, wrong audio included, and
// READ CD has no way to bypass it. Drives keep a few megabytes; whatever was among the last
// kCacheSectors sectors read is taken to be cached, and before such a sector is read again a
// stretch of that size elsewhere on the disc is read first to push it out. A disc image has no
// cache.
class DiscReader {
 public:
  static constexpr std::int32_t kCacheSectors = 2400;  // about 5.6 MB of audio

  // The outcome of one request: 0, or the error number of a sector that could not be read.
  using ReadError = int;

  // Opens `bsdPath` on `device`; raises CDRipError::deviceNotFound when it cannot. `audio` is
  // where the disc's audio lies (the first audio track's start to the end of the last), the
  // room for reads that push sectors out of the cache.
  DiscReader(std::shared_ptr<platform::linux_cd::AudioDevice> device, const std::string& bsdPath,
             SectorStretch audio, bool hasCache);
  ~DiscReader();
  DiscReader(const DiscReader&) = delete;
  DiscReader& operator=(const DiscReader&) = delete;

  // Reads `sectors` (1 to 75) sectors from `first` into `buffer` (2352 bytes a sector) with the
  // drive's C2 flags in `flagged` (588 a sector). A medium that is gone (ENOMEDIUM, ENODEV,
  // ENXIO) raises CDRipError::readFailed; any other error is returned, for the sectors to be
  // read again.
  ReadError read(std::int32_t first, int sectors, std::uint8_t* buffer, std::uint8_t* flagged);

  // Makes sure that the next reads of `target` reach the disc: when some of it may still be in
  // the drive's cache, reads kCacheSectors sectors as far from it as the disc allows. Raises
  // CancellationError when `stop` is requested on the way.
  void emptyCacheOf(SectorStretch target, const std::stop_token& stop);

  platform::linux_cd::C2Mode errorPointers() const;
  std::int64_t sectorsRead() const { return sectorsRead_; }

 private:
  bool mayBeCached(SectorStretch target) const;
  void remember(SectorStretch read);

  std::shared_ptr<platform::linux_cd::AudioDevice> device_;
  int descriptor_;
  SectorStretch audio_;
  bool hasCache_;
  std::deque<SectorStretch> recent_;  // the latest reads, at most kCacheSectors sectors in all
  std::int32_t recentSectors_ = 0;
  std::int64_t sectorsRead_ = 0;
};

}  // namespace noru::disc
