#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "disc/cd_disc_info.h"
#include "disc/cd_drive.h"
#include "disc/detect_cd_drives.h"
#include "disc/read_cd_disc_info.h"
#include "middleware/serial_work_lane.h"
#include "platform/linux/device_events.h"
#include "platform/linux/optical_drives.h"
#include "platform/tasks/main_queue.h"
#include "state/any_action.h"

namespace noru::middleware {

// Keeps the application informed about the optical drives and their discs. It follows the
// drives' appeared, disappeared and medium-changed events and, as a second line (and the only
// one where no udev daemon runs), scans every 3 seconds; what it learns it hands to `dispatch`
// as ripping actions (drivesUpdated, discInserted, discInsertedIfNew, discEjected). It never
// changes state itself.
//
// Listing the drives and reading a table of contents can block for seconds (a drive spinning
// up holds a full-TOC request up to its timeout), so both run on one lane of background work,
// one piece at a time in the order the watcher asked for them; what they find comes back to the
// main thread, where the watcher decides what to report. A disc's table of contents is kept by
// drive and not read again while the drive keeps reporting a medium.
//
// Main thread only; shared by reference (create() makes one), and every callback it registers
// or hands to the lane holds it weakly, so that nothing happens once it is gone.
class CDDetectionService : public std::enable_shared_from_this<CDDetectionService> {
  struct CreationKey {};

 public:
  using Dispatch = std::function<void(state::AnyAction)>;
  // Whether an import is reading `drive`: the poll leaves such a drive's disc alone until the
  // import ends. Asked on the main thread; none means no drive is ever in use.
  using DriveInUse = std::function<bool(const disc::CDDrive&)>;

  static constexpr std::chrono::milliseconds kPollInterval{3000};

  // A watcher of `drives`: their list, their tables of contents and their events.
  static std::shared_ptr<CDDetectionService> create(
      const std::shared_ptr<platform::linux_cd::OpticalDrives>& drives, DriveInUse driveInUse = {});
  CDDetectionService(CreationKey, const std::shared_ptr<platform::linux_cd::OpticalDrives>& drives,
                     DriveInUse driveInUse);

  // Starts watching: registers for the drive events, scans the drives and reports them and
  // any disc already present, then starts the poll. Starting again first stops, so that no
  // event is ever reported twice and nothing found for the earlier start is reported.
  void start(Dispatch dispatch);

  // Ends the registrations and the poll, and drops whatever background work is still to
  // report: nothing is reported until the next start. Work already running goes on to its end
  // on its own thread.
  void stop();

 private:
  // What one piece of background work found: the drive list, when it was taken, and the
  // tables of contents read, by drive id (nothing for one that could not be read).
  struct Scan {
    std::vector<disc::CDDrive> drives;
    std::map<std::string, std::optional<disc::CDDiscInfo>> discs;
  };
  using ScanWork = std::function<Scan(const disc::DetectCDDrives&, const disc::ReadCDDiscInfo&)>;
  using ScanDone = std::function<void(CDDetectionService&, Scan, const Dispatch&)>;

  // Runs `work` on the lane and hands its scan to `done` on the main thread, with a dispatch
  // that reports nothing once the watcher has stopped or started again; `done` is not called
  // at all when that happened while the work ran.
  void scanInBackground(ScanWork work, ScanDone done);

  void onStarted(const Scan& scan, std::uint64_t generation, const Dispatch& dispatch);
  void onDeviceEvent(const platform::linux_cd::DeviceEvent& event);
  void onStatusScanned(const platform::linux_cd::OpticalDevice& device, const Scan& scan,
                       std::uint64_t generation, const Dispatch& dispatch);
  void poll();
  void onPollListed(const std::vector<disc::CDDrive>& drives, std::uint64_t generation,
                    const Dispatch& dispatch);
  void finishPoll(const std::vector<disc::CDDrive>& loaded, const Scan& read,
                  std::uint64_t generation, const Dispatch& dispatch);

  // Forgets the table of contents of the drive with `id`, and makes every table of contents
  // being read now unfit to be kept.
  void invalidate(const std::string& id);
  // Forgets the tables of contents of the drives that `drives` no longer shows loaded.
  void keepDiscsOf(const std::vector<disc::CDDrive>& drives);

  disc::DetectCDDrives detectDrives_;
  disc::ReadCDDiscInfo readDiscInfo_;
  std::shared_ptr<platform::linux_cd::DeviceEvents> deviceEvents_;
  DriveInUse driveInUse_;

  Dispatch dispatch_;
  std::vector<std::unique_ptr<platform::linux_cd::EventSubscription>> observers_;
  std::unique_ptr<platform::tasks::Timer> pollTimer_;
  SerialWorkLane lane_;
  // Counts starts and stops: work asked for under an earlier count reports nothing.
  std::uint64_t session_ = 0;
  // Counts whatever may have changed a disc behind the watcher's back (a start or stop, a
  // medium change, a drive leaving): a table of contents read under an earlier count is not
  // kept, and a poll begun under one is dropped.
  std::uint64_t generation_ = 0;
  std::map<std::string, disc::CDDiscInfo> discs_;  // the last table of contents read, by drive id
  bool lastPollHadDisc_ = false;
  bool pollUnderWay_ = false;  // from its tick until its last report
};

}  // namespace noru::middleware
