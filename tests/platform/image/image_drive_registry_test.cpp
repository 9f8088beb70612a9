#include "platform/image/image_drive_registry.h"

#include <gtest/gtest.h>

#include <cerrno>

#include "platform/image/image_error.h"
#include "platform/image/system_drives.h"
#include "support/disc_image_writer.h"
#include "support/fake_optical_drives.h"
#include "support/runtime_fixture.h"
#include "support/scripted_system_calls.h"
#include "support/temporary_folder.h"

namespace noru::platform::image {
namespace {

using linux_cd::DeviceEvent;
using linux_cd::DeviceEventKind;
using linux_cd::FullTocReply;
using linux_cd::OpticalDevice;

class ImageDriveRegistryTest : public noru::testing::RuntimeFixture {
 protected:
  ImageDriveRegistryTest() {
    image =
        noru::testing::writeDiscImage(folder.path(), "Live",
                                      {{.sectors = 100},
                                       {.sectors = 20, .data = true},
                                       {.sectors = 100, .indexZeroSectors = 10, .newFile = true}});
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

// What the reads deliver is checked end to end, through the disc operations.
TEST_F(ImageDriveRegistryTest, ReadsRefuseWhatIsNoAudioAndCloseEveryFile) {
  const auto device = registry->addImage(image.cuePath);
  ASSERT_TRUE(device.bsdName);
  const int handle = registry->open(*device.bsdName);
  EXPECT_EQ(calls.opened(), 2);  // one descriptor per FILE entry
  std::vector<std::uint8_t> buffer(75 * 2352);
  EXPECT_EQ(registry->readAudio(handle, 0, 75, buffer.data()), 0);
  for (std::int32_t first : {95, image.leadOutSector - 5}) {  // the data track; the lead-out
    errno = 0;
    EXPECT_EQ(registry->readAudio(handle, first, 10, buffer.data()), -1);
    EXPECT_EQ(errno, EIO) << "from " << first;
  }

  EXPECT_EQ(registry->close(handle), 0);
  EXPECT_EQ(calls.closed(), 2);
  EXPECT_TRUE(calls.stillOpen().empty());
  EXPECT_EQ(registry->close(handle), -1);
  EXPECT_EQ(registry->readAudio(handle, 0, 1, buffer.data()), -1);
  EXPECT_EQ(errno, EBADF);
}

// The events an eject sends are checked end to end, through the disc watcher.
TEST_F(ImageDriveRegistryTest, EjectedImageServesNothingMoreAndCanBeOpenedAgain) {
  const auto device = registry->addImage(image.cuePath);
  const int handle = registry->open(*device.bsdName);
  EXPECT_TRUE(registry->eject(device));
  EXPECT_FALSE(registry->eject(device));

  std::vector<std::uint8_t> buffer(2352);
  EXPECT_EQ(registry->readAudio(handle, 0, 1, buffer.data()), -1);
  EXPECT_EQ(errno, ENOMEDIUM);
  EXPECT_EQ(registry->open(*device.bsdName), -1);
  EXPECT_EQ(errno, ENOMEDIUM);
  EXPECT_EQ(registry->readFullToc(*device.bsdName).outcome, FullTocReply::Outcome::noToc);

  // The same image opens again at once, under the same identity, before the ejected drive's
  // events are out: that drive leaves the list for the new one, its descriptor still failing.
  const auto reopened = registry->addImage(image.cuePath);
  EXPECT_EQ(reopened.registryPath, device.registryPath);
  EXPECT_EQ(registry->devices(), std::vector{reopened});
  EXPECT_EQ(registry->readAudio(handle, 0, 1, buffer.data()), -1);
  EXPECT_EQ(errno, ENOMEDIUM);
  mainQueue.runPending();
  EXPECT_EQ(registry->devices(), std::vector{reopened});
  EXPECT_EQ(events.back(), (DeviceEvent{DeviceEventKind::statusChanged, reopened}));
  EXPECT_EQ(registry->close(handle), 0);
  EXPECT_TRUE(calls.stillOpen().empty());
}

TEST_F(ImageDriveRegistryTest, RefusedImagesAddNothingAndAnnounceNothing) {
  registry->addImage(image.cuePath);
  EXPECT_THROW(registry->addImage(image.cuePath), ImageError);  // already open
  EXPECT_THROW(registry->addImage(folder.path() / "missing.cue"), ImageError);
  EXPECT_EQ(registry->devices()->size(), 1u);
  mainQueue.runPending();
  EXPECT_EQ(events.size(), 2u);
}

TEST_F(ImageDriveRegistryTest, EndedSubscriptionsHearNothingAndTheRegistryClosesWhatIsOpen) {
  const auto device = registry->addImage(image.cuePath);
  ASSERT_GE(registry->open(*device.bsdName), 0);
  subscription.reset();
  mainQueue.runPending();
  EXPECT_TRUE(events.empty()) << "not even of events under way";
  registry.reset();
  EXPECT_TRUE(calls.stillOpen().empty());
}

// Images through SystemDrives are what the end-to-end disc test exercises; here the machine's
// own drive must keep getting every request that is not an image's.
TEST_F(ImageDriveRegistryTest, SystemDrivesSendEverythingElseToTheHardware) {
  auto hardware = std::make_shared<noru::testing::FakeOpticalDrives>();
  const OpticalDevice realDrive{"Real", "/sys/devices/a/block/sr0", "none", "sr0"};
  hardware->deviceList = std::vector{realDrive};
  SystemDrives drives(hardware, registry);
  const auto imageDrive = registry->addImage(image.cuePath);
  mainQueue.runPending();
  std::vector<DeviceEvent> seen;
  auto both = drives.subscribe([&](const DeviceEvent& event) { seen.push_back(event); });

  EXPECT_EQ(drives.devices(), (std::vector{realDrive, imageDrive}));
  EXPECT_EQ(drives.readFullToc("sr0").outcome, FullTocReply::Outcome::noToc);  // the fake's
  const int imageHandle = drives.open(*imageDrive.bsdName);
  const int realHandle = drives.open("sr0");
  std::vector<std::uint8_t> buffer(2352);
  EXPECT_EQ(drives.readAudio(imageHandle, 0, 1, buffer.data()), 0);
  EXPECT_EQ(drives.readAudio(realHandle, 7, 1, buffer.data()), 0);
  EXPECT_EQ(hardware->reads,
            (std::vector<noru::testing::FakeOpticalDrives::AudioRead>{{realHandle, 7, 1}}));
  EXPECT_EQ(drives.close(imageHandle), 0);
  EXPECT_EQ(drives.close(realHandle), 0);
  EXPECT_EQ(hardware->closes, 1);
  EXPECT_TRUE(drives.eject(realDrive));
  EXPECT_EQ(hardware->ejected, std::vector{realDrive});
  hardware->emit({DeviceEventKind::appeared, realDrive});
  EXPECT_EQ(seen, (std::vector<DeviceEvent>{{DeviceEventKind::appeared, realDrive}}));

  hardware->deviceList = std::nullopt;  // udev out of reach: the images are still listed
  EXPECT_EQ(drives.devices(), std::vector{imageDrive});
}

}  // namespace
}  // namespace noru::platform::image
