#pragma once

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QString>

#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "app/noru_cd_ripper_app.h"
#include "journeys/intercepted_drives.h"
#include "platform/http/web_services.h"
#include "platform/image/image_drive_registry.h"
#include "platform/qt/qt_main_queue.h"
#include "support/disc_image_writer.h"
#include "support/temporary_folder.h"
#include "support/test_http_server.h"
#include "ui/main_window.h"

namespace noru::testing {

// A release as the metadata service describes it, with front artwork and an artist picture.
struct AnswerRelease {
  std::string artist = "The Artist";
  std::string title = "The Album";
  std::vector<std::pair<int, std::string>> tracks;  // number and title
};

// The JSON answer of a disc lookup or a text search holding `releases`.
std::string serviceAnswer(const std::vector<AnswerRelease>& releases);

// A small JPEG picture.
std::string jpegBytes();

inline const QString kImportComplete = "Import complete. Eject the disc or insert another.";

// The track files in the album folder, "NN Title.m4a" each as long as its sectors: AAC-LC,
// 44.1 kHz stereo, tagged with the names, "N of total" and, if `withCover`, the front cover.
void expectTrackFiles(const std::filesystem::path& album, const std::string& artist,
                      const std::string& title,
                      const std::vector<std::pair<std::string, std::int32_t>>& namesAndSectors,
                      bool withCover);

// The whole program as a user meets it: the window shown offscreen on the Qt event loop, the
// application built by its composition root on disc images (whose raw reads the test can
// intercept), an in-process metadata service and Cover Art Archive on 127.0.0.1, a library
// folder that the folder dialog answers with, and a settings file of its own. Each journey
// ends by checking that the import left no thread, descriptor or temporary file behind.
class Journey : public ::testing::Test {
 protected:
  Journey();
  void TearDown() override;

  // Starts the program (again) with the service at `serviceURL`, by default `service`.
  void launch(const std::string& serviceURL = {});
  // Ends the program the way its Quit does: every task is cancelled and joined.
  void quit();

  // Writes a disc image of `tracks` and opens it through the window's File menu code.
  WrittenDiscImage insertDisc(const std::vector<ImageTrackPlan>& tracks,
                              const std::string& discLines = "");
  void ejectDisc();

  // Runs the event loop until `done` holds; false after `limit`.
  bool waitFor(const std::function<bool()>& done,
               std::chrono::milliseconds limit = std::chrono::seconds(60));
  bool waitForText(const QString& text) {
    return waitFor([&] { return shows(text); });
  }
  // Until the lookup has chosen a release for the disc.
  bool waitForRelease() {
    return waitFor([&] { return app->store().state().cdRip.selectedRelease.has_value(); });
  }
  bool importHasEnded() const { return !app->store().state().cdRip.isRipping; }

  // Whether a label of the window or of one of its open dialogs shows `text`.
  bool shows(const QString& text) const {
    return shown<QLabel>([&](const QLabel& label) { return label.text() == text; }) != nullptr;
  }
  // The visible, enabled button of the window or its dialogs with this accessible name.
  QAbstractButton* button(const QString& name) const {
    return shown<QAbstractButton>([&](const QAbstractButton& button) {
      return button.accessibleName() == name && button.isEnabled();
    });
  }
  void click(const QString& name);
  QLineEdit* field(const QString& name) const {
    return shown<QLineEdit>([&](const QLineEdit& edit) { return edit.accessibleName() == name; });
  }
  void type(const QString& name, const QString& text);
  // "Stop", then "Stop and Remove Files" in the confirmation.
  void stopAndRemoveFiles() {
    click("Stop");
    click("Stop and Remove Files");
  }

  // The first visible W of the window or of its open dialogs that `matches`; null if none.
  template <class W>
  W* shown(const std::function<bool(const W&)>& matches) const {
    for (const QWidget* window : QApplication::topLevelWidgets()) {
      for (W* widget : window->isVisible() ? window->findChildren<W*>() : QList<W*>()) {
        if (widget->isVisible() && matches(*widget)) {
          return widget;
        }
      }
    }
    return nullptr;
  }

  std::filesystem::path albumFolder(const std::string& artist = "The Artist",
                                    const std::string& album = "The Album") const {
    return library.path() / artist / album;
  }
  std::filesystem::path settingsFile() const { return settings.path() / "noru.ini"; }

  TemporaryFolder discs;
  TemporaryFolder library;
  TemporaryFolder settings;
  TestHttpServer service;
  // The program's web services besides the stand-in (which launch() fills in): a journey may
  // set MusicBrainz as the second source before launch().
  platform::http::WebServices webServices;
  std::shared_ptr<platform::image::ImageDriveRegistry> images;
  std::shared_ptr<InterceptedDrives> drives;
  int folderDialogRuns = 0;
  int folderDialogDeclines = 0;

  std::unique_ptr<platform::qt::QtMainQueue> mainQueue;
  std::unique_ptr<app::NoruCDRipperApp> app;
  std::unique_ptr<ui::MainWindow> window;

 private:
  int discCount_ = 0;
  std::size_t threadsAtStart_ = 0;
  std::size_t descriptorsAtStart_ = 0;
};

}  // namespace noru::testing
