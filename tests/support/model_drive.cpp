#include "support/model_drive.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <thread>
#include <utility>

namespace noru::testing {

namespace linux_cd = platform::linux_cd;

namespace {

constexpr int kFirstWrongSample = 100;
constexpr int kWrongSamples = 200;
constexpr int kSampleBytes = linux_cd::kAudioSectorBytes / linux_cd::kSamplesPerSector;

int failWith(int error) {
  errno = error;
  return -1;
}

// Changes every sample of the wrong stretch of `audio` by a pattern that `seed` decides.
void spoil(std::uint8_t* audio, std::uint64_t seed) {
  for (int sample = kFirstWrongSample; sample < kFirstWrongSample + kWrongSamples; ++sample) {
    // splitmix64: cheap, and the same on every platform
    std::uint64_t z = (seed += 0x9E3779B97F4A7C15ULL);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
    z = (z ^ (z >> 31)) | 1;  // never zero, so that each sample does change
    for (int byte = 0; byte < kSampleBytes; ++byte) {
      audio[sample * kSampleBytes + byte] ^= static_cast<std::uint8_t>(z >> (8 * byte));
    }
  }
}

}  // namespace

ModelDrive::ModelDrive(const std::filesystem::path& cuePath, Options options)
    : options_(std::move(options)), device_(registry_.addImage(cuePath)) {
  device_.isDiscImage = false;
  device_.vendor = options_.vendor;
  device_.model = options_.model;
  device_.productName = options_.vendor + " " + options_.model;
}

void ModelDrive::script(std::int32_t sector, SectorScript s) {
  std::lock_guard lock(mutex_);
  scripts_[sector] = s;
}

void ModelDrive::script(std::int32_t firstSector, std::int32_t count, SectorScript s) {
  std::lock_guard lock(mutex_);
  for (std::int32_t sector = firstSector; sector < firstSector + count; ++sector) {
    scripts_[sector] = s;
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

std::vector<std::int32_t> ModelDrive::sectorsReadMoreThanOnce() const {
  std::lock_guard lock(mutex_);
  std::vector<std::int32_t> sectors;
  for (const auto& [sector, count] : reads_) {
    if (count > 1) {
      sectors.push_back(sector);
    }
  }
  return sectors;
}

std::optional<std::vector<linux_cd::OpticalDevice>> ModelDrive::devices() {
  std::lock_guard lock(mutex_);
  auto device = device_;
  device.mediaState = mediumPresent_ ? linux_cd::kMediaPresent : linux_cd::kMediaNone;
  return std::vector{device};
}

std::unique_ptr<linux_cd::EventSubscription> ModelDrive::subscribe(linux_cd::DeviceEventHandler) {
  return std::make_unique<linux_cd::EventSubscription>();  // the drive never comes or goes
}

linux_cd::FullTocReply ModelDrive::readFullToc(const std::string& bsdName) {
  if (bsdName != this->bsdName()) {
    return {linux_cd::FullTocReply::Outcome::deviceUnavailable, {}};
  }
  std::lock_guard lock(mutex_);
  return mediumPresent_ ? registry_.readFullToc(bsdName) : linux_cd::FullTocReply{};
}

int ModelDrive::open(const std::string& bsdName) {
  std::lock_guard lock(mutex_);
  if (!mediumPresent_) {
    return failWith(ENOMEDIUM);
  }
  const int descriptor = registry_.open(bsdName);
  if (descriptor >= 0) {
    descriptors_.insert(descriptor);
    ++opens;
  }
  return descriptor;
}

int ModelDrive::close(int descriptor) {
  std::lock_guard lock(mutex_);
  if (descriptors_.erase(descriptor) == 0) {
    return failWith(EBADF);
  }
  ++closes;
  return registry_.close(descriptor);
}

bool ModelDrive::eject(const linux_cd::OpticalDevice& device) {
  std::lock_guard lock(mutex_);
  if (device.bsdName != device_.bsdName) {
    errno = ENODEV;
    return false;
  }
  takeMediumOutLocked();
  return true;
}

linux_cd::C2Mode ModelDrive::errorPointers(int) {
  return options_.c2 == C2::missing ? linux_cd::C2Mode::none : linux_cd::C2Mode::bits294;
}

int ModelDrive::readAudio(int descriptor, std::int32_t firstSector, int sectors,
                          std::uint8_t* buffer) {
  return read(descriptor, firstSector, sectors, buffer, nullptr);
}

int ModelDrive::readAudioFlagged(int descriptor, std::int32_t firstSector, int sectors,
                                 std::uint8_t* buffer, std::uint8_t* flagged) {
  return read(descriptor, firstSector, sectors, buffer, flagged);
}

int ModelDrive::read(int descriptor, std::int32_t firstSector, int sectors, std::uint8_t* buffer,
                     std::uint8_t* flagged) {
  if (sectors < 1 || sectors > linux_cd::kMaxSectorsPerRead || firstSector < 0) {
    return failWith(EINVAL);
  }
  std::chrono::steady_clock::time_point readyAt;  // the surface reads' end; the epoch if none
  int error = 0;
  {
    std::lock_guard lock(mutex_);
    if (!descriptors_.contains(descriptor)) {
      return failWith(EBADF);
    }
    for (int i = 0; i < sectors && error == 0; ++i) {
      const std::int32_t sector = firstSector + i;
      bool wrong = false;
      if (!mediumPresent_ || sector == removalSector_) {
        takeMediumOutLocked();
        error = ENOMEDIUM;
      } else if (readSectorLocked(descriptor, sector, buffer + i * linux_cd::kAudioSectorBytes,
                                  wrong, readyAt) != 0) {
        error = errno;
      } else if (flagged != nullptr) {
        std::uint8_t* flags = flagged + i * linux_cd::kSamplesPerSector;
        std::memset(flags, 0, linux_cd::kSamplesPerSector);
        if (wrong && options_.c2 == C2::honest) {
          std::memset(flags + kFirstWrongSample, 1, kWrongSamples);
        }
      }
    }
  }
  // The request returns once the surface has been read, without keeping the records locked.
  std::this_thread::sleep_until(readyAt);
  return error == 0 ? 0 : failWith(error);
}

int ModelDrive::readSectorLocked(int descriptor, std::int32_t sector, std::uint8_t* audio,
                                 bool& wrong, std::chrono::steady_clock::time_point& readyAt) {
  ++reads_[sector];
  ++totalReads_;
  if (const auto hit = cache_.find(sector); hit != cache_.end()) {
    std::ranges::copy(hit->second.audio, audio);
    wrong = hit->second.wrong;
    return 0;
  }
  if (options_.sectorsPerSecond > 0) {
    // The surface passes at its own pace: a drive that sat idle gains no time from it.
    const std::chrono::duration<double> perSector(1.0 / options_.sectorsPerSecond);
    surfaceClock_ = std::max(surfaceClock_, std::chrono::steady_clock::now()) +
                    std::chrono::duration_cast<std::chrono::steady_clock::duration>(perSector);
    readyAt = surfaceClock_;
  }
  const int attempt = surfaceAttempts_[sector]++;
  const auto found = scripts_.find(sector);
  const SectorScript s = found == scripts_.end() ? SectorScript{} : found->second;
  if (attempt < s.failingReads) {
    return failWith(EIO);
  }
  if (registry_.readAudio(descriptor, sector, 1, audio) != 0) {
    return -1;  // a data sector or one beyond the lead-out, with the registry's errno
  }
  const int delivery = attempt - s.failingReads;
  wrong = delivery < s.wrongReads;
  if (wrong) {
    const auto base = static_cast<std::uint64_t>(static_cast<std::uint32_t>(sector)) << 32;
    spoil(audio, s.sameWrongAudio ? base : base | static_cast<std::uint32_t>(delivery + 1));
  }
  if (options_.cacheSectors > 0) {
    cache_[sector] = {{audio, audio + linux_cd::kAudioSectorBytes}, wrong};
    cacheOrder_.push_back(sector);
    if (cacheOrder_.size() > options_.cacheSectors) {
      cache_.erase(cacheOrder_.front());
      cacheOrder_.pop_front();
    }
  }
  return 0;
}

void ModelDrive::takeMediumOutLocked() {
  mediumPresent_ = false;
  cache_.clear();
  cacheOrder_.clear();
}

}  // namespace noru::testing
