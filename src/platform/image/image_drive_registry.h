#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/linux/optical_drives.h"
#include "platform/linux/system_calls.h"

namespace noru::platform::image {

namespace detail {
struct ImageDriveState;
}

// The disc images that stand in for drives in this process. Each added image is a drive with
// its disc inserted: listed with a name, a stable identity (from the cue sheet's path) and a
// block-device name of its own ("image1", ...), answering the full-TOC request, serving raw
// audio reads, and leaving when ejected. Its comings and goings are announced on the main
// queue as the same events a real drive causes: appeared and statusChanged (medium present)
// when added; statusChanged (no medium) and then disappeared when ejected.
//
// Safe to use from any thread; events are delivered on the main thread.
class ImageDriveRegistry final : public linux_cd::OpticalDrives {
 public:
  explicit ImageDriveRegistry(linux_cd::SystemCalls& calls = linux_cd::systemCalls());
  ~ImageDriveRegistry() override;
  ImageDriveRegistry(const ImageDriveRegistry&) = delete;
  ImageDriveRegistry& operator=(const ImageDriveRegistry&) = delete;

  // The registry of the process, the one the application's drive list shows.
  static std::shared_ptr<ImageDriveRegistry> shared();

  // Loads the CUE/BIN image at `cuePath` and adds it as a drive. Returns the drive as the
  // device list shows it. Raises ImageError, whose text tells the user what is wrong, for an
  // image that cannot serve as a disc, or one already open and not ejected; nothing is added
  // then.
  linux_cd::OpticalDevice addImage(const std::filesystem::path& cuePath);

  bool isImageDrive(const std::string& bsdName) const;
  bool ownsDescriptor(int descriptor) const;

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
  int close(int descriptor) override;
  // Takes the disc out: reads fail with ENOMEDIUM from now on, and the drive leaves the list
  // once its events have been delivered, or as soon as its image is added again.
  bool eject(const linux_cd::OpticalDevice& device) override;

 private:
  std::shared_ptr<detail::ImageDriveState> state_;
};

}  // namespace noru::platform::image
