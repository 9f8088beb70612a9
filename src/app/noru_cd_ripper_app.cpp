#include "app/noru_cd_ripper_app.h"

#include <utility>

#include "app/restore_library_path.h"
#include "middleware/cd_rip_middleware.h"
#include "musicbrainz/musicbrainz_artist_picture.h"
#include "musicbrainz/musicbrainz_lookup.h"
#include "musicbrainz/musicbrainz_search.h"
#include "state/app_reducer.h"

namespace noru::app {
namespace {

// The second source looks covers up in the same Cover Art Archive as the rest of the program.
std::optional<musicbrainz::MusicBrainzService> secondSource(const AppEnvironment& environment) {
  auto service = environment.secondSource;
  if (service) {
    service->coverArtArchiveBaseURL = environment.coverArtArchiveBaseURL;
  }
  return service;
}

middleware::CDRipMiddleware ripMiddleware(const AppEnvironment& environment,
                                          const OutputFolderPicker& picker) {
  middleware::CDRipMiddleware ripping(
      environment.drives, [picker](const state::Dispatch& dispatch) { return picker(dispatch); });
  ripping.lookupCD.baseURL = environment.metadataServiceBaseURL;
  ripping.ripCD.fetchArtistImage.baseURL = environment.metadataServiceBaseURL;
  ripping.ripCD.fetchCoverArt.baseURL = environment.coverArtArchiveBaseURL;
  ripping.ripCD.lookUpAccurateRip.fetchAnswer.baseURL = environment.accurateRipBaseURL;
  auto& driveOffsets = ripping.ripCD.findReadOffset.fetchDriveOffsets;
  driveOffsets.baseURL = environment.accurateRipBaseURL;
  driveOffsets.cacheFile = environment.driveOffsetsCacheFile;
  if (const auto service = secondSource(environment)) {
    ripping.lookupCD.secondSource = musicbrainz::MusicBrainzLookup{*service};
    ripping.ripCD.fetchArtistImage.secondSource = musicbrainz::MusicBrainzArtistPicture{*service};
  }
  return ripping;
}

}  // namespace

NoruCDRipperApp::NoruCDRipperApp(platform::tasks::MainQueue& mainQueue, AppEnvironment environment)
    : environment_(std::move(environment)),
      runtime_(mainQueue),
      folderAccess_(std::make_shared<FolderAccessHolder>(environment_.folderAccess)),
      outputFolderPicker_{.dialog = environment_.folderDialog,
                          .preferences = environment_.preferences,
                          .folderAccess = folderAccess_} {
  state::AppState initial;
  initial.settings.libraryPath = restoreLibraryPath(*environment_.preferences, *folderAccess_);
  auto ripping = ripMiddleware(environment_, outputFolderPicker_);
  discWatcher_ = ripping.detectionService;
  store_ = state::AppStore::make(std::move(initial), state::reduceApp, {std::move(ripping)});
}

NoruCDRipperApp::~NoruCDRipperApp() {
  quit();
}

lookup::SearchCD NoruCDRipperApp::searchCD() const {
  lookup::SearchCD search;
  search.baseURL = environment_.metadataServiceBaseURL;
  if (const auto service = secondSource(environment_)) {
    search.secondSource = musicbrainz::MusicBrainzSearch{*service};
  }
  return search;
}

void NoruCDRipperApp::quit() {
  runtime_.quit([this] { discWatcher_->stop(); });
  store_.reset();
}

}  // namespace noru::app
