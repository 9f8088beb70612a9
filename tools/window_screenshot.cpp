// Renders the window as a user sees it with a disc image in its drive and the release the
// metadata service found for it, and saves it as a PNG: the picture in the README. The service
// and the Cover Art Archive are stood in for on 127.0.0.1; nothing leaves the machine.
// Usage: noru-window-screenshot SAMPLE.cue OUTPUT.png
#include <httplib.h>

#include <QApplication>
#include <QBuffer>
#include <QElapsedTimer>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QTemporaryDir>
#include <QTimer>

#include <thread>

#include "app/app_environment.h"
#include "app/folder_bookmark.h"
#include "app/noru_cd_ripper_app.h"
#include "platform/qt/qt_main_queue.h"
#include "ui/main_window.h"

namespace {

constexpr const char* kRelease =
    R"({"disc_id":"Wn8eRBtHw8gr1pLqZ0k8kcVMcEw-","releases":[{"release_mbid":"sample-release",)"
    R"("title":"Three Tones","artist_credit":"Noru Samples","artist_mbid":"sample-artist",)"
    R"("date":"2026","country":"XW","caa_id":1,"caa_release_mbid":"sample-release","tracks":[)"
    R"({"number":1,"title":"C and E","artist_credit":"Noru Samples","length_ms":6000},)"
    R"({"number":2,"title":"D and F sharp","artist_credit":"Noru Samples","length_ms":5000},)"
    R"({"number":3,"title":"E and G sharp","artist_credit":"Noru Samples","length_ms":7000}]}]})";

std::string coverJpeg() {
  QImage cover(250, 250, QImage::Format_RGB32);
  QPainter painter(&cover);
  QLinearGradient gradient(0, 0, 250, 250);
  gradient.setColorAt(0, QColor(0x3b, 0x3f, 0x6b));
  gradient.setColorAt(1, QColor(0xe0, 0x53, 0x3d));
  painter.fillRect(cover.rect(), gradient);
  painter.setPen(Qt::white);
  painter.setFont(QFont(QStringLiteral("DejaVu Sans"), 22, QFont::Bold));
  painter.drawText(cover.rect(), Qt::AlignCenter, QStringLiteral("Three\nTones"));
  painter.end();
  QByteArray bytes;
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::WriteOnly);
  cover.save(&buffer, "JPG");
  return bytes.toStdString();
}

}  // namespace

int main(int argc, char** argv) {
  QApplication application(argc, argv);
  if (argc != 3) {
    qCritical("usage: noru-window-screenshot SAMPLE.cue OUTPUT.png");
    return 2;
  }
  const std::string cover = coverJpeg();
  httplib::Server services;
  services.Post("/v1/cd/lookup", [](const httplib::Request&, httplib::Response& response) {
    response.set_content(kRelease, "application/json");
  });
  services.Get("/release/sample-release/1-250.jpg",
               [&](const httplib::Request&, httplib::Response& response) {
                 response.set_content(cover, "image/jpeg");
               });
  const int port = services.bind_to_any_port("127.0.0.1");
  std::thread serving([&] { services.listen_after_bind(); });
  const std::string base = "http://127.0.0.1:" + std::to_string(port);

  // A home folder of its own, so that the header shows the library as a user's would be.
  QTemporaryDir home;
  qputenv("HOME", home.path().toLocal8Bit());
  const std::filesystem::path homePath = home.path().toStdString();
  const std::filesystem::path library = homePath / "Music";
  std::filesystem::create_directories(library);
  auto environment = noru::app::shippedEnvironment();
  // Only the stand-in answers: the picture must not depend on anything out there.
  environment.services = {.metadataService = base, .coverArtArchive = base};
  environment.preferences = std::make_shared<noru::app::Preferences>(homePath / "p.ini");
  environment.preferences->writeOutputFolderBookmark(*noru::app::makeFolderBookmark(library));

  int status = 1;
  {
    noru::platform::qt::QtMainQueue mainQueue;
    noru::app::NoruCDRipperApp app(mainQueue, environment);
    {
      const auto window = noru::ui::mainWindowOf(app);
      window->resize(640, 560);
      window->show();
      window->openDiscImage(QString::fromLocal8Bit(argv[1]));
      QElapsedTimer waited;
      waited.start();
      QTimer poll;
      QObject::connect(&poll, &QTimer::timeout, [&] {
        const auto& rip = app.store().state().cdRip;
        // The release is shown and its cover had time to arrive, or it is too late anyway.
        if ((rip.selectedRelease && waited.elapsed() > 1500) || waited.elapsed() > 15000) {
          status =
              window->grab().save(QString::fromLocal8Bit(argv[2])) && rip.selectedRelease ? 0 : 1;
          QApplication::quit();
        }
      });
      poll.start(100);
      QApplication::exec();
    }
    app.quit();
  }
  services.stop();
  serving.join();
  return status;
}
