#include "platform/image/disc_image.h"

#include <gtest/gtest.h>

#include <fstream>

#include "platform/image/image_error.h"
#include "platform/image/image_full_toc.h"
#include "support/disc_image_writer.h"
#include "support/temporary_folder.h"

namespace noru::platform::image {
namespace {

// How the sheet's tracks lie on the disc and read back is checked end to end, through an image
// drive and the disc operations; here, the bytes of the full TOC and the images refused.
class DiscImageTest : public ::testing::Test {
 protected:
  noru::testing::TemporaryFolder folder;
};

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
