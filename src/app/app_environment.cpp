#include "app/app_environment.h"

#include "app/qt_folder_dialog.h"
#include "app/system_folder_access.h"
#include "platform/image/system_drives.h"

namespace noru::app {

AppEnvironment shippedEnvironment() {
  return AppEnvironment{
      .drives = platform::image::systemDrives(),
      .images = platform::image::ImageDriveRegistry::shared(),
      .services = platform::http::WebServices::shipped(),
      .preferences = Preferences::forCurrentUser(),
      .folderDialog = std::make_shared<QtFolderDialog>(),
      .folderAccess = std::make_shared<SystemFolderAccess>(),
  };
}

}  // namespace noru::app
