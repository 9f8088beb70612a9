// The window as the program builds it, on a disc image opened through the File menu's code
// path, with the services standing in on 127.0.0.1.
#include "ui/main_window.h"

#include <gtest/gtest.h>

#include <QLabel>

#include "app/system_folder_access.h"
#include "platform/image/system_drives.h"
#include "support/disc_image_writer.h"
#include "support/fake_optical_drives.h"
#include "support/manual_main_queue.h"
#include "support/temporary_folder.h"
#include "support/test_http_server.h"
#include "view_test.h"

namespace noru::ui {
namespace {

struct NoDialog final : app::FolderDialog {
  std::optional<std::filesystem::path> chooseFolder() override { return std::nullopt; }
};

TEST(MainWindow, LaunchesOnceAndShowsADiscImageOpenedFromTheMenu) {
  noru::testing::ManualMainQueue mainQueue;
  noru::testing::TemporaryFolder folder;
  noru::testing::TestHttpServer server;
  server.respond("POST", "/v1/cd/lookup", 200, R"({"releases":[]})");
  auto images = std::make_shared<platform::image::ImageDriveRegistry>();
  app::NoruCDRipperApp app(
      mainQueue, app::AppEnvironment{
                     .drives = std::make_shared<platform::image::SystemDrives>(
                         std::make_shared<noru::testing::FakeOpticalDrives>(), images),
                     .images = images,
                     .metadataServiceBaseURL = server.url(),
                     .coverArtArchiveBaseURL = server.url(),
                     .preferences = std::make_shared<app::Preferences>(folder.path() / "p.ini"),
                     .folderDialog = std::make_shared<NoDialog>(),
                     .folderAccess = std::make_shared<app::SystemFolderAccess>(),
                 });
  MainWindow window(app);
  window.show();
  window.hide();
  window.show();
  EXPECT_EQ(window.windowTitle(), "Noru CD Ripper");
  EXPECT_EQ(app.store().state().cdRip.drives.size(), 0u) << "the watcher started on launch";

  const auto image =
      noru::testing::writeDiscImage(folder.path(), "Sample", {{.sectors = 750}, {.sectors = 1500}});
  ASSERT_TRUE(window.openDiscImage(QString::fromStdString(image.cuePath.string())));
  ASSERT_TRUE(
      mainQueue.runUntil([&] { return testing::visibleTexts(window).contains("2 audio tracks"); }));
  ASSERT_TRUE(mainQueue.runUntil([&] { return !app.store().state().cdRip.isLookingUp; }));
  EXPECT_EQ(server.requests().size(), 1u) << "one lookup: didLaunch started one watcher";

  EXPECT_FALSE(window.openDiscImage(QString::fromStdString((folder.path() / "none.cue").string())));
}

}  // namespace
}  // namespace noru::ui
