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
#include "support/temporary_folder.h"
#include "support/scripted_system_calls.h"

namespace noru::disc {
namespace {

namespace actions = state::CDRipActions;
using noru::testing::ImageTrackPlan;

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

  template <class Case>
  std::vector<Case> dispatchedOf() const {
    std::vector<Case> found;
    for (const auto& action : dispatched) {
      if (const auto* rip = std::get_if<state::CDRipAction>(&action)) {
        if (const auto* match = std::get_if<Case>(rip)) {
          found.push_back(*match);
        }
      }
    }
    return found;
  }

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
  const auto image = noru::testing::writeDiscImage(
      folder.path(), "Album",
      {{.sectors = 150},
       {.sectors = 200, .indexZeroSectors = 30},
       {.sectors = 120, .silentPregapSectors = 75, .newFile = true},
       {.sectors = 90, .kind = ImageTrackPlan::Kind::mode1Data, .newFile = true}});
  service->start([this](state::AnyAction action) { dispatched.push_back(std::move(action)); });
  ASSERT_EQ(dispatchedOf<actions::drivesUpdated>().back().drives, std::vector<CDDrive>{});

  const auto added = images->addImage(image.cuePath);
  EXPECT_TRUE(dispatched.size() == 1) << "the image is announced on a later turn";
  mainQueue.runPending();

  const CDDrive drive{*added.registryPath, "Album (disc image)", *added.bsdName, true};
  EXPECT_EQ(dispatchedOf<actions::drivesUpdated>().back().drives, std::vector{drive});
  const auto& t = image.tracks;
  const CDDiscInfo expected{{{1, t[0].startSector, t[1].startSector - t[0].startSector},
                             {2, t[1].startSector, t[2].startSector - t[1].startSector},
                             {3, t[2].startSector, t[3].startSector - t[2].startSector}},
                            t[3].startSector};
  ASSERT_EQ(dispatchedOf<actions::discInserted>(),
            (std::vector{actions::discInserted{drive, expected}}));

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
  const auto bytes = read.value();
  EXPECT_EQ(bytes.size(), static_cast<std::size_t>(track.sectorCount) * 2352);
  EXPECT_TRUE(bytes == image.discAudio(track.startSector, track.sectorCount));
  EXPECT_TRUE(std::equal(bytes.begin(), bytes.begin() + 200 * 2352,
                         noru::testing::synthesizedAudio(2, 200).begin()));
  EXPECT_GT(calls.opened(), 0);
  EXPECT_TRUE(calls.stillOpen().empty());

  dispatched.clear();
  eject(drive.id);
  mainQueue.runPending();
  auto ejectedDrive = drive;
  ejectedDrive.hasDisc = false;
  EXPECT_EQ(dispatchedOf<actions::discEjected>(), std::vector{actions::discEjected{drive.id}});
  EXPECT_EQ(dispatchedOf<actions::drivesUpdated>(),
            (std::vector{actions::drivesUpdated{{ejectedDrive}}, actions::drivesUpdated{{}}}));
  EXPECT_FALSE(images->isImageDrive(drive.bsdPath));
  service->stop();
}

}  // namespace
}  // namespace noru::disc
