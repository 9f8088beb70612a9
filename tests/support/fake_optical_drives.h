#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/linux/optical_drives.h"

namespace noru::testing {

// Optical drives that a test scripts: the device list, the full-TOC replies, what raw reads
// deliver, and the events, which `emit` hands to the subscribed handlers right away (call it
// on the main thread, as real events arrive). Records the calls that matter. A read task may
// use it from another thread, but without locks: script it before the task starts and look at
// the records once it has ended.
class FakeOpticalDrives final : public platform::linux_cd::OpticalDrives {
 public:
  struct AudioRead {
    int descriptor = 0;
    std::int32_t firstSector = 0;
    int sectors = 0;
    bool operator==(const AudioRead&) const = default;
  };
  // Answers one raw read in place of the default pattern: 0, or -1 with errno set.
  using ReadHook = std::function<int(const AudioRead& read, std::uint8_t* buffer)>;
  // Sees each full-TOC read of a block-device name before it is answered, on the reading
  // thread: a test counts the reads there or holds one. Its own state is the hook's to guard.
  using TocHook = std::function<void(const std::string& bsdName)>;

  // What the default raw read delivers: bytes that differ from sector to sector, so that a test
  // can tell whether the right sectors arrived in the right order.
  static std::vector<std::uint8_t> pattern(std::int32_t firstSector, std::int32_t sectors);

  void emit(const platform::linux_cd::DeviceEvent& event);

  // Scripting.
  std::optional<std::vector<platform::linux_cd::OpticalDevice>> deviceList =
      std::vector<platform::linux_cd::OpticalDevice>{};
  std::map<std::string, platform::linux_cd::FullTocReply> tocReplies;  // else noToc
  platform::linux_cd::DiscFacts discFacts;                             // of every drive
  std::map<int, std::string> isrcs;                                    // of every drive's disc
  int openError = 0;                                                   // 0: opens succeed
  ReadHook readHook;
  TocHook tocHook;
  // 0: a drive ejects unless it is still open, which the kernel refuses with EBUSY.
  int ejectError = 0;

  // Records. The opens and closes, and the drives ejected, may be looked at while a task of the
  // code under test uses the drives.
  std::atomic<int> opens = 0;
  std::atomic<int> closes = 0;
  std::vector<AudioRead> reads;
  std::vector<platform::linux_cd::OpticalDevice> ejected() const {
    std::lock_guard lock(ejectedMutex_);
    return ejected_;
  }

  std::optional<std::vector<platform::linux_cd::OpticalDevice>> devices() override {
    return deviceList;
  }
  std::unique_ptr<platform::linux_cd::EventSubscription> subscribe(
      platform::linux_cd::DeviceEventHandler onEvent) override;
  platform::linux_cd::FullTocReply readFullToc(const std::string& bsdName) override;
  platform::linux_cd::DiscFacts readDiscFacts(const std::string&) override { return discFacts; }
  std::map<int, std::string> readISRCs(const std::string&, const std::vector<int>&) override {
    return isrcs;
  }
  int open(const std::string& bsdName) override;
  int readAudio(int descriptor, std::int32_t firstSector, int sectors,
                std::uint8_t* buffer) override;
  int close(int) override {
    ++closes;
    return 0;
  }
  bool eject(const platform::linux_cd::OpticalDevice& device) override;

 private:
  mutable std::mutex ejectedMutex_;
  std::vector<platform::linux_cd::OpticalDevice> ejected_;
  using Handlers = std::map<int, platform::linux_cd::DeviceEventHandler>;

  std::shared_ptr<Handlers> handlers_ = std::make_shared<Handlers>();
  int nextHandler_ = 0;
  int nextDescriptor_ = 40;
};

}  // namespace noru::testing
