#pragma once

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
// on the main thread, as real events arrive). Records every call. Safe for a read task on
// another thread.
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

  // The byte that the default raw read delivers at `offset` of sector `sector`, so that a test
  // can tell whether the right sectors arrived in the right order.
  static std::uint8_t patternByte(std::int32_t sector, std::size_t offset);
  static std::vector<std::uint8_t> pattern(std::int32_t firstSector, std::int32_t sectors);

  // Scripting.
  void setDevices(std::optional<std::vector<platform::linux_cd::OpticalDevice>> devices);
  void setTocReply(const std::string& bsdName, platform::linux_cd::FullTocReply reply);
  void setOpenError(int error);  // 0: opens succeed
  void setReadHook(ReadHook hook);
  void emit(const platform::linux_cd::DeviceEvent& event);

  // Records.
  int opens() const;
  int closes() const;
  std::vector<int> openDescriptors() const;  // opened and not yet closed
  std::vector<AudioRead> reads() const;
  std::vector<std::string> tocRequests() const;
  std::vector<platform::linux_cd::OpticalDevice> ejected() const;
  std::size_t activeSubscriptions() const;

  std::optional<std::vector<platform::linux_cd::OpticalDevice>> devices() override;
  std::unique_ptr<platform::linux_cd::EventSubscription> subscribe(
      platform::linux_cd::DeviceEventHandler onEvent) override;
  platform::linux_cd::FullTocReply readFullToc(const std::string& bsdName) override;
  int open(const std::string& bsdName) override;
  int readAudio(int descriptor, std::int32_t firstSector, int sectors,
                std::uint8_t* buffer) override;
  int close(int descriptor) override;
  bool eject(const platform::linux_cd::OpticalDevice& device) override;

 private:
  struct Handler {
    platform::linux_cd::DeviceEventHandler onEvent;
    bool active = true;
  };
  class Subscription;

  mutable std::mutex mutex_;
  std::optional<std::vector<platform::linux_cd::OpticalDevice>> devices_ =
      std::vector<platform::linux_cd::OpticalDevice>{};
  std::map<std::string, platform::linux_cd::FullTocReply> tocReplies_;
  int openError_ = 0;
  ReadHook readHook_;
  int nextDescriptor_ = 40;
  int opens_ = 0;
  int closes_ = 0;
  std::vector<int> openDescriptors_;
  std::vector<AudioRead> reads_;
  std::vector<std::string> tocRequests_;
  std::vector<platform::linux_cd::OpticalDevice> ejected_;
  std::vector<std::shared_ptr<Handler>> handlers_;
};

}  // namespace noru::testing
