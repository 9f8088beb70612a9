#pragma once

#include <memory>

#include "app/folder_access.h"
#include "app/folder_dialog.h"
#include "app/preferences.h"
#include "platform/http/web_services.h"
#include "platform/image/image_drive_registry.h"
#include "platform/linux/optical_drives.h"

namespace noru::app {

// Everything the application takes from outside itself. The shipped program can only run with
// shippedEnvironment(); tests build the whole application on drives, services, a settings file
// and a folder dialog of their own.
struct AppEnvironment {
  std::shared_ptr<platform::linux_cd::OpticalDrives> drives;
  // Where disc images opened by the user become drives; one of the sources of `drives`.
  std::shared_ptr<platform::image::ImageDriveRegistry> images;
  // Every web service, where downloaded lists are kept, and how the program names itself.
  platform::http::WebServices services;
  std::shared_ptr<Preferences> preferences;
  std::shared_ptr<FolderDialog> folderDialog;
  std::shared_ptr<FolderAccess> folderAccess;
};

// The machine's optical drives with the disc images opened in this run, the services fixed in
// the program (the metadata service with MusicBrainz behind it, the Cover Art Archive,
// AccurateRip, the user's cache folder), the user's own preferences file, the Qt folder dialog
// and the file system's access checks.
AppEnvironment shippedEnvironment();

}  // namespace noru::app
