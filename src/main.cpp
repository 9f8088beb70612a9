// Noru CD Ripper: imports audio CDs into a music library. Any arguments are paths of CUE/BIN
// disc images, opened as drives at start exactly as the File menu would open them.
#include <QApplication>
#include <QStringList>

#include "app/app_environment.h"
#include "app/noru_cd_ripper_app.h"
#include "platform/qt/qt_main_queue.h"
#include "ui/main_window.h"

int main(int argc, char** argv) {
  QApplication application(argc, argv);
  QCoreApplication::setOrganizationName(QStringLiteral("Noru"));
  QCoreApplication::setApplicationName(QStringLiteral("Noru CD Ripper"));
  QGuiApplication::setDesktopFileName(QStringLiteral("noru-cd-ripper"));

  noru::platform::qt::QtMainQueue mainQueue;
  noru::app::NoruCDRipperApp app(mainQueue, noru::app::shippedEnvironment());
  int status = 0;
  {
    noru::ui::MainWindow window(app);
    window.show();
    for (const QString& cuePath : application.arguments().mid(1)) {
      window.openDiscImage(cuePath);
    }
    status = QApplication::exec();
  }
  app.quit();
  return status;
}
