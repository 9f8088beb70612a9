#pragma once

#include <chrono>
#include <cstdint>
#include <deque>
#include <filesystem>
#include <limits>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "disc/cd_drive.h"
#include "platform/image/image_drive_registry.h"
#include "platform/linux/optical_drives.h"

namespace noru::testing {

// How the reads of one sector go. Only reads that reach the disc surface count, not the ones
// the drive's cache answers: the first `failingReads` fail with EIO; of the reads that deliver,
// the first `wrongReads` deliver the sector's audio with samples 100 to 299 changed (the same
// change on every read with `sameWrongAudio`, a different one on each read otherwise); every
// read after those delivers the right audio.
struct SectorScript {
  static constexpr int kEvery = std::numeric_limits<int>::max();
  int failingReads = 0;
  int wrongReads = 0;
  bool sameWrongAudio = false;
};

// A drive with a CUE/BIN image as its disc, which reads like a real drive with scripted
// trouble: sectors that fail or deliver wrong audio, C2 error pointers that tell the truth,
// lie or are missing, a read cache, a reading speed, and a medium that goes away. Counts every
// read of every sector. A read task may use it while a test looks at the counts.
//
// Construct it with the runtime installed: the registry it reads the image through announces
// the image on the main queue.
class ModelDrive final : public platform::linux_cd::OpticalDrives {
 public:
  enum class C2 { missing, honest, lying };
  struct Options {
    std::size_t cacheSectors = 0;  // the sectors read from the surface that the cache keeps
    double sectorsPerSecond = 0;   // 0: as fast as the image reads; 24x is 24 * 75
    C2 c2 = C2::missing;
  };
  // The drive's vendor and model, as it reports them.
  static constexpr char kVendor[] = "NORU";
  static constexpr char kModel[] = "MODEL DRIVE";

  ModelDrive(const std::filesystem::path& cuePath, Options options);

  void script(std::int32_t firstSector, std::int32_t count, SectorScript script);
  // The first read that touches `sector` fails with ENOMEDIUM, and so does every later one.
  void removeMediumAt(std::int32_t sector);

  const std::string& bsdName() const { return *device_.bsdName; }
  // The drive as the program lists it.
  disc::CDDrive cdDrive() const {
    return {.id = "model",
            .name = "Model",
            .bsdPath = bsdName(),
            .hasDisc = true,
            .vendor = kVendor,
            .model = kModel};
  }
  // Every time a request covered the sector: cache hits and failures included.
  int reads(std::int32_t sector) const;
  std::int64_t totalReads() const;
  // The most requests that were in the drive at once (a drive takes one at a time).
  int mostRequestsAtOnce() const;

  std::optional<std::vector<platform::linux_cd::OpticalDevice>> devices() override {
    return std::vector{device_};
  }
  // The drive never comes or goes.
  std::unique_ptr<platform::linux_cd::EventSubscription> subscribe(
      platform::linux_cd::DeviceEventHandler) override {
    return std::make_unique<platform::linux_cd::EventSubscription>();
  }
  platform::linux_cd::FullTocReply readFullToc(const std::string& bsdName) override {
    return registry_.readFullToc(bsdName);
  }
  platform::linux_cd::DiscFacts readDiscFacts(const std::string& bsdName) override {
    return registry_.readDiscFacts(bsdName);
  }
  std::map<int, std::string> readISRCs(const std::string& bsdName,
                                       const std::vector<int>& tracks) override {
    return registry_.readISRCs(bsdName, tracks);
  }
  int open(const std::string& bsdName) override;
  int readAudio(int descriptor, std::int32_t firstSector, int sectors,
                std::uint8_t* buffer) override;
  int readAudioFlagged(int descriptor, std::int32_t firstSector, int sectors, std::uint8_t* buffer,
                       std::uint8_t* flagged) override;
  platform::linux_cd::C2Mode errorPointers(int descriptor) override;
  int close(int descriptor) override { return registry_.close(descriptor); }
  // Takes the medium out for good: reads fail with ENOMEDIUM from then on.
  bool eject(const platform::linux_cd::OpticalDevice& device) override;

 private:
  struct Delivered {
    std::vector<std::uint8_t> audio;
    bool wrong = false;
  };

  // Reads one sector, from the cache or the surface; 0, or the error number.
  int readSectorLocked(int descriptor, std::int32_t sector, Delivered& delivered);

  const Options options_;
  platform::image::ImageDriveRegistry registry_;
  platform::linux_cd::OpticalDevice device_;

  mutable std::mutex mutex_;
  bool mediumPresent_ = true;
  std::int32_t removalSector_ = -1;
  std::map<std::int32_t, SectorScript> scripts_;
  std::map<std::int32_t, int> surfaceReads_;
  std::map<std::int32_t, int> reads_;
  std::int64_t totalReads_ = 0;
  int requests_ = 0;
  int mostRequests_ = 0;
  std::map<std::int32_t, Delivered> cache_;
  std::deque<std::int32_t> cacheOrder_;            // oldest first
  std::chrono::steady_clock::time_point readyAt_;  // when the surface reads so far are done
};

}  // namespace noru::testing
