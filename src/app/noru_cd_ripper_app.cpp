#include "app/noru_cd_ripper_app.h"

#include <utility>

#include "app/restore_library_path.h"
#include "middleware/cd_rip_middleware.h"
#include "state/app_reducer.h"

namespace noru::app {
namespace {

middleware::CDRipMiddleware ripMiddleware(const AppEnvironment& environment,
                                          const OutputFolderPicker& picker) {
  middleware::CDRipMiddleware ripping(
      environment.drives, [picker](const state::Dispatch& dispatch) { return picker(dispatch); });
  ripping.lookupCD.baseURL = environment.metadataServiceBaseURL;
  ripping.ripCD.fetchArtistImage.baseURL = environment.metadataServiceBaseURL;
  ripping.ripCD.fetchCoverArt.baseURL = environment.coverArtArchiveBaseURL;
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

void NoruCDRipperApp::quit() {
  runtime_.quit([this] { discWatcher_->stop(); });
  store_.reset();
}

}  // namespace noru::app
