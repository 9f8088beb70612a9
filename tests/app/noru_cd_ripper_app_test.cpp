// The whole application core, built by its composition root on a disc image, a local stand-in
// for the metadata service and the Cover Art Archive, a temporary library and settings file.
#include "app/noru_cd_ripper_app.h"

#include <gtest/gtest.h>

#include "app/system_folder_access.h"
#include "platform/image/image_drive_registry.h"
#include "platform/image/system_drives.h"
#include "support/disc_image_writer.h"
#include "support/fake_optical_drives.h"
#include "support/manual_main_queue.h"
#include "support/media_files.h"
#include "support/temporary_folder.h"
#include "support/test_http_server.h"

namespace noru::app {
namespace {

namespace fs = std::filesystem;

struct LibraryDialog final : FolderDialog {
  fs::path library;
  int runs = 0;
  std::optional<fs::path> chooseFolder() override {
    ++runs;
    return library;
  }
};

// The release the service knows for every disc, under the artist and title given.
std::string lookupAnswer(const std::string& artist, const std::string& title) {
  return R"({"disc_id":"disc-1","releases":[{"release_mbid":"rel-1","title":")" + title +
         R"(","artist_credit":")" + artist +
         R"(","artist_mbid":"artist-1","caa_id":7,"caa_release_mbid":"caa-1","tracks":[)"
         R"({"number":1,"title":"One","artist_credit":"A"},)"
         R"({"number":2,"title":"Two","artist_credit":"A"},)"
         R"({"number":3,"title":"Three","artist_credit":"A"}]}]})";
}

class NoruCDRipperAppTest : public ::testing::Test {
 protected:
  NoruCDRipperAppTest() {
    dialog->library = library.path();
    server.respond("GET", "/release/caa-1/7-1200.jpg", 200, "cover bytes", "image/jpeg");
    server.respond("GET", "/v1/artists/artist-1", 200,
                   R"({"thumb_url":")" + server.url("/portrait.jpg") + R"("})");
    server.respond("GET", "/portrait.jpg", 200, "portrait bytes", "image/jpeg");
  }

  // A run of the application, as from a fresh start with no disc in any drive. The run before
  // must have ended.
  std::unique_ptr<NoruCDRipperApp> launch() {
    mainQueue = std::make_unique<testing::ManualMainQueue>();
    images = std::make_shared<platform::image::ImageDriveRegistry>();
    auto app = std::make_unique<NoruCDRipperApp>(
        *mainQueue, AppEnvironment{
                        .drives = std::make_shared<platform::image::SystemDrives>(
                            std::make_shared<testing::FakeOpticalDrives>(), images),
                        .images = images,
                        .metadataServiceBaseURL = server.url(),
                        .coverArtArchiveBaseURL = server.url(),
                        .preferences = std::make_shared<Preferences>(settings.path() / "noru.ini"),
                        .folderDialog = dialog,
                        .folderAccess = std::make_shared<SystemFolderAccess>(),
                    });
    app->store().dispatch(state::ApplicationAction(state::ApplicationActions::didLaunch{}));
    return app;
  }

  // Inserts a disc of three tracks and waits until its one release is selected.
  void insertDisc(NoruCDRipperApp& app) {
    const auto image =
        testing::writeDiscImage(discs.path(), "disc" + std::to_string(++discCount),
                                {{.sectors = 150}, {.sectors = 150}, {.sectors = 75}});
    images->addImage(image.cuePath);
    ASSERT_TRUE(
        mainQueue->runUntil([&] { return app.store().state().cdRip.selectedRelease.has_value(); }));
  }

  void startImport(NoruCDRipperApp& app) {
    app.store().dispatch(state::CDRipAction(state::CDRipActions::startRipping{}));
  }

  std::unique_ptr<testing::ManualMainQueue> mainQueue;
  testing::TemporaryFolder discs;
  testing::TemporaryFolder library;
  testing::TemporaryFolder settings;
  testing::TestHttpServer server;
  std::shared_ptr<platform::image::ImageDriveRegistry> images;
  std::shared_ptr<LibraryDialog> dialog = std::make_shared<LibraryDialog>();
  int discCount = 0;
};

TEST_F(NoruCDRipperAppTest, ImportsADiscAndAfterARestartRemovesAStoppedImport) {
  server.respond("POST", "/v1/cd/lookup", 200, lookupAnswer("Artist", "Album"));
  {
    auto app = launch();
    insertDisc(*app);
    startImport(*app);
    ASSERT_TRUE(mainQueue->runUntil([&] {
      const auto& rip = app->store().state().cdRip;
      return !rip.isRipping && rip.rippedFiles.size() == 3;  // ripComplete keeps the files
    }));
    EXPECT_EQ(dialog->runs, 1) << "the library folder was asked for once";
  }
  const auto album = library.path() / "Artist" / "Album";
  for (const char* name : {"01 One.m4a", "02 Two.m4a", "03 Three.m4a"}) {
    const auto items = testing::readM4AItems(album / name);
    EXPECT_EQ(items.album, "Album") << name;
    EXPECT_EQ(items.jpegCovers.size(), 1u) << name;
  }
  EXPECT_TRUE(fs::exists(album / "cover.jpg"));
  EXPECT_TRUE(fs::exists(library.path() / "Artist" / "folder.jpg"));

  // The restarted application finds its library by itself; "Stop and Remove Files" during the
  // second track leaves nothing of this import behind.
  server.respond("POST", "/v1/cd/lookup", 200, lookupAnswer("Other", "Stopped"));
  auto app = launch();
  EXPECT_EQ(app->store().state().settings.libraryPath, library.path().string());
  insertDisc(*app);
  startImport(*app);
  ASSERT_TRUE(mainQueue->runUntil([&] { return app->store().state().cdRip.currentTrack == 2; }));
  app->store().dispatch(state::CDRipAction(state::CDRipActions::confirmStopRipping{}));
  app->quit();  // waits for the import's task to end
  EXPECT_FALSE(fs::exists(library.path() / "Other"));
  EXPECT_EQ(dialog->runs, 1);
}

}  // namespace
}  // namespace noru::app
