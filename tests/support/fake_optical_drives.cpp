#include "support/fake_optical_drives.h"

#include <algorithm>
#include <cerrno>

#include "platform/linux/audio_device.h"

namespace noru::testing {

using platform::linux_cd::FullTocReply;
using platform::linux_cd::OpticalDevice;

class FakeOpticalDrives::Subscription final : public platform::linux_cd::EventSubscription {
 public:
  Subscription(std::shared_ptr<Handlers> handlers, int id)
      : handlers_(std::move(handlers)), id_(id) {}
  ~Subscription() override { handlers_->erase(id_); }

 private:
  std::shared_ptr<Handlers> handlers_;
  int id_;
};

std::vector<std::uint8_t> FakeOpticalDrives::pattern(std::int32_t firstSector,
                                                     std::int32_t sectors) {
  constexpr auto kBytes = platform::linux_cd::kAudioSectorBytes;
  std::vector<std::uint8_t> bytes;
  bytes.reserve(static_cast<std::size_t>(sectors) * kBytes);
  for (std::int32_t s = 0; s < sectors; ++s) {
    for (std::size_t i = 0; i < kBytes; ++i) {
      bytes.push_back(static_cast<std::uint8_t>(((firstSector + s) * 7 + i * 13 + i / 256) & 0xFF));
    }
  }
  return bytes;
}

void FakeOpticalDrives::emit(const platform::linux_cd::DeviceEvent& event) {
  const auto handlers = *handlers_;  // a handler may end a subscription
  for (const auto& [id, handler] : handlers) {
    if (handlers_->contains(id)) {
      handler(event);
    }
  }
}

std::optional<std::vector<OpticalDevice>> FakeOpticalDrives::devices() {
  return deviceList;
}

std::unique_ptr<platform::linux_cd::EventSubscription> FakeOpticalDrives::subscribe(
    platform::linux_cd::DeviceEventHandler onEvent) {
  (*handlers_)[nextHandler_] = std::move(onEvent);
  return std::make_unique<Subscription>(handlers_, nextHandler_++);
}

FullTocReply FakeOpticalDrives::readFullToc(const std::string& bsdName) {
  const auto found = tocReplies.find(bsdName);
  return found == tocReplies.end() ? FullTocReply{FullTocReply::Outcome::noToc, {}} : found->second;
}

int FakeOpticalDrives::open(const std::string&) {
  if (openError != 0) {
    errno = openError;
    return -1;
  }
  ++opens;
  return nextDescriptor_++;
}

int FakeOpticalDrives::readAudio(int descriptor, std::int32_t firstSector, int sectors,
                                 std::uint8_t* buffer) {
  const AudioRead read{descriptor, firstSector, sectors};
  reads.push_back(read);
  if (readHook) {
    return readHook(read, buffer);
  }
  const auto bytes = pattern(firstSector, sectors);
  std::copy(bytes.begin(), bytes.end(), buffer);
  return 0;
}

int FakeOpticalDrives::close(int) {
  ++closes;
  return 0;
}

bool FakeOpticalDrives::eject(const OpticalDevice& device) {
  ejected.push_back(device);
  return true;
}

}  // namespace noru::testing
