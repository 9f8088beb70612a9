#include "ui/main_window.h"

#include <QAction>
#include <QApplication>
#include <QFileDialog>
#include <QKeySequence>
#include <QMenuBar>
#include <QMessageBox>

#include <utility>

#include "platform/image/image_error.h"
#include "ui/interface_style.h"
#include "ui/preferences_window.h"
#include "ui/root_view.h"

namespace noru::ui {

MainWindow::MainWindow(std::shared_ptr<state::AppStore> store, ViewServices services,
                       WindowCommands commands, QWidget* parent)
    : QMainWindow(parent), store_(std::move(store)), commands_(std::move(commands)) {
  setWindowTitle(localized("Noru CD Ripper"));
  setWindowIcon(QIcon(logo(256)));
  setMinimumSize(560, 480);

  setCentralWidget(new RootView(store_, std::move(services), commands_.chooseOutputFolder));

  auto* file = menuBar()->addMenu(localized("File"));
  auto* open = file->addAction(localized("Open Disc Image\u2026"));
  open->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_O));
  connect(open, &QAction::triggered, this, [this] { chooseDiscImage(); });
  file->addSeparator();
  auto* quit = file->addAction(localized("Quit"));
  quit->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));
  connect(quit, &QAction::triggered, this, [this] { close(); });

  endNotice_ = std::make_unique<ImportEndNotice>(store_, *this, commands_.notify);

  auto* edit = menuBar()->addMenu(localized("Edit"));
  auto* preferences = edit->addAction(localized("Preferences…"));
  preferences->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Comma));
  connect(preferences, &QAction::triggered, this, [this] { showPreferences(); });
}

void MainWindow::showPreferences() {
  if (!preferences_) {
    preferences_ = new PreferencesWindow(store_, commands_.chooseOutputFolder,
                                         commands_.setImportPreferences, this);
    preferences_->setAttribute(Qt::WA_DeleteOnClose);
  }
  preferences_->show();
  preferences_->raise();
  preferences_->activateWindow();
}

bool MainWindow::openDiscImage(const QString& cuePath) {
  try {
    commands_.openDiscImage(cuePath.toStdString());
    return true;
  } catch (const platform::image::ImageError& error) {
    auto* refusal =
        new QMessageBox(QMessageBox::Warning, localized("The disc image cannot be opened"),
                        QString::fromStdString(error.what()), QMessageBox::Ok, this);
    refusal->setAttribute(Qt::WA_DeleteOnClose);
    refusal->open();
    return false;
  }
}

void MainWindow::showEvent(QShowEvent* event) {
  QMainWindow::showEvent(event);
  if (!launched_) {
    launched_ = true;
    store_->dispatch(state::ApplicationAction(state::ApplicationActions::didLaunch{}));
  }
}

void MainWindow::chooseDiscImage() {
  const QString path = QFileDialog::getOpenFileName(this, localized("Open Disc Image\u2026"),
                                                    QString(), localized("Cue sheets (*.cue)"));
  if (!path.isEmpty()) {
    openDiscImage(path);
  }
}

std::unique_ptr<MainWindow> mainWindowOf(app::NoruCDRipperApp& app) {
  return std::make_unique<MainWindow>(
      app.sharedStore(), ViewServices{app.searchCD(), app.environment().services},
      WindowCommands{
          .openDiscImage =
              [&app](const std::filesystem::path& cuePath) { app.openDiscImage(cuePath); },
          .chooseOutputFolder = [&app] { app.chooseOutputFolder(); },
          .setImportPreferences =
              [&app](const state::ImportPreferences& preferences) {
                app.setImportPreferences(preferences);
              },
      });
}

}  // namespace noru::ui
