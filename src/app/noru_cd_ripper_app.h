#pragma once

#include <filesystem>
#include <memory>

#include "app/app_environment.h"
#include "app/folder_access_holder.h"
#include "app/output_folder_picker.h"
#include "lookup/search_cd.h"
#include "middleware/cd_detection_service.h"
#include "platform/tasks/application_runtime.h"
#include "state/app_store.h"

namespace noru::app {

// The application: the one store, created with the library folder restored from the last run
// and the ripping middleware installed, on the runtime of this run. Destroying it (or quit())
// ends the run in the one safe order: the main queue closes, the disc watcher stops, every
// task is cancelled and joined, and only then does the store go. Main thread only.
class NoruCDRipperApp {
 public:
  NoruCDRipperApp(platform::tasks::MainQueue& mainQueue, AppEnvironment environment);
  ~NoruCDRipperApp();
  NoruCDRipperApp(const NoruCDRipperApp&) = delete;
  NoruCDRipperApp& operator=(const NoruCDRipperApp&) = delete;

  state::AppStore& store() { return *store_; }
  const std::shared_ptr<state::AppStore>& sharedStore() const { return store_; }
  const AppEnvironment& environment() const { return environment_; }

  // The text search of the manual-entry sheet, on the same services as the disc lookup.
  lookup::SearchCD searchCD() const;

  // Asks the user for the library folder and records it; true when one was chosen.
  bool chooseOutputFolder() { return outputFolderPicker_(*store_); }

  // Records the preferences of the next imports in the preferences file and the state.
  void setImportPreferences(const state::ImportPreferences& preferences);

  // Adds the CUE/BIN image at `cuePath` as a drive. Raises platform::image::ImageError when
  // the image is refused.
  void openDiscImage(const std::filesystem::path& cuePath);

  void quit();

 private:
  AppEnvironment environment_;
  platform::tasks::ApplicationRuntime runtime_;
  std::shared_ptr<FolderAccessHolder> folderAccess_;
  OutputFolderPicker outputFolderPicker_;
  std::shared_ptr<middleware::CDDetectionService> discWatcher_;
  std::shared_ptr<state::AppStore> store_;
};

}  // namespace noru::app
