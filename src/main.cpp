// Noru CD Ripper: imports audio CDs into a music library. Any arguments are paths of CUE/BIN
// disc images, opened as drives at start exactly as the File menu would open them.
#include <QApplication>
#include <QStringList>

#include "app/app_environment.h"
#include "app/noru_cd_ripper_app.h"
#include "platform/log/diagnostic_log.h"
#include "platform/log/diagnostic_log_file.h"
#include "platform/qt/qt_main_queue.h"
#include "ui/main_window.h"

int main(int argc, char** argv) {
  // Diagnostic lines go to the log in the XDG state folder (and to a terminal, if any) for the
  // whole run: the sink is installed before anything can report and removed after the last.
  noru::platform::log::DiagnosticLogFile logFile(noru::platform::log::defaultDiagnosticLogFolder());
  noru::platform::log::ScopedSink logSink(logFile.sink());
  noru::platform::log::diagnostic("Noru CD Ripper ", NORU_VERSION, " started");

  QApplication application(argc, argv);
  QCoreApplication::setOrganizationName(QStringLiteral("Noru"));
  QCoreApplication::setApplicationName(QStringLiteral("Noru CD Ripper"));
  QGuiApplication::setDesktopFileName(QStringLiteral("noru-cd-ripper"));

  noru::platform::qt::QtMainQueue mainQueue;
  noru::app::NoruCDRipperApp app(mainQueue, noru::app::shippedEnvironment());
  int status = 0;
  {
    const auto window = noru::ui::mainWindowOf(app);
    window->show();
    for (const QString& cuePath : application.arguments().mid(1)) {
      window->openDiscImage(cuePath);
    }
    status = QApplication::exec();
  }
  app.quit();
  return status;
}
