#include "app/app_environment.h"

#include "accuraterip/fetch_drive_offsets.h"
#include "app/qt_folder_dialog.h"
#include "app/system_folder_access.h"
#include "platform/http/service_addresses.h"
#include "platform/image/system_drives.h"

namespace noru::app {

AppEnvironment shippedEnvironment() {
  return AppEnvironment{
      .drives = platform::image::systemDrives(),
      .images = platform::image::ImageDriveRegistry::shared(),
      .metadataServiceBaseURL = std::string(platform::http::kMetadataServiceBaseURL),
      .coverArtArchiveBaseURL = std::string(platform::http::kCoverArtArchiveBaseURL),
      .secondSource = musicbrainz::MusicBrainzService{},
      .preferences = Preferences::forCurrentUser(),
      .folderDialog = std::make_shared<QtFolderDialog>(),
      .folderAccess = std::make_shared<SystemFolderAccess>(),
      .accurateRipBaseURL = std::string(platform::http::kAccurateRipBaseURL),
      .driveOffsetsCacheFile = accuraterip::FetchDriveOffsets::defaultCacheFile(),
  };
}

}  // namespace noru::app
