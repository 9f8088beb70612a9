// A CUE/BIN image as a drive, seen only through the disc operations: it appears, its table of
// contents gives the sheet's tracks, a track reads back byte for byte, and eject removes it.
#include <gtest/gtest.h>

#include <atomic>

#include "disc/cd_detection_service.h"
#include "disc/eject_cd_drive.h"
#include "disc/read_cd_sectors.h"
#include "platform/image/image_drive_registry.h"
#include "platform/image/system_drives.h"
#include "state/cd_rip_action.h"
#include "support/disc_image_writer.h"
#include "support/fake_optical_drives.h"
#include "support/runtime_fixture.h"
#include "support/scripted_system_calls.h"
#include "support/temporary_folder.h"

namespace noru::disc {
namespace {

namespace actions = state::CDRipActions;

state::AnyAction rip(state::CDRipAction action) {
  return action;
}

class ImageDriveEndToEndTest : public noru::testing::RuntimeFixture {
 protected:
  ImageDriveEndToEndTest() {
    service->detectDrives.deviceList = drives;
    service->readDiscInfo.tocSource = drives;
    service->deviceEvents = drives;
    readSectors.device = drives;
    eject.deviceList = drives;
    eject.ejector = drives;
  }

  std::vector<state::AnyAction> take() { return std::exchange(dispatched, {}); }

  noru::testing::TemporaryFolder folder;
  noru::testing::ScriptedSystemCalls calls;  // counts every image file opened and closed
  std::shared_ptr<platform::image::ImageDriveRegistry> images =
      std::make_shared<platform::image::ImageDriveRegistry>(calls);
  // No real drives take part, whatever the machine has.
  std::shared_ptr<platform::image::SystemDrives> drives =
      std::make_shared<platform::image::SystemDrives>(
          std::make_shared<noru::testing::FakeOpticalDrives>(), images);
  std::shared_ptr<CDDetectionService> service = CDDetectionService::create();
  ReadCDSectors readSectors;
  EjectCDDrive eject;
  std::vector<state::AnyAction> dispatched;
};

TEST_F(ImageDriveEndToEndTest, ImageAppearsReadsBackExactlyAndLeavesWhenEjected) {
  const auto image =
      noru::testing::writeDiscImage(folder.path(), "Album",
                                    {{.sectors = 150},
                                     {.sectors = 200, .indexZeroSectors = 30},
                                     {.sectors = 120, .silentPregapSectors = 75, .newFile = true},
                                     {.sectors = 90, .data = true, .newFile = true}});
  service->start([this](state::AnyAction action) { dispatched.push_back(std::move(action)); });
  EXPECT_EQ(take(), std::vector{rip(actions::drivesUpdated{{}})});

  const auto added = images->addImage(image.cuePath);
  EXPECT_TRUE(dispatched.empty()) << "the image is announced on a later turn";
  mainQueue.runPending();
  const CDDrive drive{*added.registryPath, "Album (disc image)", *added.bsdName, true};
  const auto& t = image.tracks;
  const CDDiscInfo expected{{{1, t[0].startSector, t[1].startSector - t[0].startSector},
                             {2, t[1].startSector, t[2].startSector - t[1].startSector},
                             {3, t[2].startSector, t[3].startSector - t[2].startSector}},
                            t[3].startSector};
  EXPECT_EQ(take(),
            (std::vector{rip(actions::drivesUpdated{{drive}}), rip(actions::drivesUpdated{{drive}}),
                         rip(actions::discInserted{drive, expected})}));

  // Track 2 runs up to track 3's INDEX 01: its own audio, then track 3's silent pregap.
  const auto& track = expected.tracks[1];
  std::atomic<bool> done = false;
  auto read = runner.spawn([&](std::stop_token) {
    auto bytes = readSectors(
        drive.bsdPath, track.startSector, track.sectorCount, [](double) {},
        std::make_shared<ReadCDSectors::ReadTaskBox>());
    done = true;
    return bytes;
  });
  ASSERT_TRUE(mainQueue.runUntil([&] { return done.load(); }));
  EXPECT_TRUE(read.value() == image.discAudio(track.startSector, track.sectorCount));
  EXPECT_GT(calls.opened(), 0);
  EXPECT_TRUE(calls.stillOpen().empty());

  eject(drive.id);
  mainQueue.runPending();
  auto ejectedDrive = drive;
  ejectedDrive.hasDisc = false;
  EXPECT_EQ(take(),
            (std::vector{rip(actions::drivesUpdated{{ejectedDrive}}),
                         rip(actions::discEjected{drive.id}), rip(actions::drivesUpdated{{}})}));
  EXPECT_FALSE(images->isImageDrive(drive.bsdPath));
  service->stop();
}

}  // namespace
}  // namespace noru::disc
