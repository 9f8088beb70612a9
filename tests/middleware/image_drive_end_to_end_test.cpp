// A CUE/BIN image as a drive, seen only through the disc operations: it appears, its table of
// contents gives the sheet's tracks, a track reads back byte for byte, and eject removes it.
#include <gtest/gtest.h>

#include <atomic>

#include "disc/eject_cd_drive.h"
#include "disc/read_cd_sectors.h"
#include "middleware/cd_detection_service.h"
#include "platform/image/image_drive_registry.h"
#include "platform/image/system_drives.h"
#include "state/cd_rip_action.h"
#include "support/disc_image_writer.h"
#include "support/fake_optical_drives.h"
#include "support/runtime_fixture.h"
#include "support/scripted_system_calls.h"
#include "support/temporary_folder.h"

namespace noru::middleware {
namespace {

namespace actions = state::CDRipActions;
using disc::CDDiscInfo;
using disc::CDDrive;
using disc::CDTrackInfo;
using disc::ReadCDSectors;

state::AnyAction rip(state::CDRipAction action) {
  return action;
}

class ImageDriveEndToEndTest : public noru::testing::RuntimeFixture {
 protected:
  std::vector<state::AnyAction> take() { return std::exchange(dispatched, {}); }

  noru::testing::TemporaryFolder folder;
  noru::testing::ScriptedSystemCalls calls;  // counts every image file opened and closed
  std::shared_ptr<platform::image::ImageDriveRegistry> images =
      std::make_shared<platform::image::ImageDriveRegistry>(calls);
  // No real drives take part, whatever the machine has.
  std::shared_ptr<platform::image::SystemDrives> drives =
      std::make_shared<platform::image::SystemDrives>(
          std::make_shared<noru::testing::FakeOpticalDrives>(), images);
  std::shared_ptr<CDDetectionService> service = CDDetectionService::create(drives);
  disc::ReadCDSectors readSectors{drives};
  disc::EjectCDDrive eject{drives};
  std::vector<state::AnyAction> dispatched;
};

TEST_F(ImageDriveEndToEndTest, ImageAppearsReadsBackExactlyAndLeavesWhenEjected) {
  const auto image =
      noru::testing::writeDiscImage(folder.path(), "Album",
                                    {{.sectors = 150},
                                     {.sectors = 40, .data = true},
                                     {.sectors = 200, .indexZeroSectors = 30},
                                     {.sectors = 120, .silentPregapSectors = 75, .newFile = true},
                                     {.sectors = 90, .indexZeroSectors = 10, .newFile = true}});
  service->start([this](state::AnyAction action) { dispatched.push_back(std::move(action)); });
  EXPECT_EQ(take(), std::vector{rip(actions::drivesUpdated{{}})});

  const auto added = images->addImage(image.cuePath);
  EXPECT_TRUE(dispatched.empty()) << "the image is announced on a later turn";
  mainQueue.runPending();
  const CDDrive drive{*added.registryPath, "Album (disc image)", *added.bsdName, true};
  // Each audio track runs up to the next track's INDEX 01, the first one up to the data track.
  const auto& t = image.tracks;
  auto track = [&](std::int64_t number, int written, std::int32_t end) {
    return CDTrackInfo{number, t[written].startSector, end - t[written].startSector};
  };
  const CDDiscInfo expected{{track(1, 0, t[1].startSector), track(2, 2, t[3].startSector),
                             track(3, 3, t[4].startSector), track(4, 4, image.leadOutSector)},
                            image.leadOutSector};
  EXPECT_EQ(take(),
            (std::vector{rip(actions::drivesUpdated{{drive}}), rip(actions::drivesUpdated{{drive}}),
                         rip(actions::discInserted{drive, expected})}));

  // Tracks 2 to 4 in one run: audio after the data track's smaller sectors, a silent pregap, and
  // two more files, the last one opening with an INDEX 00 pregap.
  const auto first = expected.tracks[1].startSector;
  const auto count = expected.totalSectors - first;
  std::atomic<bool> done = false;
  auto read = runner.spawn([&](std::stop_token) {
    struct MarkDone {
      std::atomic<bool>& done;
      ~MarkDone() { done = true; }
    } mark{done};
    return readSectors(
        drive.bsdPath, first, count, [](double) {}, std::make_shared<ReadCDSectors::ReadTaskBox>());
  });
  ASSERT_TRUE(mainQueue.runUntil([&] { return done.load(); }));
  EXPECT_TRUE(read.value() == image.discAudio(first, count));
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
}  // namespace noru::middleware
