#include "rip/cleanup_ripped_files.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fstream>

#include "support/captured_log.h"
#include "support/temporary_folder.h"

namespace noru::rip {
namespace {

namespace fs = std::filesystem;
using ::testing::ElementsAre;
using ::testing::StartsWith;

// library / Artist / Album with three tracks, cover.jpg, and the artist's folder.jpg.
class CleanupRippedFilesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fs::create_directories(album);
    for (const auto& file :
         {tracks[0], tracks[1], tracks[2], album / "cover.jpg", artist / "folder.jpg"}) {
      touch(file);
    }
  }

  static void touch(const fs::path& file) { std::ofstream(file) << "data"; }

  testing::TemporaryFolder library;
  fs::path artist = library.path() / "Artist";
  fs::path album = artist / "Album";
  std::vector<fs::path> tracks = {album / "01 One.m4a", album / "02 Two.m4a",
                                  album / "03 Three.m4a"};
  testing::CapturedLog log;
};

TEST_F(CleanupRippedFilesTest, RemovesTheTracksTheCoverAndTheFoldersLeftEmpty) {
  CleanupRippedFiles{}(tracks, /*importSavedArtistPicture=*/true);

  EXPECT_FALSE(fs::exists(artist));
  EXPECT_TRUE(fs::is_directory(library.path()));
}

// A folder.jpg that was there before the import is the user's (or an earlier import's).
TEST_F(CleanupRippedFilesTest, NeverRemovesAnArtistPictureTheImportDidNotSave) {
  CleanupRippedFiles{}(tracks, /*importSavedArtistPicture=*/false);

  EXPECT_FALSE(fs::exists(album));
  EXPECT_EQ(testing::fileContents(artist / "folder.jpg"), "data");
}

// Another album of the artist, or a hidden file in the album folder, keeps the folders that
// hold it, and the artist's picture with them; the album's cover goes all the same.
TEST_F(CleanupRippedFilesTest, FoldersThatHoldOtherFilesStayWithTheArtistsPicture) {
  for (const auto& kept : {artist / "Other Album" / "01 Kept.m4a", album / ".hidden"}) {
    SCOPED_TRACE(kept);
    SetUp();
    fs::create_directories(kept.parent_path());
    touch(kept);

    CleanupRippedFiles{}(tracks, true);

    EXPECT_TRUE(fs::exists(kept));
    EXPECT_FALSE(fs::exists(tracks[0]));
    EXPECT_FALSE(fs::exists(album / "cover.jpg"));
    EXPECT_EQ(fs::exists(album), kept.parent_path() == album);
    EXPECT_TRUE(fs::exists(artist / "folder.jpg"));
  }
}

// An empty list does nothing; a file already gone is reported and its folder not visited.
TEST_F(CleanupRippedFilesTest, WithNothingDeletedTheFoldersStayAsTheyWere) {
  fs::remove(tracks[0]);
  CleanupRippedFiles{}({}, true);
  CleanupRippedFiles{}({tracks[0]}, true);
  EXPECT_THAT(log.lines(),
              ElementsAre(StartsWith("CleanupRippedFiles: failed to delete 01 One.m4a: ")));
  EXPECT_TRUE(fs::exists(album / "cover.jpg"));
  EXPECT_TRUE(fs::exists(artist / "folder.jpg"));
}

}  // namespace
}  // namespace noru::rip
