#pragma once

#include <QDialog>
#include <QMainWindow>
#include <QPointer>
#include <QString>

#include <filesystem>
#include <functional>
#include <memory>

#include "app/noru_cd_ripper_app.h"
#include "state/app_store.h"
#include "ui/import_end_notice.h"
#include "ui/view_services.h"

namespace noru::ui {

// What the window's controls ask of the application beyond dispatching actions.
struct WindowCommands {
  // Adds the CUE/BIN image at the path as a drive; raises platform::image::ImageError with the
  // reason when the image is refused.
  std::function<void(const std::filesystem::path&)> openDiscImage;
  // Asks the user for the library folder and records it.
  std::function<void()> chooseOutputFolder;
  // Records the preferences of the next imports.
  std::function<void(const state::ImportPreferences&)> setImportPreferences;
  // Shows the desktop a notification (see ImportEndNotice).
  DesktopNotify notify = notifyDesktop;
};

// The application's one window: the root view, a File menu that opens disc images as drives
// and quits, and an Edit menu that opens the preferences window. It dispatches didLaunch when its
// content is first shown.
class MainWindow : public QMainWindow {
 public:
  MainWindow(std::shared_ptr<state::AppStore> store, ViewServices services, WindowCommands commands,
             QWidget* parent = nullptr);

  // Adds the CUE/BIN image at `cuePath` as a drive; a refused image shows the reason in a
  // message box. True when the image was added.
  bool openDiscImage(const QString& cuePath);

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  void chooseDiscImage();
  void showPreferences();

  std::shared_ptr<state::AppStore> store_;
  WindowCommands commands_;
  bool launched_ = false;
  QPointer<QDialog> preferences_;  // while it is open
  std::unique_ptr<ImportEndNotice> endNotice_;
};

// The window of `app`, as the program shows it.
std::unique_ptr<MainWindow> mainWindowOf(app::NoruCDRipperApp& app);

}  // namespace noru::ui
