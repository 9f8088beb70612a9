#pragma once

#include <algorithm>
#include <cerrno>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <utility>
#include <vector>

#include "platform/linux/optical_drives.h"

namespace noru::testing {

namespace linux_cd = platform::linux_cd;

// The application's drives with the raw reads passing through the test: a read that touches a
// chosen sector can be held until the test lets it go, so that the test acts while the import
// stands at a known place.
class InterceptedDrives final : public linux_cd::OpticalDrives {
 public:
  explicit InterceptedDrives(std::shared_ptr<linux_cd::OpticalDrives> drives)
      : drives_(std::move(drives)) {}
  ~InterceptedDrives() override { release(); }

  // The first read that touches `sector` waits until release().
  void holdReadAt(std::int32_t sector) {
    std::lock_guard lock(mutex_);
    holdAt_ = sector;
    held_ = released_ = false;
  }
  // Whether a read is waiting for release() now.
  bool isHolding() const {
    std::lock_guard lock(mutex_);
    return held_ && !released_;
  }
  void release() {
    std::lock_guard lock(mutex_);
    released_ = true;
    changed_.notify_all();
  }
  // Whether any read touched `sector` so far.
  bool wasRead(std::int32_t sector) const {
    std::lock_guard lock(mutex_);
    return std::ranges::any_of(reads_, [&](const Read& read) { return touches(read, sector); });
  }

  int readAudio(int descriptor, std::int32_t firstSector, int sectors,
                std::uint8_t* buffer) override {
    {
      std::unique_lock lock(mutex_);
      const Read read{firstSector, sectors};
      reads_.push_back(read);
      if (holdAt_ && touches(read, *holdAt_)) {
        holdAt_.reset();
        held_ = true;
        changed_.wait(lock, [this] { return released_; });
      }
    }
    return drives_->readAudio(descriptor, firstSector, sectors, buffer);
  }
  std::optional<std::vector<linux_cd::OpticalDevice>> devices() override {
    return drives_->devices();
  }
  std::unique_ptr<linux_cd::EventSubscription> subscribe(
      linux_cd::DeviceEventHandler onEvent) override {
    return drives_->subscribe(std::move(onEvent));
  }
  linux_cd::FullTocReply readFullToc(const std::string& bsdName) override {
    return drives_->readFullToc(bsdName);
  }
  linux_cd::DiscFacts readDiscFacts(const std::string& bsdName) override {
    return drives_->readDiscFacts(bsdName);
  }
  std::map<int, std::string> readISRCs(const std::string& bsdName,
                                       const std::vector<int>& tracks) override {
    return drives_->readISRCs(bsdName, tracks);
  }
  int open(const std::string& bsdName) override { return drives_->open(bsdName); }
  int close(int descriptor) override { return drives_->close(descriptor); }
  bool eject(const linux_cd::OpticalDevice& device) override { return drives_->eject(device); }

 private:
  using Read = std::pair<std::int32_t, int>;  // first sector and count
  static bool touches(const Read& read, std::int32_t sector) {
    return read.first <= sector && sector < read.first + read.second;
  }

  std::shared_ptr<linux_cd::OpticalDrives> drives_;
  mutable std::mutex mutex_;
  std::condition_variable changed_;
  std::optional<std::int32_t> holdAt_;
  bool held_ = false;
  bool released_ = false;
  std::vector<Read> reads_;
};

}  // namespace noru::testing
