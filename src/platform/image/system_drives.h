#pragma once

#include <memory>

#include "platform/image/image_drive_registry.h"
#include "platform/linux/optical_drives.h"

namespace noru::platform::image {

// The drives the application sees: the machine's own and the disc images, in one list and one
// event stream. Requests for an image's block-device name (or for a descriptor opened on an
// image) go to the image registry, every other one to the hardware, so nothing above this
// layer can tell an image from a drive.
class SystemDrives final : public linux_cd::OpticalDrives {
 public:
  SystemDrives(std::shared_ptr<linux_cd::OpticalDrives> hardware,
               std::shared_ptr<ImageDriveRegistry> images);

  // The machine's drives first, then the images. Nothing only when the machine's drives
  // cannot be listed and no image is open.
  std::optional<std::vector<linux_cd::OpticalDevice>> devices() override;
  std::unique_ptr<linux_cd::EventSubscription> subscribe(
      linux_cd::DeviceEventHandler onEvent) override;
  linux_cd::FullTocReply readFullToc(const std::string& bsdName) override;
  linux_cd::DiscFacts readDiscFacts(const std::string& bsdName) override;
  std::map<int, std::string> readISRCs(const std::string& bsdName,
                                       const std::vector<int>& tracks) override;
  int open(const std::string& bsdName) override;
  int readAudio(int descriptor, std::int32_t firstSector, int sectors,
                std::uint8_t* buffer) override;
  int readAudioFlagged(int descriptor, std::int32_t firstSector, int sectors, std::uint8_t* buffer,
                       std::uint8_t* flagged) override;
  linux_cd::C2Mode errorPointers(int descriptor) override;
  int close(int descriptor) override;
  bool eject(const linux_cd::OpticalDevice& device) override;

 private:
  linux_cd::OpticalDrives& routeName(const std::string& bsdName);
  linux_cd::OpticalDrives& routeDescriptor(int descriptor);

  std::shared_ptr<linux_cd::OpticalDrives> hardware_;
  std::shared_ptr<ImageDriveRegistry> images_;
};

// The process's drives: the Linux drives and ImageDriveRegistry::shared().
std::shared_ptr<SystemDrives> systemDrives();

}  // namespace noru::platform::image
