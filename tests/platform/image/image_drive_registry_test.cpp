#include "platform/image/image_drive_registry.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <fstream>

#include "disc/parse_full_toc.h"
#include "platform/image/disc_image.h"
#include "platform/image/image_error.h"
#include "platform/image/system_drives.h"
#include "support/cd_text_writer.h"
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
                                       {.sectors = 100, .indexZeroSectors = 10},
                                       {.sectors = 60, .silentPregapSectors = 75, .newFile = true},
                                       {.sectors = 90, .indexZeroSectors = 10, .newFile = true}});
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

// Each audio track runs from its INDEX 01 up to the next one's, the last audio track before
// the data track up to it; the audio after the data track's smaller sectors, a silent pregap
// and two more files (the last opening with an INDEX 00 pregap) reads back byte for byte.
TEST_F(ImageDriveRegistryTest, ServesTheSheetsLayoutRefusesWhatIsNoAudioAndClosesEveryFile) {
  const auto device = registry->addImage(image.cuePath);
  ASSERT_TRUE(device.bsdName);
  const auto& t = image.tracks;
  auto track = [&](std::int64_t number, int written, std::int32_t end) {
    return disc::CDTrackInfo{number, t[written].startSector, end - t[written].startSector};
  };
  EXPECT_EQ(disc::parseFullTOC(registry->readFullToc(*device.bsdName).bytes),
            (disc::CDDiscInfo{{track(1, 0, t[1].startSector), track(2, 2, t[3].startSector),
                               track(3, 3, t[4].startSector), track(4, 4, image.leadOutSector)},
                              image.leadOutSector}));

  const int handle = registry->open(*device.bsdName);
  EXPECT_EQ(calls.opened(), 3);  // one descriptor per FILE entry
  const std::int32_t first = t[1].startSector + t[1].sectors;
  std::vector<std::uint8_t> audio((image.leadOutSector - first) * std::size_t{2352});
  for (std::int32_t sector = first; sector < image.leadOutSector; sector += 75) {
    EXPECT_EQ(registry->readAudio(handle, sector, std::min(75, image.leadOutSector - sector),
                                  audio.data() + (sector - first) * std::size_t{2352}),
              0);
  }
  EXPECT_TRUE(audio == image.discAudio(first, image.leadOutSector - first));
  std::vector<std::uint8_t> buffer(75 * 2352);
  for (std::int32_t from : {95, image.leadOutSector - 5}) {  // the data track; the lead-out
    errno = 0;
    EXPECT_EQ(registry->readAudio(handle, from, 10, buffer.data()), -1);
    EXPECT_EQ(errno, EIO) << "from " << from;
  }

  EXPECT_EQ(registry->close(handle), 0);
  EXPECT_EQ(calls.closed(), 3);
  EXPECT_TRUE(calls.stillOpen().empty());
  EXPECT_EQ(registry->close(handle), -1);
  EXPECT_EQ(registry->readAudio(handle, 0, 1, buffer.data()), -1);
  EXPECT_EQ(errno, EBADF);
}

// The sheet's CATALOG, ISRC, FLAGS PRE, TITLE and PERFORMER lines (in UTF-8 or Latin-1) are what
// the disc says of itself; a CDTEXTFILE's packs take the place of the lines when it holds text.
TEST_F(ImageDriveRegistryTest, TheSheetTellsWhatTheDiscSaysOfItself) {
  const auto written = noru::testing::writeDiscImage(
      folder.path(), "Facts",
      {{.sectors = 30,
        .indexZeroSectors = 10,
        .sheetLines = "    TITLE \"One\"\n    ISRC GBAYE9200070\n"},
       {.sectors = 30,
        .sheetLines = "    FLAGS PRE\n    TITLE \"Zw\xF6lf\"\n    PERFORMER \"Guest\"\n"},
       {.sectors = 30, .sheetLines = "    ISRC not-an-isrc\n"}},
      "CATALOG 4006381333931\nPERFORMER \"Caf\xC3\xA9 Band\"\nTITLE \"Album\"\n");
  const auto device = registry->addImage(written.cuePath);
  EXPECT_EQ(registry->readDiscFacts(*device.bsdName),
            (linux_cd::DiscFacts{.text = {.albumTitle = "Album",
                                          .albumPerformer = "Caf\u00E9 Band",
                                          .trackTitles = {{1, "One"}, {2, "Zw\u00F6lf"}},
                                          .trackPerformers = {{2, "Guest"}}},
                                 .mcn = "4006381333931"}));
  EXPECT_EQ(registry->readISRCs(*device.bsdName, {1, 2, 3}),
            (std::map<int, std::string>{{1, "GBAYE9200070"}}));
  const auto disc = disc::parseFullTOC(registry->readFullToc(*device.bsdName).bytes);
  ASSERT_TRUE(disc);
  EXPECT_EQ(disc->tracks[0].startSector, 10) << "the audio before INDEX 01 is no track's";
  EXPECT_FALSE(disc->tracks[0].preEmphasis);
  EXPECT_TRUE(disc->tracks[1].preEmphasis);

  std::vector<std::uint8_t> file{0, 0, 0, 0};  // as a drive's answer begins
  for (const auto& pack : noru::testing::cdTextBlock(
           0, 0x00, false, {{0x80, {"Packed", "Eins", "Zwei", "Drei"}}}, true)) {
    file.insert(file.end(), pack.begin(), pack.end());
  }
  std::ofstream(folder.path() / "Packed.cdt", std::ios::binary)
      .write(reinterpret_cast<const char*>(file.data()), static_cast<std::streamsize>(file.size()));
  const auto packed = noru::testing::writeDiscImage(
      folder.path(), "Packed", {{.sheetLines = "    TITLE \"Line\"\n"}},
      "CATALOG 4006381333932\nCDTEXTFILE \"Packed.cdt\"\n");
  EXPECT_EQ(
      registry->readDiscFacts(*registry->addImage(packed.cuePath).bsdName),
      (linux_cd::DiscFacts{.text = {.albumTitle = "Packed",
                                    .trackTitles = {{1, "Eins"}, {2, "Zwei"}, {3, "Drei"}}}}));

  // A CDTEXTFILE that is no file of packs (here a device) is not read: the lines stand.
  const auto deviceFile = noru::testing::writeDiscImage(folder.path(), "Device",
                                                        {{.sheetLines = "    TITLE \"Line\"\n"}},
                                                        "CDTEXTFILE \"/dev/zero\"\n");
  EXPECT_EQ(
      registry->readDiscFacts(*registry->addImage(deviceFile.cuePath).bsdName).text.trackTitles,
      (std::map<int, std::string>{{1, "Line"}}));
}

// A refused image adds and announces nothing. An ended subscription hears nothing, not even of
// events under way, and the registry closes what is still open when it goes.
TEST_F(ImageDriveRegistryTest, EjectedImageServesNothingMoreAndCanBeOpenedAgain) {
  const auto device = registry->addImage(image.cuePath);
  EXPECT_THROW(registry->addImage(image.cuePath), ImageError);  // already open
  EXPECT_THROW(registry->addImage(folder.path() / "missing.cue"), ImageError);
  mainQueue.runPending();
  EXPECT_EQ(events.size(), 2u);
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

  const auto heard = events.size();
  ASSERT_GE(registry->open(*reopened.bsdName), 0);
  EXPECT_TRUE(registry->eject(reopened));
  subscription.reset();
  mainQueue.runPending();
  EXPECT_EQ(events.size(), heard);
  registry.reset();
  EXPECT_TRUE(calls.stillOpen().empty());
}

// The machine's own drive keeps getting every request that is not an image's.
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
  EXPECT_EQ(hardware->ejected(), std::vector{realDrive});
  hardware->emit({DeviceEventKind::appeared, realDrive});
  EXPECT_EQ(seen, (std::vector<DeviceEvent>{{DeviceEventKind::appeared, realDrive}}));

  hardware->deviceList = std::nullopt;  // udev out of reach: the images are still listed
  EXPECT_EQ(drives.devices(), std::vector{imageDrive});
}

// A cue sheet is parsed in a child process: a broken one (libcue crashes on some) must neither
// take the program down nor spoil the next sheet.
TEST_F(ImageDriveRegistryTest, RefusesImagesThatCannotServeAsADisc) {
  noru::testing::writeDiscImage(folder.path(), "Good", {{.sectors = 10}});
  std::ofstream(folder.path() / "Partial.bin", std::ios::binary)
      << std::string(9 * 2352 + 100, '\0');
  const std::string track1 = "  TRACK 01 AUDIO\n    INDEX 01 00:00:00\n";
  std::string hundredTracks = "FILE \"Good.bin\" BINARY\n";
  for (int track = 1; track <= 100; ++track) {
    hundredTracks += "  TRACK " + std::to_string(track) + " AUDIO\n    INDEX 01 00:00:00\n";
  }
  const auto cuePath = folder.path() / "Case.cue";
  auto loadSheet = [&](const std::optional<std::string>& sheet) {
    std::filesystem::remove(cuePath);
    if (sheet) {
      std::ofstream(cuePath) << *sheet;
    }
    return loadDiscImage(cuePath);
  };
  const struct {
    std::optional<std::string> sheet;  // none: no sheet at all
    const char* reason;
  } cases[] = {
      {std::nullopt, "cannot be read"},
      {"this is { not a cue sheet\n", "is not a valid cue sheet"},
      {"FILE \"Good.bin\" BINARY\n", "is not a valid cue sheet"},
      {"FILE \"Nowhere.bin\" BINARY\n" + track1, "does not exist"},
      {"FILE \"Good.bin\" BINARY\n" + track1 + "  TRACK 02 AUDIO\n    INDEX 01 00:00:10\n",
       "is shorter than"},
      {"FILE \"Partial.bin\" BINARY\n" + track1, "does not end on a whole 2352-byte sector"},
      {"FILE \"Good.bin\" WAVE\n" + track1, "only raw BINARY files"},
      {"FILE \"Good.bin\" BINARY\n  TRACK 01 MODE1/2352\n    INDEX 01 00:00:00\n",
       "has no audio tracks"},
      {hundredTracks, "more than 99 tracks"},
      {"RFILE\n", "is not a valid cue sheet"},  // breaks off inside a FILE line
  };
  for (const auto& [sheet, reason] : cases) {
    try {
      loadSheet(sheet);
      ADD_FAILURE() << reason << ": accepted";
    } catch (const ImageError& error) {
      EXPECT_NE(std::string(error.what()).find(reason), std::string::npos) << error.what();
    }
  }
  // Each sheet is read on its own: the broken one just before leaves nothing behind.
  EXPECT_NO_THROW(loadSheet("FILE \"Good.bin\" BINARY\n" + track1));
}

}  // namespace
}  // namespace noru::platform::image
