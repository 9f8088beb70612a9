// Imports that do not finish: stopped by the user, failed by the drive, or cut short by the
// disc leaving the drive.
#include "journeys/journey.h"

namespace noru::testing {
namespace {

namespace fs = std::filesystem;

class UnfinishedImport : public Journey {
 protected:
  // A disc of four tracks whose third is `thirdSectors` long, looked up and ready to import.
  WrittenDiscImage insertKnownDisc(std::int32_t thirdSectors) {
    service.respond(
        "POST", "/v1/cd/lookup", 200,
        serviceAnswer({{.tracks = {{1, "One"}, {2, "Two"}, {3, "Three"}, {4, "Four"}}}}));
    launch();
    auto disc =
        insertDisc({{.sectors = 75}, {.sectors = 90}, {.sectors = thirdSectors}, {.sectors = 80}});
    EXPECT_TRUE(waitForRelease());
    return disc;
  }

  void expectNothingOfTheImportLeft() {
    quit();  // the import's task has ended once this returns
    EXPECT_EQ(filesUnder(library.path()), std::set<std::string>{});
  }
};

TEST_F(UnfinishedImport, StoppedWhileTrackThreeIsReadLeavesNothing) {
  const auto disc = insertKnownDisc(600);
  drives->holdReadAt(disc.tracks[2].startSector + 300);
  click("Import Disc");
  // Track 2's file is written while track 3 is read.
  ASSERT_TRUE(
      waitFor([&] { return drives->isHolding() && fs::exists(albumFolder() / "02 Two.m4a"); }));

  stopAndRemoveFiles();
  drives->release();
  ASSERT_TRUE(waitFor([&] { return importHasEnded(); }));
  expectNothingOfTheImportLeft();
  EXPECT_FALSE(drives->wasRead(disc.tracks[3].startSector));
}

TEST_F(UnfinishedImport, StoppedWhileTrackThreeIsEncodedLeavesNothing) {
  // Three minutes of audio take long enough to encode for the stop to come in the middle.
  const auto disc = insertKnownDisc(3 * 60 * 75);
  click("Import Disc");
  ASSERT_TRUE(waitFor([&] {
    return std::ranges::any_of(filesUnder(albumFolder()), [](const std::string& file) {
      return file.starts_with(".03 Three.m4a.");
    });
  }));
  stopAndRemoveFiles();
  ASSERT_TRUE(waitFor([&] { return importHasEnded(); }));
  expectNothingOfTheImportLeft();
}

TEST_F(UnfinishedImport, ADiscEjectedDuringTheImportKeepsTheTracksAlreadyImported) {
  const auto disc = insertKnownDisc(300);
  drives->holdReadAt(disc.tracks[2].startSector + 100);
  click("Import Disc");
  // The files of tracks 1 and 2 are written while track 3 is read, the shorter first.
  ASSERT_TRUE(waitFor([&] {
    return drives->isHolding() && fs::exists(albumFolder() / "01 One.m4a") &&
           fs::exists(albumFolder() / "02 Two.m4a");
  }));
  ejectDisc();
  ASSERT_TRUE(waitForText("Insert a disc to get started."));
  drives->release();
  quit();
  EXPECT_TRUE(fs::exists(albumFolder() / "01 One.m4a"));
  EXPECT_TRUE(fs::exists(albumFolder() / "02 Two.m4a"));
  EXPECT_FALSE(fs::exists(albumFolder() / "03 Three.m4a"));
  EXPECT_FALSE(drives->wasRead(disc.tracks[3].startSector));
}

}  // namespace
}  // namespace noru::testing
