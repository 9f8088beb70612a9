#include "platform/image/image_drive_registry.h"

#include <fcntl.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <map>
#include <mutex>
#include <system_error>
#include <utility>

#include "platform/image/disc_image.h"
#include "platform/image/image_error.h"
#include "platform/image/image_full_toc.h"
#include "platform/image/image_sector_reader.h"
#include "platform/tasks/runtime.h"

namespace noru::platform::image {

using linux_cd::DeviceEvent;
using linux_cd::DeviceEventHandler;
using linux_cd::DeviceEventKind;
using linux_cd::OpticalDevice;

namespace {

std::string identityOf(const std::filesystem::path& cuePath) {
  std::error_code error;
  auto canonical = std::filesystem::weakly_canonical(std::filesystem::absolute(cuePath), error);
  return "image:" + (error ? cuePath : canonical).string();
}

int failWith(int error) {
  errno = error;
  return -1;
}

}  // namespace

namespace detail {

struct ImageDrive {
  std::string bsdName;
  std::string id;
  std::string name;
  std::shared_ptr<const DiscImage> image;
  std::vector<std::uint8_t> toc;
  bool mediumPresent = true;  // guarded by the registry's mutex
};

struct OpenImage {
  std::shared_ptr<ImageDrive> drive;
  std::vector<int> files;
};

struct Delivery {
  explicit Delivery(DeviceEventHandler handler) : handler(std::move(handler)) {}
  std::atomic<bool> active{true};
  DeviceEventHandler handler;
};

struct ImageDriveState {
  explicit ImageDriveState(linux_cd::SystemCalls& calls) : calls(calls) {}

  OpticalDevice deviceOf(const ImageDrive& drive) const {
    return {.productName = drive.name,
            .registryPath = drive.id,
            .mediaState = drive.mediumPresent ? linux_cd::kMediaPresent : linux_cd::kMediaNone,
            .bsdName = drive.bsdName,
            .isDiscImage = true};
  }

  std::shared_ptr<ImageDrive> findLocked(const std::string& bsdName) const {
    auto found = std::find_if(drives.begin(), drives.end(),
                              [&](const auto& drive) { return drive->bsdName == bsdName; });
    return found == drives.end() ? nullptr : *found;
  }

  void deliver(const DeviceEvent& event) {
    std::vector<std::shared_ptr<Delivery>> receivers;
    {
      std::lock_guard lock(mutex);
      receivers = deliveries;
    }
    for (const auto& receiver : receivers) {
      if (receiver->active.load(std::memory_order_acquire)) {
        receiver->handler(event);
      }
    }
  }

  linux_cd::SystemCalls& calls;
  mutable std::mutex mutex;
  std::vector<std::shared_ptr<ImageDrive>> drives;  // in the order they were added
  std::map<int, OpenImage> openImages;              // by the descriptor handed out
  std::vector<std::shared_ptr<Delivery>> deliveries;
  unsigned lastNumber = 0;
};

}  // namespace detail

using detail::Delivery;
using detail::ImageDrive;
using detail::OpenImage;

namespace {

// Runs `work` with the registry's state on a later turn of the main queue, unless the
// registry is gone by then.
void onMainQueue(const std::shared_ptr<detail::ImageDriveState>& state,
                 std::function<void(detail::ImageDriveState&)> work) {
  tasks::mainQueue().post(
      [weak = std::weak_ptr<detail::ImageDriveState>(state), work = std::move(work)] {
        if (auto alive = weak.lock()) {
          work(*alive);
        }
      });
}

class ImageSubscription final : public linux_cd::EventSubscription {
 public:
  ImageSubscription(std::weak_ptr<detail::ImageDriveState> state,
                    std::shared_ptr<Delivery> delivery)
      : state_(std::move(state)), delivery_(std::move(delivery)) {}

  ~ImageSubscription() override {
    delivery_->active.store(false, std::memory_order_release);
    if (auto state = state_.lock()) {
      std::lock_guard lock(state->mutex);
      std::erase(state->deliveries, delivery_);
    }
  }

 private:
  std::weak_ptr<detail::ImageDriveState> state_;
  std::shared_ptr<Delivery> delivery_;
};

}  // namespace

ImageDriveRegistry::ImageDriveRegistry(linux_cd::SystemCalls& calls)
    : state_(std::make_shared<detail::ImageDriveState>(calls)) {}

ImageDriveRegistry::~ImageDriveRegistry() {
  std::map<int, OpenImage> stillOpen;
  {
    std::lock_guard lock(state_->mutex);
    stillOpen.swap(state_->openImages);
  }
  for (auto& [descriptor, open] : stillOpen) {
    for (int file : open.files) {
      state_->calls.close(file);
    }
  }
}

std::shared_ptr<ImageDriveRegistry> ImageDriveRegistry::shared() {
  static const auto registry = std::make_shared<ImageDriveRegistry>();
  return registry;
}

OpticalDevice ImageDriveRegistry::addImage(const std::filesystem::path& cuePath) {
  auto drive = std::make_shared<ImageDrive>();
  auto image = std::make_shared<const DiscImage>(loadDiscImage(cuePath));
  drive->toc = imageFullToc(*image);
  drive->image = std::move(image);
  drive->id = identityOf(cuePath);
  drive->name = cuePath.stem().string() + " (disc image)";

  OpticalDevice device;
  {
    std::lock_guard lock(state_->mutex);
    const auto sameImage = std::find_if(state_->drives.begin(), state_->drives.end(),
                                        [&](const auto& other) { return other->id == drive->id; });
    if (sameImage != state_->drives.end()) {
      if ((*sameImage)->mediumPresent) {
        throw ImageError("The image \"" + cuePath.string() + "\" is already open as a drive.");
      }
      // An ejected drive of this image only waits for its events to go out; it leaves at once,
      // so that the list never shows two drives with one identity. Its pending events stay
      // harmless, and the new drive's come after them.
      state_->drives.erase(sameImage);
    }
    drive->bsdName = "image" + std::to_string(++state_->lastNumber);
    state_->drives.push_back(drive);
    device = state_->deviceOf(*drive);
  }
  onMainQueue(state_, [device](detail::ImageDriveState& state) {
    state.deliver({DeviceEventKind::appeared, device});
    state.deliver({DeviceEventKind::statusChanged, device});
  });
  return device;
}

bool ImageDriveRegistry::isImageDrive(const std::string& bsdName) const {
  std::lock_guard lock(state_->mutex);
  return state_->findLocked(bsdName) != nullptr;
}

bool ImageDriveRegistry::ownsDescriptor(int descriptor) const {
  std::lock_guard lock(state_->mutex);
  return state_->openImages.contains(descriptor);
}

std::optional<std::vector<OpticalDevice>> ImageDriveRegistry::devices() {
  std::lock_guard lock(state_->mutex);
  std::vector<OpticalDevice> list;
  for (const auto& drive : state_->drives) {
    list.push_back(state_->deviceOf(*drive));
  }
  return list;
}

std::unique_ptr<linux_cd::EventSubscription> ImageDriveRegistry::subscribe(
    DeviceEventHandler onEvent) {
  auto delivery = std::make_shared<Delivery>(std::move(onEvent));
  {
    std::lock_guard lock(state_->mutex);
    state_->deliveries.push_back(delivery);
  }
  return std::make_unique<ImageSubscription>(state_, std::move(delivery));
}

linux_cd::FullTocReply ImageDriveRegistry::readFullToc(const std::string& bsdName) {
  using Outcome = linux_cd::FullTocReply::Outcome;
  std::lock_guard lock(state_->mutex);
  const auto drive = state_->findLocked(bsdName);
  if (!drive) {
    return {Outcome::deviceUnavailable, {}};
  }
  if (!drive->mediumPresent) {
    return {Outcome::noToc, {}};
  }
  return {Outcome::ok, drive->toc};
}

linux_cd::DiscFacts ImageDriveRegistry::readDiscFacts(const std::string& bsdName) {
  std::lock_guard lock(state_->mutex);
  const auto drive = state_->findLocked(bsdName);
  return drive && drive->mediumPresent ? drive->image->facts : linux_cd::DiscFacts{};
}

std::map<int, std::string> ImageDriveRegistry::readISRCs(const std::string& bsdName,
                                                         const std::vector<int>& tracks) {
  std::lock_guard lock(state_->mutex);
  const auto drive = state_->findLocked(bsdName);
  std::map<int, std::string> isrcs;
  for (const int track : tracks) {
    if (drive && drive->mediumPresent && drive->image->isrcs.contains(track)) {
      isrcs[track] = drive->image->isrcs.at(track);
    }
  }
  return isrcs;
}

int ImageDriveRegistry::open(const std::string& bsdName) {
  std::shared_ptr<ImageDrive> drive;
  {
    std::lock_guard lock(state_->mutex);
    drive = state_->findLocked(bsdName);
    if (!drive) {
      return failWith(ENOENT);
    }
    if (!drive->mediumPresent) {
      return failWith(ENOMEDIUM);
    }
  }
  OpenImage open{drive, {}};
  for (const auto& file : drive->image->files) {
    const int descriptor = state_->calls.open(file.path.c_str(), O_RDONLY | O_CLOEXEC);
    if (descriptor < 0) {
      const int error = errno;
      for (int opened : open.files) {
        state_->calls.close(opened);
      }
      return failWith(error);
    }
    open.files.push_back(descriptor);
  }
  const int handle = open.files.front();
  std::lock_guard lock(state_->mutex);
  state_->openImages.emplace(handle, std::move(open));
  return handle;
}

int ImageDriveRegistry::readAudio(int descriptor, std::int32_t firstSector, int sectors,
                                  std::uint8_t* buffer) {
  std::shared_ptr<ImageDrive> drive;
  std::vector<int> files;
  {
    std::lock_guard lock(state_->mutex);
    const auto found = state_->openImages.find(descriptor);
    if (found == state_->openImages.end()) {
      return failWith(EBADF);
    }
    if (!found->second.drive->mediumPresent) {
      return failWith(ENOMEDIUM);
    }
    drive = found->second.drive;
    files = found->second.files;
  }
  return readImageSectors(state_->calls, *drive->image, files, firstSector, sectors, buffer);
}

int ImageDriveRegistry::close(int descriptor) {
  OpenImage open;
  {
    std::lock_guard lock(state_->mutex);
    auto found = state_->openImages.find(descriptor);
    if (found == state_->openImages.end()) {
      return failWith(EBADF);
    }
    open = std::move(found->second);
    state_->openImages.erase(found);
  }
  int result = 0;
  for (int file : open.files) {
    if (state_->calls.close(file) != 0) {
      result = -1;
    }
  }
  return result;
}

bool ImageDriveRegistry::eject(const OpticalDevice& device) {
  if (!device.bsdName) {
    return false;
  }
  std::shared_ptr<ImageDrive> drive;
  OpticalDevice ejected;
  {
    std::lock_guard lock(state_->mutex);
    drive = state_->findLocked(*device.bsdName);
    if (!drive || !drive->mediumPresent) {
      return false;
    }
    drive->mediumPresent = false;
    ejected = state_->deviceOf(*drive);
  }
  // The drive stays listed, without its medium, while the medium change is delivered; it
  // leaves on the next turn, or sooner when its image is added again. A watcher that lists the
  // drives later than that (off the main thread) no longer finds it, and goes by the identity
  // the event carries.
  onMainQueue(state_, [ejected](detail::ImageDriveState& state) {
    state.deliver({DeviceEventKind::statusChanged, ejected});
  });
  onMainQueue(state_, [drive, ejected](detail::ImageDriveState& state) {
    {
      std::lock_guard lock(state.mutex);
      std::erase(state.drives, drive);
    }
    state.deliver({DeviceEventKind::disappeared, ejected});
  });
  return true;
}

}  // namespace noru::platform::image
