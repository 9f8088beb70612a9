#include "rip/embed_track_metadata.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fstream>
#include <regex>
#include <set>

#include "disc/cd_rip_error.h"
#include "rip/encode_track_to_aac.h"
#include "support/captured_log.h"
#include "support/media_files.h"
#include "support/temporary_folder.h"

namespace noru::rip {
namespace {

namespace fs = std::filesystem;
using ::testing::ElementsAre;
using ::testing::UnorderedElementsAre;

const std::vector<std::uint8_t> kJPEG = {0xFF, 0xD8, 0xFF, 0xE0, 0x00, 0x10, 'J', 'F',
                                         'I',  'F',  0x00, 0x01, 0x02, 0xFF, 0xD9};

bool isTemporaryName(const fs::path& name) {
  static const std::regex pattern(
      "[0-9A-F]{8}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{12}\\.m4a");
  return std::regex_match(name.string(), pattern);
}

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
  testing::CapturedLog log;
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
  EXPECT_EQ(items.otherCovers, 0u);
  EXPECT_EQ(testing::audioPackets(file), audioBefore);
  EXPECT_EQ(folderEntries(), std::set<std::string>{"01 Track.m4a"});
  EXPECT_TRUE(log.contains("EmbedTrackMetadata: embedded metadata in 01 Track.m4a"));
}

TEST_F(EmbedTrackMetadataTest, WithoutAReleaseTheTrackNumberIsTheOnlyItem) {
  EmbedTrackMetadata{}(file, std::nullopt, 1, 9, std::nullopt, std::nullopt, std::nullopt);

  const auto items = testing::readM4AItems(file);
  EXPECT_THAT(items.keys, ElementsAre("trkn"));
  EXPECT_EQ(items.trackNumber, std::pair(1, 9));
  EXPECT_EQ(folderEntries(), std::set<std::string>{"01 Track.m4a"});
}

TEST_F(EmbedTrackMetadataTest, TrackNumbersAndTextsGoInUnchanged) {
  struct Case {
    int number, total;
    std::string title;
  };
  for (const auto& [number, total, title] :
       {Case{10, 12, "AC/DC: Live?"}, Case{3, 3, "  Ünïcødé — «x»  "}}) {
    SCOPED_TRACE(title);
    EmbedTrackMetadata{}(file, title, number, total, "A/B", std::nullopt, std::nullopt);

    const auto items = testing::readM4AItems(file);
    EXPECT_EQ(items.trackNumber, std::pair(number, total));
    EXPECT_EQ(items.title, title);
    EXPECT_EQ(items.artist, "A/B");
    EXPECT_FALSE(items.album);
  }
}

TEST_F(EmbedTrackMetadataTest, TheTaggedCopyReplacesTheFileWhileTheFileIsStillThere) {
  std::vector<std::pair<fs::path, fs::path>> moves;
  bool fileWasThere = false;
  EmbedTrackMetadata embed;
  embed.replaceFile = [&](const fs::path& from, const fs::path& to) {
    moves.emplace_back(from, to);
    fileWasThere = fs::exists(to);
    fs::rename(from, to);
  };

  embed(file, "Intro", 1, 2, std::nullopt, std::nullopt, std::nullopt);

  ASSERT_EQ(moves.size(), 1u);
  EXPECT_EQ(moves[0].first.parent_path(), folder.path());
  EXPECT_TRUE(isTemporaryName(moves[0].first.filename())) << moves[0].first;
  EXPECT_EQ(moves[0].second, file);
  EXPECT_TRUE(fileWasThere);
  EXPECT_EQ(testing::readM4AItems(file).title, "Intro");
}

TEST_F(EmbedTrackMetadataTest, AFailedReplacementLeavesTheTaggedCopyBesideTheUntaggedFile) {
  EmbedTrackMetadata embed;
  embed.replaceFile = [](const fs::path& from, const fs::path& to) {
    throw fs::filesystem_error("cannot rename", from, to,
                               std::make_error_code(std::errc::permission_denied));
  };

  EXPECT_THROW(embed(file, "Intro", 1, 2, std::nullopt, std::nullopt, std::nullopt),
               fs::filesystem_error);

  const auto entries = folderEntries();
  ASSERT_EQ(entries.size(), 2u);
  EXPECT_TRUE(entries.contains("01 Track.m4a"));
  const auto copy = *std::find_if(entries.begin(), entries.end(),
                                  [](const std::string& name) { return isTemporaryName(name); });
  EXPECT_EQ(testing::readM4AItems(folder.path() / copy).title, "Intro");
  EXPECT_FALSE(testing::readM4AItems(file).title);
  EXPECT_TRUE(log.linesStartingWith("EmbedTrackMetadata: embedded").empty());
}

TEST_F(EmbedTrackMetadataTest, AFailedExportLeavesTheFileUntouchedAndNoCopy) {
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
  EXPECT_EQ(log.linesStartingWith("EmbedTrackMetadata: export failed — ").size(), 1u);
}

TEST_F(EmbedTrackMetadataTest, AMissingFileHasNoExportSession) {
  fs::remove(file);

  EXPECT_THROW(EmbedTrackMetadata{}(file, "Intro", 1, 2, std::nullopt, std::nullopt, kJPEG),
               disc::CDRipError);

  EXPECT_TRUE(log.contains("EmbedTrackMetadata: failed to create export session for 01 Track.m4a"));
  EXPECT_TRUE(folderEntries().empty());
}

}  // namespace
}  // namespace noru::rip
