#include "support/fake_optical_drives.h"

#include <algorithm>
#include <cerrno>

namespace noru::testing {

namespace linux_cd = platform::linux_cd;

namespace {

// Ends its handler's subscription when it goes.
struct Subscription final : linux_cd::EventSubscription {
  Subscription(std::shared_ptr<std::map<int, linux_cd::DeviceEventHandler>> handlers, int id)
      : handlers(std::move(handlers)), id(id) {}
  ~Subscription() override { handlers->erase(id); }
  std::shared_ptr<std::map<int, linux_cd::DeviceEventHandler>> handlers;
  int id;
};

}  // namespace

std::vector<std::uint8_t> FakeOpticalDrives::pattern(std::int32_t firstSector,
                                                     std::int32_t sectors) {
  std::vector<std::uint8_t> bytes;
  for (std::int32_t sector = firstSector; sector < firstSector + sectors; ++sector) {
    for (std::size_t i = 0; i < linux_cd::kAudioSectorBytes; ++i) {
      bytes.push_back(static_cast<std::uint8_t>((sector * 7 + i * 13 + i / 256) & 0xFF));
    }
  }
  return bytes;
}

void FakeOpticalDrives::emit(const linux_cd::DeviceEvent& event) {
  const auto handlers = *handlers_;  // a handler may end a subscription
  for (const auto& [id, handler] : handlers) {
    if (handlers_->contains(id)) {
      handler(event);
    }
  }
}

std::unique_ptr<linux_cd::EventSubscription> FakeOpticalDrives::subscribe(
    linux_cd::DeviceEventHandler onEvent) {
  (*handlers_)[nextHandler_] = std::move(onEvent);
  return std::make_unique<Subscription>(handlers_, nextHandler_++);
}

linux_cd::FullTocReply FakeOpticalDrives::readFullToc(const std::string& bsdName) {
  if (tocHook) {
    tocHook(bsdName);
  }
  const auto found = tocReplies.find(bsdName);
  return found == tocReplies.end() ? linux_cd::FullTocReply{linux_cd::FullTocReply::Outcome::noToc}
                                   : found->second;
}

int FakeOpticalDrives::open(const std::string&) {
  if (openError != 0) {
    errno = openError;
    return -1;
  }
  ++opens;
  return nextDescriptor_++;
}

bool FakeOpticalDrives::eject(const linux_cd::OpticalDevice& device) {
  const int error = ejectError != 0 ? ejectError : opens > closes ? EBUSY : 0;
  if (error != 0) {
    errno = error;
    return false;
  }
  std::lock_guard lock(ejectedMutex_);
  ejected_.push_back(device);
  return true;
}

int FakeOpticalDrives::readAudio(int descriptor, std::int32_t firstSector, int sectors,
                                 std::uint8_t* buffer) {
  const AudioRead read{descriptor, firstSector, sectors};
  reads.push_back(read);
  if (readHook) {
    return readHook(read, buffer);
  }
  std::ranges::copy(pattern(firstSector, sectors), buffer);
  return 0;
}

}  // namespace noru::testing
