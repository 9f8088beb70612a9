#include "support/model_drive.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <thread>

namespace noru::testing {

namespace linux_cd = platform::linux_cd;

namespace {

constexpr int kFirstWrongSample = 100;
constexpr int kWrongSamples = 200;

// Changes every sample of the wrong stretch of `audio` by a pattern that `seed` decides.
void spoil(std::uint8_t* audio, std::uint64_t seed) {
  for (int sample = kFirstWrongSample; sample < kFirstWrongSample + kWrongSamples; ++sample) {
    std::uint64_t z = (seed += 0x9E3779B97F4A7C15ULL);  // splitmix64
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
    z = (z ^ (z >> 31)) | 1;  // never zero, so that each sample does change
    for (int byte = 0; byte < 4; ++byte) {
      audio[sample * 4 + byte] ^= static_cast<std::uint8_t>(z >> (8 * byte));
    }
  }
}

}  // namespace

ModelDrive::ModelDrive(const std::filesystem::path& cuePath, Options options)
    : options_(options), device_(registry_.addImage(cuePath)) {
  device_.isDiscImage = false;
  device_.vendor = kVendor;
  device_.model = kModel;
  device_.productName = std::string(kVendor) + " " + kModel;
}

void ModelDrive::script(std::int32_t firstSector, std::int32_t count, SectorScript script) {
  std::lock_guard lock(mutex_);
  for (std::int32_t sector = firstSector; sector < firstSector + count; ++sector) {
    scripts_[sector] = script;
  }
}

void ModelDrive::removeMediumAt(std::int32_t sector) {
  std::lock_guard lock(mutex_);
  removalSector_ = sector;
}

int ModelDrive::reads(std::int32_t sector) const {
  std::lock_guard lock(mutex_);
  const auto found = reads_.find(sector);
  return found == reads_.end() ? 0 : found->second;
}

std::int64_t ModelDrive::totalReads() const {
  std::lock_guard lock(mutex_);
  return totalReads_;
}

int ModelDrive::mostRequestsAtOnce() const {
  std::lock_guard lock(mutex_);
  return mostRequests_;
}

int ModelDrive::open(const std::string& bsdName) {
  std::lock_guard lock(mutex_);
  if (!mediumPresent_) {
    errno = ENOMEDIUM;
    return -1;
  }
  return registry_.open(bsdName);
}

bool ModelDrive::eject(const linux_cd::OpticalDevice&) {
  std::lock_guard lock(mutex_);
  mediumPresent_ = false;
  return true;
}

linux_cd::C2Mode ModelDrive::errorPointers(int) {
  return options_.c2 == C2::missing ? linux_cd::C2Mode::none : linux_cd::C2Mode::bits294;
}

int ModelDrive::readAudio(int descriptor, std::int32_t firstSector, int sectors,
                          std::uint8_t* buffer) {
  std::vector<std::uint8_t> flags(static_cast<std::size_t>(std::max(sectors, 0)) *
                                  linux_cd::kSamplesPerSector);
  return readAudioFlagged(descriptor, firstSector, sectors, buffer, flags.data());
}

int ModelDrive::readAudioFlagged(int descriptor, std::int32_t firstSector, int sectors,
                                 std::uint8_t* buffer, std::uint8_t* flagged) {
  if (sectors < 1 || sectors > linux_cd::kMaxSectorsPerRead || firstSector < 0) {
    errno = EINVAL;
    return -1;
  }
  int error = 0;
  std::chrono::steady_clock::time_point readyAt;
  {
    std::lock_guard lock(mutex_);
    mostRequests_ = std::max(mostRequests_, ++requests_);
    for (int i = 0; i < sectors && error == 0; ++i) {
      Delivered delivered;
      if (firstSector + i == removalSector_) {
        mediumPresent_ = false;
      }
      error = mediumPresent_ ? readSectorLocked(descriptor, firstSector + i, delivered) : ENOMEDIUM;
      if (error == 0) {
        std::ranges::copy(delivered.audio, buffer + i * linux_cd::kAudioSectorBytes);
        std::uint8_t* flags = flagged + i * linux_cd::kSamplesPerSector;
        std::memset(flags, 0, linux_cd::kSamplesPerSector);
        if (delivered.wrong && options_.c2 == C2::honest) {
          std::memset(flags + kFirstWrongSample, 1, kWrongSamples);
        }
      }
    }
    readyAt = readyAt_;
  }
  // The request returns once the surface has been read, without holding the counts.
  std::this_thread::sleep_until(readyAt);
  {
    std::lock_guard lock(mutex_);
    --requests_;
  }
  errno = error;
  return error == 0 ? 0 : -1;
}

int ModelDrive::readSectorLocked(int descriptor, std::int32_t sector, Delivered& delivered) {
  ++reads_[sector];
  ++totalReads_;
  if (const auto hit = cache_.find(sector); hit != cache_.end()) {
    delivered = hit->second;
    return 0;
  }
  if (options_.sectorsPerSecond > 0) {
    // The surface passes at its own pace: a drive that sat idle gains no time from it.
    const std::chrono::duration<double> perSector(1.0 / options_.sectorsPerSecond);
    readyAt_ = std::max(readyAt_, std::chrono::steady_clock::now()) +
               std::chrono::duration_cast<std::chrono::steady_clock::duration>(perSector);
  }
  const int attempt = surfaceReads_[sector]++;
  const SectorScript script = scripts_.contains(sector) ? scripts_[sector] : SectorScript{};
  if (attempt < script.failingReads) {
    return EIO;
  }
  delivered.audio.resize(linux_cd::kAudioSectorBytes);
  if (registry_.readAudio(descriptor, sector, 1, delivered.audio.data()) != 0) {
    return errno;  // a data sector or one beyond the lead-out
  }
  const int delivery = attempt - script.failingReads;
  delivered.wrong = delivery < script.wrongReads;
  if (delivered.wrong) {
    const auto base = static_cast<std::uint64_t>(static_cast<std::uint32_t>(sector)) << 32;
    spoil(delivered.audio.data(),
          script.sameWrongAudio ? base : base | static_cast<std::uint32_t>(delivery + 1));
  }
  if (options_.cacheSectors > 0) {
    cache_[sector] = delivered;
    cacheOrder_.push_back(sector);
    if (cacheOrder_.size() > options_.cacheSectors) {
      cache_.erase(cacheOrder_.front());
      cacheOrder_.pop_front();
    }
  }
  return 0;
}

}  // namespace noru::testing
