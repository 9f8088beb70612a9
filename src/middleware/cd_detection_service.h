#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <vector>

#include "disc/detect_cd_drives.h"
#include "disc/read_cd_disc_info.h"
#include "platform/linux/device_events.h"
#include "platform/linux/optical_drives.h"
#include "platform/tasks/main_queue.h"
#include "state/any_action.h"

namespace noru::middleware {

// Keeps the application informed about the optical drives and their discs. It follows the
// drives' appeared, disappeared and medium-changed events and, as a second line (and the only
// one where no udev daemon runs), scans every 3 seconds; what it learns it hands to `dispatch`
// as ripping actions (drivesUpdated, discInserted, discInsertedIfNew, discEjected). It never
// changes state itself. Main thread only; shared by reference (create() makes one), and every
// callback it registers holds it weakly, so that nothing happens once it is gone.
class CDDetectionService : public std::enable_shared_from_this<CDDetectionService> {
  struct CreationKey {};

 public:
  using Dispatch = std::function<void(state::AnyAction)>;

  static constexpr std::chrono::milliseconds kPollInterval{3000};

  // A watcher of `drives`: their list, their tables of contents and their events.
  static std::shared_ptr<CDDetectionService> create(
      const std::shared_ptr<platform::linux_cd::OpticalDrives>& drives);
  CDDetectionService(CreationKey, const std::shared_ptr<platform::linux_cd::OpticalDrives>& drives);

  // Starts watching: registers for the drive events, scans the drives and reports them and
  // any disc already present, then starts the poll. Starting again first ends the earlier
  // registrations and poll, so that no event is ever reported twice.
  void start(Dispatch dispatch);

  // Ends the registrations and the poll: nothing is reported until the next start.
  void stop();

  std::vector<std::unique_ptr<platform::linux_cd::EventSubscription>> observers;
  disc::DetectCDDrives detectDrives;
  disc::ReadCDDiscInfo readDiscInfo;
  std::unique_ptr<platform::tasks::Timer> pollTimer;
  bool lastPollHadDisc = false;
  // Where the drive events come from.
  std::shared_ptr<platform::linux_cd::DeviceEvents> deviceEvents;

 private:
  void onDeviceEvent(const platform::linux_cd::DeviceEvent& event, const Dispatch& dispatch);
  void onDriveListChanged(const Dispatch& dispatch);
  void onStatusChanged(const platform::linux_cd::OpticalDevice& device, const Dispatch& dispatch);
  void poll(const Dispatch& dispatch);
  void stopPolling();
};

}  // namespace noru::middleware
