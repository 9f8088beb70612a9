#include "platform/image/disc_image.h"

#include <fcntl.h>
#include <gtest/gtest.h>

#include <cerrno>
#include <fstream>

#include "platform/image/image_error.h"
#include "platform/image/image_full_toc.h"
#include "platform/image/image_sector_reader.h"
#include "support/disc_image_writer.h"
#include "support/temporary_folder.h"
#include "support/scripted_system_calls.h"

// libcue 2.2.1, as Debian 12 ships it, does not free its half-built sheet when a parse fails.
// Nothing outside libcue can reach that memory, so the leak sanitizer is told to expect it.
extern "C" const char* __lsan_default_suppressions() {
  return "leak:libcue.so";
}

namespace noru::platform::image {
namespace {

using noru::testing::ImageTrackPlan;

class DiscImageTest : public ::testing::Test {
 protected:
  void writeFile(const std::string& name, const std::string& content) {
    std::ofstream(folder.path() / name, std::ios::binary) << content;
  }

  // Reads through the image's own files, as an image drive does.
  std::vector<std::uint8_t> readSectors(const DiscImage& image, std::int32_t first, int count,
                                        int* error = nullptr) {
    std::vector<int> files;
    for (const auto& file : image.files) {
      files.push_back(calls.open(file.path.c_str(), O_RDONLY));
    }
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(count) * 2352);
    const int result = readImageSectors(calls, image, files, first, count, bytes.data());
    if (error) {
      *error = result == 0 ? 0 : errno;
    }
    for (int file : files) {
      calls.close(file);
    }
    return result == 0 ? bytes : std::vector<std::uint8_t>{};
  }

  noru::testing::TemporaryFolder folder;
  noru::testing::ScriptedSystemCalls calls;
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
  EXPECT_EQ(image.tracks[1].startSector, 120);
  EXPECT_EQ(image.tracks[2].startSector, 350);
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
  const auto written =
      noru::testing::writeDiscImage(folder.path(), "Mixed",
                                    {{.sectors = 30},
                                     {.sectors = 40, .kind = ImageTrackPlan::Kind::mode1Data},
                                     {.sectors = 20, .indexZeroSectors = 5}});
  const auto image = loadDiscImage(written.cuePath);

  ASSERT_EQ(image.tracks.size(), 3u);
  EXPECT_TRUE(image.tracks[1].data);
  EXPECT_EQ(image.tracks[1].control, 0x04);
  EXPECT_EQ(image.tracks[2].startSector, 75);
  EXPECT_TRUE(readSectors(image, 75, 20) == written.discAudio(75, 20));

  int error = 0;
  EXPECT_TRUE(readSectors(image, 29, 2, &error).empty()) << "the data track is no audio";
  EXPECT_EQ(error, EIO);
  EXPECT_TRUE(readSectors(image, image.leadOutSector - 1, 2, &error).empty());
  EXPECT_EQ(error, EIO);
}

TEST_F(DiscImageTest, FullTocDescribesTheSheet) {
  const auto written = noru::testing::writeDiscImage(
      folder.path(), "Toc",
      {{.sectors = 4350},
       {.sectors = 75, .kind = ImageTrackPlan::Kind::mode1Data, .newFile = true}});
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
  std::vector<char> shortBin(9 * 2352 + 100);
  std::ofstream(folder.path() / "Partial.bin", std::ios::binary)
      .write(shortBin.data(), static_cast<std::streamsize>(shortBin.size()));
  writeFile("Partial.cue",
            "FILE \"Partial.bin\" BINARY\n  TRACK 01 AUDIO\n    INDEX 01 00:00:00\n");
  writeFile("Missing.cue",
            "FILE \"Nowhere.bin\" BINARY\n  TRACK 01 AUDIO\n    INDEX 01 00:00:00\n");
  writeFile("Garbage.cue", "this is { not a cue sheet\n");
  writeFile("NoTracks.cue", "FILE \"Good.bin\" BINARY\n");
  writeFile("Short.cue",
            "FILE \"Good.bin\" BINARY\n  TRACK 01 AUDIO\n    INDEX 01 00:00:00\n"
            "  TRACK 02 AUDIO\n    INDEX 01 00:00:10\n");
  writeFile("Wave.cue", "FILE \"Good.bin\" WAVE\n  TRACK 01 AUDIO\n    INDEX 01 00:00:00\n");
  std::string hundredTracks = "FILE \"Good.bin\" BINARY\n";
  for (int track = 1; track <= 100; ++track) {
    hundredTracks += "  TRACK " + std::to_string(track) + " AUDIO\n    INDEX 01 00:00:00\n";
  }
  writeFile("Hundred.cue", hundredTracks);
  writeFile("Data.cue", "FILE \"Good.bin\" BINARY\n  TRACK 01 MODE1/2352\n    INDEX 01 00:00:00\n");

  const std::pair<const char*, const char*> cases[] = {
      {"Absent.cue", "cannot be read"},
      {"Garbage.cue", "is not a valid cue sheet"},
      {"NoTracks.cue", "is not a valid cue sheet"},
      {"Missing.cue", "does not exist"},
      {"Short.cue", "is shorter than"},
      {"Partial.cue", "does not end on a whole 2352-byte sector"},
      {"Wave.cue", "only raw BINARY files"},
      {"Data.cue", "has no audio tracks"},
      {"Hundred.cue", "more than 99 tracks"},
  };
  for (const auto& [name, reason] : cases) {
    try {
      loadDiscImage(folder.path() / name);
      ADD_FAILURE() << name << " was accepted";
    } catch (const ImageError& error) {
      EXPECT_NE(std::string(error.what()).find(reason), std::string::npos)
          << name << ": " << error.what();
    }
  }
  EXPECT_NO_THROW(loadDiscImage(folder.path() / "Good.cue"));
}

}  // namespace
}  // namespace noru::platform::image
