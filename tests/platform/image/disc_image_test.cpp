#include "platform/image/disc_image.h"

#include <fcntl.h>
#include <gtest/gtest.h>

#include <cerrno>
#include <fstream>

#include "platform/image/image_error.h"
#include "platform/image/image_full_toc.h"
#include "platform/image/image_sector_reader.h"
#include "support/disc_image_writer.h"
#include "support/scripted_system_calls.h"
#include "support/temporary_folder.h"

// libcue 2.2.1, as Debian 12 ships it, does not free its half-built sheet when a parse fails.
// Nothing outside libcue can reach that memory, so the leak sanitizer is told to expect it.
extern "C" const char* __lsan_default_suppressions() {
  return "leak:libcue.so";
}

namespace noru::platform::image {
namespace {

class DiscImageTest : public ::testing::Test {
 protected:
  // Reads through the image's own files, as an image drive does.
  // Empty, with readError set, when the read fails.
  std::vector<std::uint8_t> readSectors(const DiscImage& image, std::int32_t first, int count) {
    std::vector<int> files;
    for (const auto& file : image.files) {
      files.push_back(calls.open(file.path.c_str(), O_RDONLY));
    }
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(count) * 2352);
    const bool read = readImageSectors(calls, image, files, first, count, bytes.data()) == 0;
    readError = read ? 0 : errno;
    for (int file : files) {
      calls.close(file);
    }
    return read ? bytes : std::vector<std::uint8_t>{};
  }

  noru::testing::TemporaryFolder folder;
  noru::testing::ScriptedSystemCalls calls;
  int readError = 0;
};

TEST_F(DiscImageTest, LaysOutTracksOfSeveralFilesWithTheirPregaps) {
  const auto written =
      noru::testing::writeDiscImage(folder.path(), "Disc",
                                    {{.sectors = 100},
                                     {.sectors = 80, .indexZeroSectors = 20},
                                     {.sectors = 60, .silentPregapSectors = 150, .newFile = true},
                                     {.sectors = 50, .indexZeroSectors = 10, .newFile = true}});

  const auto image = loadDiscImage(written.cuePath);

  ASSERT_EQ(image.tracks.size(), 4u);
  for (std::size_t i = 0; i < 4; ++i) {
    EXPECT_EQ(image.tracks[i],
              (ImageTrack{static_cast<int>(i) + 1, written.tracks[i].startSector, false, 0}));
  }
  EXPECT_EQ(image.leadOutSector, written.leadOutSector);
  EXPECT_EQ(image.files.size(), 3u);
  EXPECT_FALSE(image.extendedArchitecture);

  // Every sector, across file boundaries and through the silent pregap, reads as written.
  for (std::int32_t first = 0; first < image.leadOutSector; first += 75) {
    const int count = std::min(75, image.leadOutSector - first);
    EXPECT_TRUE(readSectors(image, first, count) == written.discAudio(first, count))
        << "sectors from " << first;
  }
  EXPECT_TRUE(calls.stillOpen().empty());
}

TEST_F(DiscImageTest, DataTrackOfSmallerSectorsKeepsLaterAudioInPlace) {
  const auto written = noru::testing::writeDiscImage(
      folder.path(), "Mixed",
      {{.sectors = 30}, {.sectors = 40, .data = true}, {.sectors = 20, .indexZeroSectors = 5}});
  const auto image = loadDiscImage(written.cuePath);

  ASSERT_EQ(image.tracks.size(), 3u);
  EXPECT_TRUE(image.tracks[1].data);
  EXPECT_EQ(image.tracks[1].control, 0x04);
  EXPECT_EQ(image.tracks[2].startSector, 75);
  EXPECT_TRUE(readSectors(image, 75, 20) == written.discAudio(75, 20));

  EXPECT_TRUE(readSectors(image, 29, 2).empty()) << "the data track is no audio";
  EXPECT_EQ(readError, EIO);
  EXPECT_TRUE(readSectors(image, image.leadOutSector - 1, 2).empty()) << "beyond the lead-out";
  EXPECT_EQ(readError, EIO);
}

TEST_F(DiscImageTest, FullTocDescribesTheSheet) {
  const auto written = noru::testing::writeDiscImage(
      folder.path(), "Toc", {{.sectors = 4350}, {.sectors = 75, .data = true, .newFile = true}});
  const auto toc = imageFullToc(loadDiscImage(written.cuePath));

  // 2 + 5 descriptors; session 1 of 1; A0, A1, A2, then the tracks with ADR 1.
  const std::vector<std::uint8_t> expected = {
      0, 57,   1, 1,                             //
      1, 0x10, 0, 0xA0, 0, 0, 0, 0, 1, 0x00, 0,  // first track 1, CD-DA/CD-ROM disc
      1, 0x14, 0, 0xA1, 0, 0, 0, 0, 2, 0,    0,  // last track 2 (data)
      1, 0x14, 0, 0xA2, 0, 0, 0, 0, 1, 1,    0,  // lead-out at 4425 + 150 = 01:01:00
      1, 0x10, 0, 0x01, 0, 0, 0, 0, 0, 2,    0,  // track 1 at 00:02:00
      1, 0x14, 0, 0x02, 0, 0, 0, 0, 1, 0,    0,  // track 2 (data) at 01:00:00
  };
  EXPECT_EQ(toc, expected);
}

TEST_F(DiscImageTest, RefusesImagesThatCannotServeAsADisc) {
  noru::testing::writeDiscImage(folder.path(), "Good", {{.sectors = 10}});
  std::ofstream(folder.path() / "Partial.bin", std::ios::binary)
      << std::string(9 * 2352 + 100, '\0');
  const std::string track1 = "  TRACK 01 AUDIO\n    INDEX 01 00:00:00\n";
  std::string hundredTracks = "FILE \"Good.bin\" BINARY\n";
  for (int track = 1; track <= 100; ++track) {
    hundredTracks += "  TRACK " + std::to_string(track) + " AUDIO\n    INDEX 01 00:00:00\n";
  }
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
  };
  for (const auto& [sheet, reason] : cases) {
    const auto cuePath = folder.path() / "Case.cue";
    std::filesystem::remove(cuePath);
    if (sheet) {
      std::ofstream(cuePath) << *sheet;
    }
    try {
      loadDiscImage(cuePath);
      ADD_FAILURE() << reason << ": accepted";
    } catch (const ImageError& error) {
      EXPECT_NE(std::string(error.what()).find(reason), std::string::npos) << error.what();
    }
  }
  EXPECT_NO_THROW(loadDiscImage(folder.path() / "Good.cue"));
}

}  // namespace
}  // namespace noru::platform::image
