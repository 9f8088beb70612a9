#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <string>

#include "disc/eject_cd_drive.h"
#include "lookup/lookup_cd.h"
#include "middleware/cd_detection_service.h"
#include "middleware/lookup_task_holder.h"
#include "middleware/rip_task_holder.h"
#include "platform/http/web_services.h"
#include "platform/linux/optical_drives.h"
#include "rip/rip_cd.h"
#include "state/app_store.h"

namespace noru::middleware {

// The store's one middleware: turns ripping actions into side effects. It starts and pauses the
// disc watcher, looks up a newly inserted disc, starts the import of the disc into the library
// (asking for the library folder first when none is set), cancels it, has the files of an
// import the user wants removed taken away, and ejects discs. It never changes state: what its
// work finds comes back as actions through the store's re-dispatch function. Main thread only;
// copies share the watcher and the task holders.
class CDRipMiddleware {
 public:
  // Asks the user for the library folder and records it (dispatching setOutputFolder through
  // the function it is given). True when a folder was chosen.
  using ChooseOutputFolder = std::function<bool(const state::Dispatch&)>;

  // How long an eject waits for a stopped import to let go of the drive.
  static constexpr std::chrono::seconds kEjectWait{5};

  // A middleware whose every operation works on `drives` and reaches the web through
  // `services`.
  CDRipMiddleware(const std::shared_ptr<platform::linux_cd::OpticalDrives>& drives,
                  const platform::http::WebServices& services,
                  ChooseOutputFolder chooseOutputFolder);

  // Returns `action` unchanged, always.
  state::AnyAction handle(state::AnyAction action, const state::AppState& state,
                          const state::Dispatch& dispatch);

  // The disc watcher, which the application stops as it quits.
  const std::shared_ptr<CDDetectionService>& discWatcher() const { return detectionService_; }
  // The import task, its drive and its album folder.
  const std::shared_ptr<RipTaskHolder>& ripTask() const { return ripTask_; }

 private:
  struct CaseHandler;

  void lookUp(const disc::CDDiscInfo& info, const state::Dispatch& dispatch);
  void startImport(const state::AppState& state, const state::Dispatch& dispatch);
  void ejectOnceFree(const std::string& driveId);
  static void notStarted(const state::Dispatch& dispatch);

  std::shared_ptr<RipTaskHolder> ripTask_ = std::make_shared<RipTaskHolder>();
  std::shared_ptr<LookupTaskHolder> lookupTask_ = std::make_shared<LookupTaskHolder>();
  std::shared_ptr<CDDetectionService> detectionService_;
  rip::RipCD ripCD_;
  lookup::LookupCD lookupCD_;
  disc::EjectCDDrive ejectDrive_;
  ChooseOutputFolder chooseOutputFolder_;
};

}  // namespace noru::middleware
