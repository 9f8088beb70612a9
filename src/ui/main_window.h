#pragma once

#include <QMainWindow>
#include <QString>

#include "app/noru_cd_ripper_app.h"

namespace noru::ui {

// The application's one window: the root view, and a File menu that opens disc images as
// drives and quits. It dispatches didLaunch when its content is first shown.
class MainWindow : public QMainWindow {
 public:
  explicit MainWindow(app::NoruCDRipperApp& app, QWidget* parent = nullptr);

  // Adds the CUE/BIN image at `cuePath` as a drive; a refused image shows the reason in a
  // message box. True when the image was added.
  bool openDiscImage(const QString& cuePath);

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  void chooseDiscImage();

  app::NoruCDRipperApp& app_;
  bool launched_ = false;
};

}  // namespace noru::ui
