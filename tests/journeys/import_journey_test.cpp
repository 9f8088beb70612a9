// Importing a disc from start to finish: a disc the service knows, one it does not know, and
// one inserted while the service cannot be reached or does not answer in time.
#include <QAction>
#include <QComboBox>
#include <QMenuBar>

#include <algorithm>

#include "journeys/journey.h"
#include "support/media_files.h"

namespace noru::testing {
namespace {

namespace fs = std::filesystem;

TEST_F(Journey, AKnownDiscIsImportedIntoTheFolderChosenAtTheFirstImport) {
  service.respond(
      "POST", "/v1/cd/lookup", 200,
      serviceAnswer({{.tracks = {{1, "Opening"}, {2, "Second Thoughts"}, {3, "Finale"}}}}));
  launch();
  insertDisc({{.sectors = 300}, {.sectors = 451}, {.sectors = 75}});
  ASSERT_TRUE(waitForRelease());
  EXPECT_TRUE(shows("The Album"));

  // The first time the folder dialog is cancelled: nothing starts, and nothing claims to have.
  folderDialogDeclines = 1;
  click("Import Disc");
  ASSERT_TRUE(waitFor([&] { return folderDialogRuns == 1 && button("Import Disc"); }));
  QApplication::processEvents();
  EXPECT_FALSE(shows(kImportComplete));
  EXPECT_FALSE(app->store().state().cdRip.isRipping);
  EXPECT_EQ(filesUnder(library.path()).size(), 0u);

  click("Import Disc");
  ASSERT_TRUE(waitForText(kImportComplete));
  EXPECT_EQ(folderDialogRuns, 2);
  expectTrackFiles(
      albumFolder(), "The Artist", "The Album",
      {{"01 Opening.m4a", 300}, {"02 Second Thoughts.m4a", 451}, {"03 Finale.m4a", 75}}, true);
  EXPECT_EQ(fileContents(albumFolder() / "cover.jpg"), jpegBytes());
  EXPECT_EQ(fileContents(library.path() / "The Artist" / "folder.jpg"), jpegBytes());
  EXPECT_EQ(filesUnder(library.path()).size(), 8u)
      << "artist, album, three tracks, two pictures, the rip log";

  // The next start finds the folder again through what the first one stored.
  launch();
  const auto* folder = window->findChild<QLabel*>("libraryFolder");
  ASSERT_NE(folder, nullptr);
  EXPECT_TRUE(folder->text().contains(QString::fromStdString(library.path().filename().string())))
      << folder->text().toStdString();
  EXPECT_EQ(app->store().state().settings.libraryPath, library.path().string());
}

// FLAC chosen in Edit › Preferences is what the next import writes, exactly the disc's audio,
// and it is still chosen after a restart.
TEST_F(Journey, TheFormatChosenInPreferencesIsThatOfTheNextImport) {
  service.respond("POST", "/v1/cd/lookup", 200,
                  serviceAnswer({{.tracks = {{1, "Opening"}, {2, "Finale"}}}}));
  launch();
  const auto menuItems = window->menuBar()->findChildren<QAction*>();
  const auto preferences =
      std::ranges::find(menuItems, QStringLiteral("Preferences\u2026"), &QAction::text);
  ASSERT_NE(preferences, menuItems.end());
  (*preferences)->trigger();
  auto* format =
      shown<QComboBox>([](const QComboBox& box) { return box.accessibleName() == "Format"; });
  ASSERT_NE(format, nullptr);
  format->setCurrentIndex(format->findText("FLAC (.flac)"));
  click("Close");

  const auto image = insertDisc({{.sectors = 150}, {.sectors = 75}});
  ASSERT_TRUE(waitForRelease());
  click("Import Disc");
  ASSERT_TRUE(waitForText(kImportComplete));
  for (const auto& [name, track] : {std::pair{"01 Opening.flac", 0}, {"02 Finale.flac", 1}}) {
    const auto file = albumFolder() / name;
    ASSERT_TRUE(fs::exists(file)) << ::testing::PrintToString(filesUnder(albumFolder()));
    EXPECT_EQ(probeAudioFile(file).codec, "flac");
    EXPECT_EQ(decodeLosslessPCM(file),
              image.discAudio(image.tracks[track].startSector, image.tracks[track].sectors));
    EXPECT_EQ(readFLACItems(file).jpegCovers.size(), 1u);
  }
  launch();
  EXPECT_EQ(app->store().state().settings.import.format, disc::AudioFormat::flac);
}

TEST_F(Journey, AnUnknownDiscIsFoundByArtistAndAlbumAndImportedUnderTheFoundNames) {
  service.respond("POST", "/v1/cd/lookup", 200, R"({"disc_id":"unknown","releases":[]})");
  service.respond("POST", "/v1/cd/search", 200,
                  serviceAnswer({{.artist = "Found Artist",
                                  .title = "Found Album",
                                  .tracks = {{2, "Second Song"}, {1, "First Song"}}}}));
  launch();
  insertDisc({{.sectors = 150}, {.sectors = 225}});
  click("Add CD Details");
  type("Artist", "found artst");
  type("Album", "found albm");
  click("Look Up");
  ASSERT_TRUE(waitFor([&] { return field("Track 2")->text() == "Second Song"; }));
  EXPECT_EQ(field("Artist")->text(), "Found Artist");
  EXPECT_EQ(field("Track 1")->text(), "First Song");
  EXPECT_TRUE(std::ranges::any_of(service.requests(), [](const RecordedRequest& request) {
    return request.path == "/v1/cd/search" && request.body.find("found artst") != std::string::npos;
  }));

  click("Import Disc");
  ASSERT_TRUE(waitForText(kImportComplete));
  expectTrackFiles(albumFolder("Found Artist", "Found Album"), "Found Artist", "Found Album",
                   {{"01 First Song.m4a", 150}, {"02 Second Song.m4a", 225}}, true);
}

// Typed names import without any answer; the release found by a retry is imported under its own.
TEST_F(Journey, AServiceThatStallsOrIsDownOffersRetryAndTypedNamesStillImport) {
  service.stall("POST", "/v1/cd/lookup");
  launch();
  insertDisc({{.sectors = 75}});
  ASSERT_TRUE(waitFor([&] { return button("Retry") != nullptr; }));
  service.respond("POST", "/v1/cd/lookup", 200, serviceAnswer({{.tracks = {{1, "Only Track"}}}}));
  click("Retry");
  ASSERT_TRUE(waitForRelease());
  click("Import Disc");
  ASSERT_TRUE(waitForText(kImportComplete));
  EXPECT_TRUE(fs::exists(albumFolder() / "01 Only Track.m4a"));

  launch([] { return TestHttpServer().url(); }());  // a port nothing listens on any more
  insertDisc({{.sectors = 150}, {.sectors = 75}});
  ASSERT_TRUE(waitFor([&] { return button("Retry") != nullptr; }));
  EXPECT_TRUE(app->store().state().cdRip.lookupError.has_value());
  click("Add CD Details");
  type("Artist", "Typed Artist");
  type("Album", "Typed Album");
  type("Track 1", "Typed Title");
  click("Import Disc");
  ASSERT_TRUE(waitForText(kImportComplete));
  expectTrackFiles(albumFolder("Typed Artist", "Typed Album"), "Typed Artist", "Typed Album",
                   {{"01 Typed Title.m4a", 150}, {"02 Track 2.m4a", 75}}, false);
  quit();
  service.stop();  // the stalled request holds a connection of the server's own
}

}  // namespace
}  // namespace noru::testing
