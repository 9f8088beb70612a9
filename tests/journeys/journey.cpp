#include "journeys/journey.h"

#include <QBuffer>
#include <QImage>
#include <QRegularExpression>
#include <QThread>
#include <QThreadPool>

#include <libavcodec/avcodec.h>
#include <nlohmann/json.hpp>

#include "app/system_folder_access.h"
#include "platform/image/system_drives.h"
#include "support/fake_optical_drives.h"
#include "support/media_files.h"
#include "support/process_resources.h"

namespace noru::testing {

namespace fs = std::filesystem;

namespace {

// Answers as `choose` does.
struct ScriptedDialog final : app::FolderDialog {
  std::optional<fs::path> chooseFolder() override { return choose(); }
  std::function<std::optional<fs::path>()> choose;
};

}  // namespace

std::string serviceAnswer(const std::vector<AnswerRelease>& releases) {
  auto list = nlohmann::json::array();
  for (const auto& release : releases) {
    auto tracks = nlohmann::json::array();
    for (const auto& [number, title] : release.tracks) {
      tracks.push_back({{"number", number}, {"title", title}, {"artist_credit", release.artist}});
    }
    const std::string id = "release-" + std::to_string(list.size() + 1);
    list.push_back({{"release_mbid", id},
                    {"title", release.title},
                    {"artist_credit", release.artist},
                    {"artist_mbid", "artist-1"},
                    {"caa_id", 7},
                    {"caa_release_mbid", "caa-" + id},
                    {"tracks", tracks}});
  }
  return nlohmann::json{{"disc_id", "disc-id-1"}, {"releases", list}}.dump();
}

std::string jpegBytes() {
  QImage image(48, 48, QImage::Format_RGB32);
  image.fill(QColor(200, 60, 40));
  QByteArray bytes;
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::WriteOnly);
  image.save(&buffer, "JPG");
  return bytes.toStdString();
}

void expectTrackFiles(const fs::path& album, const std::string& artist, const std::string& title,
                      const std::vector<std::pair<std::string, std::int32_t>>& namesAndSectors,
                      bool withCover) {
  const int total = static_cast<int>(namesAndSectors.size());
  for (int number = 1; number <= total; ++number) {
    const auto& [name, sectors] = namesAndSectors[number - 1];
    SCOPED_TRACE(name);
    ASSERT_TRUE(fs::exists(album / name)) << ::testing::PrintToString(filesUnder(album));
    const auto audio = probeAudioFile(album / name);
    EXPECT_EQ(audio.codec, "aac");
    EXPECT_EQ(audio.profile, FF_PROFILE_AAC_LOW);
    EXPECT_EQ(audio.sampleRate, 44100);
    EXPECT_EQ(audio.channels, 2);
    EXPECT_NEAR(audio.durationSeconds, sectors / 75.0, 1024.0 / 44100.0);  // one AAC frame
    const auto items = readM4AItems(album / name);
    EXPECT_EQ(items.title, name.substr(3, name.size() - 7));
    EXPECT_EQ(items.artist, artist);
    EXPECT_EQ(items.album, title);
    EXPECT_EQ(items.trackNumber, std::make_pair(number, total));
    EXPECT_EQ(items.jpegCovers.size(), withCover ? 1u : 0u);
  }
}

Journey::Journey() {
  // Qt's own pool (smooth scaling of a cover uses it) keeps idle threads for half a minute;
  // here they end as soon as they are idle, so that what is left is the import's.
  QThreadPool::globalInstance()->setExpiryTimeout(0);
  const std::string jpeg = jpegBytes();
  for (const char* release : {"caa-release-1", "caa-release-2"}) {
    for (const char* size : {"250", "500", "1200"}) {
      service.respond("GET", std::string("/release/") + release + "/7-" + size + ".jpg", 200, jpeg,
                      "image/jpeg");
    }
  }
  service.respond("GET", "/v1/artists/artist-1", 200,
                  R"({"thumb_url":")" + service.url("/portrait.jpg") + R"("})");
  service.respond("GET", "/portrait.jpg", 200, jpeg, "image/jpeg");
}

void Journey::TearDown() {
  quit();
  QApplication::processEvents();
  // No file is left under the name the import writes it with before it takes its place: a
  // track being encoded (".<name>.<id>.part") or tagged ("<UUID>.m4a"), nor an earlier file
  // kept aside while an import replaced it (".<name>.<id>.earlier").
  static const QRegularExpression taggedCopy("^[0-9A-F]{8}(-[0-9A-F]{4}){3}-[0-9A-F]{12}\\.m4a$");
  for (const auto& entry : filesUnder(library.path())) {
    const auto name = QString::fromStdString(fs::path(entry).filename().string());
    EXPECT_FALSE(name.endsWith(".part") || name.endsWith(".earlier") ||
                 taggedCopy.match(name).hasMatch())
        << entry;
  }
  // The import's and lookups' threads have been joined and every descriptor they opened
  // (drive, files, connections) is closed. The stand-in server closes its end of a finished
  // connection a moment after the program has closed its own.
  QThreadPool::globalInstance()->waitForDone();
  waitFor(
      [&] {
        return liveThreadCount() <= threadsAtStart_ &&
               openFileDescriptorCount() <= descriptorsAtStart_;
      },
      std::chrono::seconds(5));
  EXPECT_LE(liveThreadCount(), threadsAtStart_);
  EXPECT_LE(openFileDescriptorCount(), descriptorsAtStart_);
}

void Journey::launch(const std::string& serviceURL) {
  quit();
  mainQueue = std::make_unique<platform::qt::QtMainQueue>();
  images = std::make_shared<platform::image::ImageDriveRegistry>();
  // The machine has one drive of its own, empty, beside the images the journey opens.
  auto machineDrives = std::make_shared<FakeOpticalDrives>();
  machineDrives->deviceList = std::vector<platform::linux_cd::OpticalDevice>{{
      .productName = "HL-DT-ST DVDRAM GH24NSD1",
      .registryPath = "/devices/pci0000:00/ata2/host1/target1:0:0/1:0:0:0/block/sr0",
      .mediaState = platform::linux_cd::kMediaNone,
      .bsdName = "sr0",
  }};
  drives = std::make_shared<InterceptedDrives>(
      std::make_shared<platform::image::SystemDrives>(machineDrives, images));
  // The folder dialog answers with the library, or is cancelled while declines are left.
  auto dialog = std::make_shared<ScriptedDialog>();
  dialog->choose = [this]() -> std::optional<fs::path> {
    ++folderDialogRuns;
    if (folderDialogDeclines == 0) {
      return library.path();
    }
    --folderDialogDeclines;
    return std::nullopt;
  };
  auto web = webServices;
  web.metadataService = serviceURL.empty() ? service.url() : serviceURL;
  web.coverArtArchive = service.url();
  web.accurateRip = service.url();
  web.cacheFolder = settings.path();
  app = std::make_unique<app::NoruCDRipperApp>(
      *mainQueue, app::AppEnvironment{
                      .drives = drives,
                      .images = images,
                      .services = web,
                      .preferences = std::make_shared<app::Preferences>(settingsFile()),
                      .folderDialog = dialog,
                      .folderAccess = std::make_shared<app::SystemFolderAccess>(),
                  });
  window = ui::mainWindowOf(*app);
  window->show();
  QApplication::processEvents();
  if (threadsAtStart_ == 0) {
    threadsAtStart_ = liveThreadCount();
    descriptorsAtStart_ = openFileDescriptorCount();
  }
}

void Journey::quit() {
  if (drives) {
    drives->release();  // a held read would keep the import's task from ending
  }
  if (app) {
    app->quit();
  }
  window.reset();
  app.reset();
  mainQueue.reset();
}

WrittenDiscImage Journey::insertDisc(const std::vector<ImageTrackPlan>& tracks,
                                     const std::string& discLines) {
  auto image =
      writeDiscImage(discs.path(), "disc" + std::to_string(++discCount_), tracks, discLines);
  EXPECT_TRUE(window->openDiscImage(QString::fromStdString(image.cuePath.string())));
  return image;
}

void Journey::ejectDisc() {
  const auto inserted = images->devices();
  ASSERT_TRUE(inserted && !inserted->empty());
  images->eject(inserted->back());
}

bool Journey::waitFor(const std::function<bool()>& done, std::chrono::milliseconds limit) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  while (!done()) {
    if (std::chrono::steady_clock::now() > deadline) {
      return false;
    }
    QApplication::processEvents(QEventLoop::AllEvents, 5);
    QThread::msleep(2);
  }
  return true;
}

void Journey::click(const QString& name) {
  ASSERT_TRUE(waitFor([&] { return button(name) != nullptr; }))
      << "no button " << name.toStdString();
  button(name)->click();
  QApplication::processEvents();
}

void Journey::type(const QString& name, const QString& text) {
  QLineEdit* edit = field(name);
  ASSERT_NE(edit, nullptr) << "no field " << name.toStdString();
  edit->setFocus();
  edit->selectAll();
  edit->insert(text);
}

}  // namespace noru::testing
