#include "app/noru_cd_ripper_app.h"

#include <utility>

#include "app/restore_library_path.h"
#include "middleware/cd_rip_middleware.h"
#include "musicbrainz/with_musicbrainz.h"
#include "state/app_reducer.h"

namespace noru::app {

NoruCDRipperApp::NoruCDRipperApp(platform::tasks::MainQueue& mainQueue, AppEnvironment environment)
    : environment_(std::move(environment)),
      runtime_(mainQueue),
      folderAccess_(std::make_shared<FolderAccessHolder>(environment_.folderAccess)),
      outputFolderPicker_{.dialog = environment_.folderDialog,
                          .preferences = environment_.preferences,
                          .folderAccess = folderAccess_} {
  state::AppState initial;
  initial.settings.libraryPath = restoreLibraryPath(*environment_.preferences, *folderAccess_);
  initial.settings.import = environment_.preferences->importPreferences();
  middleware::CDRipMiddleware ripping(
      environment_.drives, environment_.services,
      [picker = outputFolderPicker_](const state::Dispatch& dispatch) { return picker(dispatch); });
  discWatcher_ = ripping.discWatcher();
  store_ = state::AppStore::make(std::move(initial), state::reduceApp, {std::move(ripping)});
}

NoruCDRipperApp::~NoruCDRipperApp() {
  quit();
}

lookup::SearchCD NoruCDRipperApp::searchCD() const {
  return musicbrainz::searchWithMusicBrainz(environment_.services);
}

void NoruCDRipperApp::setImportPreferences(const state::ImportPreferences& preferences) {
  environment_.preferences->writeImportPreferences(preferences);
  store_->dispatch(state::UIAction(state::UIActions::setImportPreferences{preferences}));
}

void NoruCDRipperApp::openDiscImage(const std::filesystem::path& cuePath) {
  environment_.images->addImage(cuePath);
}

void NoruCDRipperApp::quit() {
  runtime_.quit([this] { discWatcher_->stop(); });
  store_.reset();
}

}  // namespace noru::app
