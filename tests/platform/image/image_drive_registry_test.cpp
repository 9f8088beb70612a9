#include "platform/image/image_drive_registry.h"

#include <gtest/gtest.h>

#include <cerrno>

#include "platform/image/image_error.h"
#include "platform/image/system_drives.h"
#include "support/disc_image_writer.h"
#include "support/fake_optical_drives.h"
#include "support/runtime_fixture.h"
#include "support/temporary_folder.h"
#include "support/scripted_system_calls.h"

namespace noru::platform::image {
namespace {

using linux_cd::DeviceEvent;
using linux_cd::DeviceEventKind;
using linux_cd::FullTocReply;
using linux_cd::OpticalDevice;

class ImageDriveRegistryTest : public noru::testing::RuntimeFixture {
 protected:
  ImageDriveRegistryTest() {
    image = noru::testing::writeDiscImage(
        folder.path(), "Live",
        {{.sectors = 100}, {.sectors = 100, .indexZeroSectors = 10, .newFile = true}});
    subscription = registry->subscribe([this](const DeviceEvent& event) {
      EXPECT_TRUE(mainQueue.isMainThread());
      events.push_back(event);
    });
  }

  noru::testing::TemporaryFolder folder;
  noru::testing::WrittenDiscImage image;
  noru::testing::ScriptedSystemCalls calls;
  std::shared_ptr<ImageDriveRegistry> registry = std::make_shared<ImageDriveRegistry>(calls);
  std::vector<DeviceEvent> events;
  std::unique_ptr<linux_cd::EventSubscription> subscription;
};

TEST_F(ImageDriveRegistryTest, AddedImageIsADriveWithItsDiscAnnouncedOnTheMainQueue) {
  const auto device = registry->addImage(image.cuePath);

  EXPECT_EQ(device.productName, "Live (disc image)");
  EXPECT_EQ(device.mediaState, linux_cd::kMediaPresent);
  EXPECT_EQ(device.registryPath, "image:" + std::filesystem::canonical(image.cuePath).string());
  ASSERT_TRUE(device.bsdName);
  EXPECT_TRUE(registry->isImageDrive(*device.bsdName));
  EXPECT_EQ(registry->devices(), std::vector{device});
  EXPECT_TRUE(events.empty());
  mainQueue.runPending();
  EXPECT_EQ(events, (std::vector<DeviceEvent>{{DeviceEventKind::appeared, device},
                                              {DeviceEventKind::statusChanged, device}}));

  const auto toc = registry->readFullToc(*device.bsdName);
  EXPECT_EQ(toc.outcome, FullTocReply::Outcome::ok);
  EXPECT_EQ(toc.bytes.size(), 4u + 5 * 11);
  EXPECT_EQ(registry->readFullToc("image999").outcome, FullTocReply::Outcome::deviceUnavailable);
}

TEST_F(ImageDriveRegistryTest, ReadsOpenAndCloseEveryFileOfTheImage) {
  const auto device = registry->addImage(image.cuePath);
  const int handle = registry->open(*device.bsdName);
  ASSERT_GE(handle, 0);
  EXPECT_TRUE(registry->ownsDescriptor(handle));
  EXPECT_EQ(calls.opened(), 2);  // one descriptor per FILE entry

  std::vector<std::uint8_t> buffer(75 * 2352);
  EXPECT_EQ(registry->readAudio(handle, 90, 25, buffer.data()), 0);  // across both files
  buffer.resize(25 * 2352);
  EXPECT_TRUE(buffer == image.discAudio(90, 25));

  EXPECT_EQ(registry->close(handle), 0);
  EXPECT_FALSE(registry->ownsDescriptor(handle));
  EXPECT_EQ(calls.closed(), 2);
  EXPECT_TRUE(calls.stillOpen().empty());
  EXPECT_EQ(registry->close(handle), -1);
  EXPECT_EQ(registry->readAudio(handle, 0, 1, buffer.data()), -1);
  EXPECT_EQ(errno, EBADF);
}

TEST_F(ImageDriveRegistryTest, EjectAnnouncesTheMediumLeavingAndThenTheDrive) {
  const auto device = registry->addImage(image.cuePath);
  mainQueue.runPending();
  events.clear();
  const int handle = registry->open(*device.bsdName);

  EXPECT_TRUE(registry->eject(device));
  EXPECT_FALSE(registry->eject(device));

  auto withoutMedium = device;
  withoutMedium.mediaState = linux_cd::kMediaNone;
  std::vector<std::uint8_t> buffer(2352);
  EXPECT_EQ(registry->readAudio(handle, 0, 1, buffer.data()), -1);
  EXPECT_EQ(errno, ENOMEDIUM);
  EXPECT_EQ(registry->open(*device.bsdName), -1);
  EXPECT_EQ(errno, ENOMEDIUM);
  EXPECT_EQ(registry->readFullToc(*device.bsdName).outcome, FullTocReply::Outcome::noToc);

  // Until the medium change has been delivered, the drive stays listed without its disc.
  std::vector<std::optional<std::vector<OpticalDevice>>> listedAtEachEvent;
  subscription = registry->subscribe([&](const DeviceEvent& event) {
    events.push_back(event);
    listedAtEachEvent.push_back(registry->devices());
  });
  EXPECT_EQ(registry->devices(), std::vector{withoutMedium});
  mainQueue.runPending();
  EXPECT_EQ(events, (std::vector<DeviceEvent>{{DeviceEventKind::statusChanged, withoutMedium},
                                              {DeviceEventKind::disappeared, withoutMedium}}));
  EXPECT_EQ(listedAtEachEvent, (std::vector<std::optional<std::vector<OpticalDevice>>>{
                                   std::vector{withoutMedium}, std::vector<OpticalDevice>{}}));
  EXPECT_FALSE(registry->isImageDrive(*device.bsdName));

  EXPECT_EQ(registry->close(handle), 0);
  EXPECT_TRUE(calls.stillOpen().empty());
  // Once gone, the same image can be opened again, under the same identity.
  EXPECT_EQ(registry->addImage(image.cuePath).registryPath, device.registryPath);
}

TEST_F(ImageDriveRegistryTest, RefusedImagesAddNothingAndAnnounceNothing) {
  registry->addImage(image.cuePath);
  EXPECT_THROW(registry->addImage(image.cuePath), ImageError);  // already open
  EXPECT_THROW(registry->addImage(folder.path() / "missing.cue"), ImageError);
  // The second file now ends before its track's INDEX 01.
  std::filesystem::resize_file(image.binPaths[1], 5 * 2352);
  const auto copy = folder.path() / "Copy.cue";
  std::filesystem::copy_file(image.cuePath, copy);
  EXPECT_THROW(registry->addImage(copy), ImageError);
  EXPECT_EQ(registry->devices()->size(), 1u);
  mainQueue.runPending();
  EXPECT_EQ(events.size(), 2u);
}

TEST_F(ImageDriveRegistryTest, EndedSubscriptionsHearNothingEvenOfEventsUnderWay) {
  registry->addImage(image.cuePath);
  subscription.reset();
  mainQueue.runPending();
  EXPECT_TRUE(events.empty());
}

TEST_F(ImageDriveRegistryTest, DescriptorsLeftOpenAreClosedWithTheRegistry) {
  const auto device = registry->addImage(image.cuePath);
  ASSERT_GE(registry->open(*device.bsdName), 0);
  subscription.reset();
  registry.reset();
  EXPECT_TRUE(calls.stillOpen().empty());
}

TEST_F(ImageDriveRegistryTest, SystemDrivesRouteImageNamesAndDescriptorsToTheRegistry) {
  auto hardware = std::make_shared<noru::testing::FakeOpticalDrives>();
  const OpticalDevice realDrive{"Real", "/sys/devices/a/block/sr0", "none", "sr0"};
  hardware->setDevices(std::vector{realDrive});
  SystemDrives drives(hardware, registry);
  const auto imageDrive = registry->addImage(image.cuePath);
  mainQueue.runPending();

  EXPECT_EQ(drives.devices(), (std::vector{realDrive, imageDrive}));
  EXPECT_EQ(drives.readFullToc(*imageDrive.bsdName).outcome, FullTocReply::Outcome::ok);
  EXPECT_EQ(drives.readFullToc("sr0").outcome, FullTocReply::Outcome::noToc);
  EXPECT_EQ(hardware->tocRequests(), std::vector<std::string>{"sr0"});

  const int imageHandle = drives.open(*imageDrive.bsdName);
  const int realHandle = drives.open("sr0");
  std::vector<std::uint8_t> buffer(2352);
  EXPECT_EQ(drives.readAudio(imageHandle, 0, 1, buffer.data()), 0);
  EXPECT_EQ(drives.readAudio(realHandle, 7, 1, buffer.data()), 0);
  EXPECT_EQ(hardware->reads(),
            (std::vector<noru::testing::FakeOpticalDrives::AudioRead>{{realHandle, 7, 1}}));
  EXPECT_EQ(drives.close(imageHandle), 0);
  EXPECT_EQ(drives.close(realHandle), 0);
  EXPECT_TRUE(hardware->openDescriptors().empty());
  EXPECT_TRUE(calls.stillOpen().empty());

  std::vector<DeviceEvent> seen;
  auto both = drives.subscribe([&](const DeviceEvent& event) { seen.push_back(event); });
  hardware->emit({DeviceEventKind::appeared, realDrive});
  EXPECT_TRUE(drives.eject(imageDrive));
  EXPECT_TRUE(drives.eject(realDrive));
  EXPECT_EQ(hardware->ejected(), std::vector{realDrive});
  mainQueue.runPending();
  ASSERT_EQ(seen.size(), 3u);
  EXPECT_EQ(seen[0].device, realDrive);
  EXPECT_EQ(seen[2].kind, DeviceEventKind::disappeared);

  hardware->setDevices(std::nullopt);
  EXPECT_EQ(drives.devices(), std::nullopt);
}

}  // namespace
}  // namespace noru::platform::image
