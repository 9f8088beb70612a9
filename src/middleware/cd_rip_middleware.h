#pragma once

#include <chrono>
#include <functional>
#include <memory>

#include "disc/eject_cd_drive.h"
#include "lookup/lookup_cd.h"
#include "middleware/cd_detection_service.h"
#include "middleware/lookup_task_holder.h"
#include "middleware/rip_task_holder.h"
#include "platform/linux/optical_drives.h"
#include "rip/cleanup_ripped_files.h"
#include "rip/rip_cd.h"
#include "state/app_store.h"

namespace noru::middleware {

// The store's one middleware: turns ripping actions into side effects. It starts and pauses the
// disc watcher, looks up a newly inserted disc, starts the import of the disc into the library
// (asking for the library folder first when none is set), cancels it, removes the files of a
// stopped or failed import, and ejects discs. It never changes state: what its work finds comes
// back as actions through the store's re-dispatch function. Main thread only; copies share the
// watcher and the task holders.
class CDRipMiddleware {
 public:
  // Asks the user for the library folder and records it (dispatching setOutputFolder through
  // the function it is given). True when a folder was chosen.
  using ChooseOutputFolder = std::function<bool(const state::Dispatch&)>;
  using Clock = std::function<std::chrono::system_clock::time_point()>;

  // A middleware whose every operation works on `drives`.
  CDRipMiddleware(const std::shared_ptr<platform::linux_cd::OpticalDrives>& drives,
                  ChooseOutputFolder chooseOutputFolder);

  // Returns `action` unchanged, always.
  state::AnyAction handle(state::AnyAction action, const state::AppState& state,
                          const state::Dispatch& dispatch);

  std::shared_ptr<CDDetectionService> detectionService;
  rip::RipCD ripCD;
  lookup::LookupCD lookupCD;
  rip::CleanupRippedFiles cleanupRippedFiles;
  std::shared_ptr<RipTaskHolder> ripTask = std::make_shared<RipTaskHolder>();
  std::shared_ptr<LookupTaskHolder> lookupTask = std::make_shared<LookupTaskHolder>();
  disc::EjectCDDrive ejectDrive;
  ChooseOutputFolder chooseOutputFolder;
  // The time that names the folder of an import without a release.
  Clock now = [] { return std::chrono::system_clock::now(); };

 private:
  struct CaseHandler;

  void lookUp(const disc::CDDiscInfo& info, const state::Dispatch& dispatch);
  void startImport(const state::AppState& state, const state::Dispatch& dispatch);
  static void endRefusedStart(const state::Dispatch& dispatch);
  void removeImportedFiles(const state::AppState& state);
};

}  // namespace noru::middleware
