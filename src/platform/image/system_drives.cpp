#include "platform/image/system_drives.h"

#include <utility>

#include "platform/linux/linux_drives.h"

namespace noru::platform::image {
namespace {

class BothSubscriptions final : public linux_cd::EventSubscription {
 public:
  BothSubscriptions(std::unique_ptr<linux_cd::EventSubscription> first,
                    std::unique_ptr<linux_cd::EventSubscription> second)
      : first_(std::move(first)), second_(std::move(second)) {}

 private:
  std::unique_ptr<linux_cd::EventSubscription> first_;
  std::unique_ptr<linux_cd::EventSubscription> second_;
};

}  // namespace

SystemDrives::SystemDrives(std::shared_ptr<linux_cd::OpticalDrives> hardware,
                           std::shared_ptr<ImageDriveRegistry> images)
    : hardware_(std::move(hardware)), images_(std::move(images)) {}

std::optional<std::vector<linux_cd::OpticalDevice>> SystemDrives::devices() {
  auto drives = hardware_->devices();
  auto imageDrives = images_->devices().value_or(std::vector<linux_cd::OpticalDevice>{});
  if (!drives) {
    if (imageDrives.empty()) {
      return std::nullopt;
    }
    return imageDrives;
  }
  drives->insert(drives->end(), imageDrives.begin(), imageDrives.end());
  return drives;
}

std::unique_ptr<linux_cd::EventSubscription> SystemDrives::subscribe(
    linux_cd::DeviceEventHandler onEvent) {
  auto fromImages = images_->subscribe(onEvent);
  return std::make_unique<BothSubscriptions>(hardware_->subscribe(std::move(onEvent)),
                                             std::move(fromImages));
}

linux_cd::FullTocReply SystemDrives::readFullToc(const std::string& bsdName) {
  return routeName(bsdName).readFullToc(bsdName);
}

linux_cd::DiscFacts SystemDrives::readDiscFacts(const std::string& bsdName) {
  return routeName(bsdName).readDiscFacts(bsdName);
}

std::map<int, std::string> SystemDrives::readISRCs(const std::string& bsdName,
                                                   const std::vector<int>& tracks) {
  return routeName(bsdName).readISRCs(bsdName, tracks);
}

int SystemDrives::open(const std::string& bsdName) {
  return routeName(bsdName).open(bsdName);
}

int SystemDrives::readAudio(int descriptor, std::int32_t firstSector, int sectors,
                            std::uint8_t* buffer) {
  return routeDescriptor(descriptor).readAudio(descriptor, firstSector, sectors, buffer);
}

int SystemDrives::readAudioFlagged(int descriptor, std::int32_t firstSector, int sectors,
                                   std::uint8_t* buffer, std::uint8_t* flagged) {
  return routeDescriptor(descriptor)
      .readAudioFlagged(descriptor, firstSector, sectors, buffer, flagged);
}

linux_cd::C2Mode SystemDrives::errorPointers(int descriptor) {
  return routeDescriptor(descriptor).errorPointers(descriptor);
}

int SystemDrives::close(int descriptor) {
  return routeDescriptor(descriptor).close(descriptor);
}

bool SystemDrives::eject(const linux_cd::OpticalDevice& device) {
  return routeName(device.bsdName.value_or("")).eject(device);
}

linux_cd::OpticalDrives& SystemDrives::routeName(const std::string& bsdName) {
  if (images_->isImageDrive(bsdName)) {
    return *images_;
  }
  return *hardware_;
}

linux_cd::OpticalDrives& SystemDrives::routeDescriptor(int descriptor) {
  if (images_->ownsDescriptor(descriptor)) {
    return *images_;
  }
  return *hardware_;
}

std::shared_ptr<SystemDrives> systemDrives() {
  static const auto drives = std::make_shared<SystemDrives>(
      std::make_shared<linux_cd::LinuxDrives>(), ImageDriveRegistry::shared());
  return drives;
}

}  // namespace noru::platform::image
