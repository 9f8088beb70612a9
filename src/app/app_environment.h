#pragma once

#include <filesystem>
#include <memory>
#include <optional>
#include <string>

#include "app/folder_access.h"
#include "app/folder_dialog.h"
#include "app/preferences.h"
#include "musicbrainz/musicbrainz_service.h"
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
  std::string metadataServiceBaseURL;
  std::string coverArtArchiveBaseURL;
  // Asked directly when the metadata service cannot be reached; none: no second source.
  std::optional<musicbrainz::MusicBrainzService> secondSource;
  std::shared_ptr<Preferences> preferences;
  std::shared_ptr<FolderDialog> folderDialog;
  std::shared_ptr<FolderAccess> folderAccess;
  // The AccurateRip database and its drive offset list; empty: never reached.
  std::string accurateRipBaseURL;
  // Where the drive offset list is kept once downloaded; empty: not kept.
  std::filesystem::path driveOffsetsCacheFile;
};

// The machine's optical drives with the disc images opened in this run, the product's metadata
// service with MusicBrainz behind it, the Cover Art Archive, the user's own preferences file, the
// Qt folder dialog, the file system's access checks, and AccurateRip with the drive offset list
// cached under the user's cache folder.
AppEnvironment shippedEnvironment();

}  // namespace noru::app
