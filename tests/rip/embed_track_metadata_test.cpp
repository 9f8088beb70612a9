#include "rip/embed_track_metadata.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fstream>
#include <regex>
#include <set>

#include "disc/cd_rip_error.h"
#include "rip/encode_track_to_aac.h"
#include "support/media_files.h"
#include "support/temporary_folder.h"

namespace noru::rip {
namespace {

namespace fs = std::filesystem;
using ::testing::ElementsAre;
using ::testing::UnorderedElementsAre;
using ::testing::UnorderedElementsAreArray;

const std::vector<std::uint8_t> kJPEG = {0xFF, 0xD8, 0xFF, 0xE0, 0x00, 0x10, 'J', 'F',
                                         'I',  'F',  0x00, 0x01, 0x02, 0xFF, 0xD9};

class EmbedTrackMetadataTest : public ::testing::Test {
 protected:
  void SetUp() override { EncodeTrackToAAC{}(testing::syntheticCDAudio(22050), file, 1); }

  std::set<std::string> folderEntries() const {
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder.path())) {
      names.insert(entry.path().filename().string());
    }
    return names;
  }

  testing::TemporaryFolder folder;
  fs::path file = folder.path() / "01 Track.m4a";
};

TEST_F(EmbedTrackMetadataTest, WritesTheFiveItemsOfAReleaseAndKeepsTheAudio) {
  const auto audioBefore = testing::audioPackets(file);

  EmbedTrackMetadata{}(file, "Intro", 3, 12, "The Artist", "The Album", kJPEG);

  const auto items = testing::readM4AItems(file);
  EXPECT_THAT(items.keys,
              UnorderedElementsAre("\u00A9nam", "\u00A9ART", "\u00A9alb", "trkn", "covr"));
  EXPECT_EQ(items.title, "Intro");
  EXPECT_EQ(items.artist, "The Artist");
  EXPECT_EQ(items.album, "The Album");
  EXPECT_EQ(items.trackNumber, std::pair(3, 12));
  EXPECT_THAT(items.jpegCovers, ElementsAre(kJPEG));
  EXPECT_EQ(testing::audioPackets(file), audioBefore);
  EXPECT_EQ(folderEntries(), std::set<std::string>{"01 Track.m4a"});
}

// The number goes in as N of T; texts go in unchanged, and absent ones leave no item.
TEST_F(EmbedTrackMetadataTest, TracksWithoutAReleaseOrWithAwkwardTextsKeepTheirValues) {
  struct Case {
    std::optional<std::string> title;
    int number, total;
    std::vector<std::string> keys;
  };
  for (const auto& [title, number, total, keys] :
       {Case{std::nullopt, 1, 9, {"trkn"}}, Case{"AC/DC: Live?", 10, 12, {"\u00A9nam", "trkn"}},
        Case{"  \u00DCn\u00EFc\u00F8d\u00E9 \u2014 x  ", 3, 3, {"\u00A9nam", "trkn"}}}) {
    SCOPED_TRACE(title.value_or("no release"));
    EmbedTrackMetadata{}(file, title, number, total, std::nullopt, std::nullopt, std::nullopt);

    const auto items = testing::readM4AItems(file);
    EXPECT_THAT(items.keys, UnorderedElementsAreArray(keys));
    EXPECT_EQ(items.trackNumber, std::pair(number, total));
    EXPECT_EQ(items.title, title);
  }
}

// The tagged copy is made beside the track file and takes its place in one rename, so there
// is never a moment without the track file; if that fails, both stay.
TEST_F(EmbedTrackMetadataTest, TheTrackFileStaysUntilTheTaggedCopyReplacesIt) {
  EmbedTrackMetadata embed;
  embed.replaceFile = [](const fs::path& from, const fs::path& to) {
    throw fs::filesystem_error("cannot rename", from, to,
                               std::make_error_code(std::errc::permission_denied));
  };

  EXPECT_THROW(embed(file, "Intro", 1, 2, std::nullopt, std::nullopt, std::nullopt),
               fs::filesystem_error);

  auto entries = folderEntries();
  EXPECT_EQ(entries.erase("01 Track.m4a"), 1u);
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_TRUE(std::regex_match(*entries.begin(),
                               std::regex("[0-9A-F]{8}(-[0-9A-F]{4}){3}-[0-9A-F]{12}\\.m4a")))
      << *entries.begin();
  EXPECT_EQ(testing::readM4AItems(folder.path() / *entries.begin()).title, "Intro");
}

TEST_F(EmbedTrackMetadataTest, AFailedExportLeavesTheFileAsItWasAndNoCopy) {
  const std::string garbage = "this is not an MPEG-4 file";
  std::ofstream(file, std::ios::trunc) << garbage;
  try {
    EmbedTrackMetadata{}(file, "Intro", 1, 2, std::nullopt, std::nullopt, kJPEG);
    FAIL() << "no error";
  } catch (const disc::CDRipError& error) {
    EXPECT_EQ(error.kind(), disc::CDRipError::Kind::encodingFailed);
  }
  EXPECT_EQ(folderEntries(), std::set<std::string>{"01 Track.m4a"});
  EXPECT_EQ(fs::file_size(file), garbage.size());

  fs::remove(file);
  EXPECT_THROW(EmbedTrackMetadata{}(file, "Intro", 1, 2, std::nullopt, std::nullopt, kJPEG),
               disc::CDRipError);
  EXPECT_TRUE(folderEntries().empty());
}

}  // namespace
}  // namespace noru::rip
