#include "support/fake_optical_drives.h"

#include <algorithm>
#include <cerrno>

#include "platform/linux/audio_device.h"

namespace noru::testing {

using platform::linux_cd::DeviceEvent;
using platform::linux_cd::FullTocReply;
using platform::linux_cd::OpticalDevice;

class FakeOpticalDrives::Subscription final : public platform::linux_cd::EventSubscription {
 public:
  explicit Subscription(std::shared_ptr<Handler> handler) : handler_(std::move(handler)) {}
  ~Subscription() override { handler_->active = false; }

 private:
  std::shared_ptr<Handler> handler_;
};

std::uint8_t FakeOpticalDrives::patternByte(std::int32_t sector, std::size_t offset) {
  return static_cast<std::uint8_t>((sector * 7 + offset * 13 + offset / 256) & 0xFF);
}

std::vector<std::uint8_t> FakeOpticalDrives::pattern(std::int32_t firstSector,
                                                     std::int32_t sectors) {
  constexpr auto kBytes = platform::linux_cd::kAudioSectorBytes;
  std::vector<std::uint8_t> bytes;
  bytes.reserve(static_cast<std::size_t>(sectors) * kBytes);
  for (std::int32_t s = 0; s < sectors; ++s) {
    for (std::size_t i = 0; i < kBytes; ++i) {
      bytes.push_back(patternByte(firstSector + s, i));
    }
  }
  return bytes;
}

void FakeOpticalDrives::setDevices(std::optional<std::vector<OpticalDevice>> devices) {
  std::lock_guard lock(mutex_);
  devices_ = std::move(devices);
}

void FakeOpticalDrives::setTocReply(const std::string& bsdName, FullTocReply reply) {
  std::lock_guard lock(mutex_);
  tocReplies_[bsdName] = std::move(reply);
}

void FakeOpticalDrives::setOpenError(int error) {
  std::lock_guard lock(mutex_);
  openError_ = error;
}

void FakeOpticalDrives::setReadHook(ReadHook hook) {
  std::lock_guard lock(mutex_);
  readHook_ = std::move(hook);
}

void FakeOpticalDrives::emit(const DeviceEvent& event) {
  std::vector<std::shared_ptr<Handler>> handlers;
  {
    std::lock_guard lock(mutex_);
    handlers = handlers_;
  }
  for (const auto& handler : handlers) {
    if (handler->active) {
      handler->onEvent(event);
    }
  }
}

int FakeOpticalDrives::opens() const {
  std::lock_guard lock(mutex_);
  return opens_;
}

int FakeOpticalDrives::closes() const {
  std::lock_guard lock(mutex_);
  return closes_;
}

std::vector<int> FakeOpticalDrives::openDescriptors() const {
  std::lock_guard lock(mutex_);
  return openDescriptors_;
}

std::vector<FakeOpticalDrives::AudioRead> FakeOpticalDrives::reads() const {
  std::lock_guard lock(mutex_);
  return reads_;
}

std::vector<std::string> FakeOpticalDrives::tocRequests() const {
  std::lock_guard lock(mutex_);
  return tocRequests_;
}

std::vector<OpticalDevice> FakeOpticalDrives::ejected() const {
  std::lock_guard lock(mutex_);
  return ejected_;
}

std::size_t FakeOpticalDrives::activeSubscriptions() const {
  std::lock_guard lock(mutex_);
  return static_cast<std::size_t>(std::count_if(
      handlers_.begin(), handlers_.end(), [](const auto& handler) { return handler->active; }));
}

std::optional<std::vector<OpticalDevice>> FakeOpticalDrives::devices() {
  std::lock_guard lock(mutex_);
  return devices_;
}

std::unique_ptr<platform::linux_cd::EventSubscription> FakeOpticalDrives::subscribe(
    platform::linux_cd::DeviceEventHandler onEvent) {
  auto handler = std::make_shared<Handler>(Handler{std::move(onEvent)});
  std::lock_guard lock(mutex_);
  handlers_.push_back(handler);
  return std::make_unique<Subscription>(std::move(handler));
}

FullTocReply FakeOpticalDrives::readFullToc(const std::string& bsdName) {
  std::lock_guard lock(mutex_);
  tocRequests_.push_back(bsdName);
  const auto found = tocReplies_.find(bsdName);
  return found == tocReplies_.end() ? FullTocReply{FullTocReply::Outcome::noToc, {}}
                                    : found->second;
}

int FakeOpticalDrives::open(const std::string&) {
  std::lock_guard lock(mutex_);
  if (openError_ != 0) {
    errno = openError_;
    return -1;
  }
  ++opens_;
  openDescriptors_.push_back(nextDescriptor_);
  return nextDescriptor_++;
}

int FakeOpticalDrives::readAudio(int descriptor, std::int32_t firstSector, int sectors,
                                 std::uint8_t* buffer) {
  const AudioRead read{descriptor, firstSector, sectors};
  ReadHook hook;
  {
    std::lock_guard lock(mutex_);
    reads_.push_back(read);
    hook = readHook_;
  }
  if (hook) {
    return hook(read, buffer);
  }
  const auto bytes = pattern(firstSector, sectors);
  std::copy(bytes.begin(), bytes.end(), buffer);
  return 0;
}

int FakeOpticalDrives::close(int descriptor) {
  std::lock_guard lock(mutex_);
  ++closes_;
  std::erase(openDescriptors_, descriptor);
  return 0;
}

bool FakeOpticalDrives::eject(const OpticalDevice& device) {
  std::lock_guard lock(mutex_);
  ejected_.push_back(device);
  return true;
}

}  // namespace noru::testing
