#include "middleware/cd_detection_service.h"

#include <algorithm>
#include <utility>

#include "disc/drive_identity.h"
#include "platform/log/diagnostic_log.h"
#include "platform/tasks/runtime.h"
#include "state/cd_rip_action.h"

namespace noru::middleware {
namespace {

using disc::CDDrive;
using disc::driveIdentity;
using platform::linux_cd::DeviceEvent;
using platform::linux_cd::DeviceEventKind;
using platform::linux_cd::OpticalDevice;
using platform::log::diagnostic;
namespace actions = state::CDRipActions;

template <class Case>
state::AnyAction ripAction(Case action) {
  return state::CDRipAction(std::move(action));
}

bool anyHasDisc(const std::vector<CDDrive>& drives) {
  return std::any_of(drives.begin(), drives.end(), [](const CDDrive& d) { return d.hasDisc; });
}

const CDDrive* findDrive(const std::vector<CDDrive>& drives, const std::string& id) {
  const auto found =
      std::find_if(drives.begin(), drives.end(), [&](const CDDrive& d) { return d.id == id; });
  return found == drives.end() ? nullptr : &*found;
}

bool reportsMedium(const OpticalDevice& device) {
  return device.mediaState == platform::linux_cd::kMediaPresent;
}

}  // namespace

std::shared_ptr<CDDetectionService> CDDetectionService::create(
    const std::shared_ptr<platform::linux_cd::OpticalDrives>& drives, DriveInUse driveInUse) {
  return std::make_shared<CDDetectionService>(CreationKey{}, drives, std::move(driveInUse));
}

CDDetectionService::CDDetectionService(
    CreationKey, const std::shared_ptr<platform::linux_cd::OpticalDrives>& drives,
    DriveInUse driveInUse)
    : detectDrives_(drives),
      readDiscInfo_(drives),
      deviceEvents_(drives),
      driveInUse_(std::move(driveInUse)) {}

void CDDetectionService::start(Dispatch dispatch) {
  NORU_ASSERT_MAIN_THREAD();
  stop();
  dispatch_ = std::move(dispatch);
  std::weak_ptr<CDDetectionService> weak = weak_from_this();
  observers_.push_back(deviceEvents_->subscribe([weak](const DeviceEvent& event) {
    if (auto self = weak.lock()) {
      self->onDeviceEvent(event);
    }
  }));

  const auto generation = generation_;
  scanInBackground(
      [](const disc::DetectCDDrives& detect, const disc::ReadCDDiscInfo& read) {
        Scan scan{detect(), {}};
        for (const auto& drive : scan.drives) {
          if (drive.hasDisc) {
            diagnostic("CDDetectionService: disc already present in '", drive.name,
                       "' \u2014 reading disc info");
            scan.discs[drive.id] = read(drive);
          }
        }
        return scan;
      },
      [generation](CDDetectionService& self, Scan scan, const Dispatch& report) {
        self.onStarted(scan, generation, report);
      });
  // The first tick finds the start's work ahead of it on the lane, and waits for it.
  pollTimer_ = platform::tasks::mainQueue().schedule(
      kPollInterval, platform::tasks::TimerRepeat::repeating, [weak] {
        if (auto self = weak.lock()) {
          self->poll();
        }
      });
}

void CDDetectionService::stop() {
  NORU_ASSERT_MAIN_THREAD();
  observers_.clear();
  if (pollTimer_) {
    pollTimer_->invalidate();
    pollTimer_.reset();
  }
  lane_.clear();
  ++session_;
  ++generation_;
  discs_.clear();
  pollUnderWay_ = false;
  dispatch_ = nullptr;
}

void CDDetectionService::scanInBackground(ScanWork work, ScanDone done) {
  // The job owns copies of the operations (which hold the drives) and only a weak pointer to
  // the watcher: it may still run while the application quits, after the watcher is gone.
  lane_.enqueue([work = std::move(work), done = std::move(done), detect = detectDrives_,
                 read = readDiscInfo_, weak = weak_from_this(), session = session_]() mutable {
    auto scan = work(detect, read);
    platform::tasks::mainQueue().post(
        [weak, session, done = std::move(done), scan = std::move(scan)]() mutable {
          NORU_ASSERT_MAIN_THREAD();
          const auto self = weak.lock();
          if (!self || self->session_ != session) {
            return;
          }
          const Dispatch report = [watcher = self.get(), session](state::AnyAction action) {
            // A copy: what it reports may stop or restart the watcher, replacing the original.
            const auto dispatch = watcher->dispatch_;
            if (watcher->session_ == session && dispatch) {
              dispatch(std::move(action));
            }
          };
          done(*self, std::move(scan), report);
        });
  });
}

void CDDetectionService::onStarted(const Scan& scan, std::uint64_t generation,
                                   const Dispatch& dispatch) {
  const auto& drives = scan.drives;
  dispatch(ripAction(actions::drivesUpdated{drives}));
  for (const auto& drive : drives) {
    if (!drive.hasDisc) {
      continue;
    }
    const auto read = scan.discs.find(drive.id);
    if (read == scan.discs.end() || !read->second) {
      diagnostic("CDDetectionService: could not read disc info for '", drive.name, "'");
      continue;
    }
    if (generation == generation_) {
      discs_[drive.id] = *read->second;
    }
    dispatch(ripAction(actions::discInserted{drive, *read->second}));
  }
  diagnostic("CDDetectionService: started \u2014 watching ", drives.size(), " drive(s)");
  lastPollHadDisc_ = anyHasDisc(drives);
}

void CDDetectionService::onDeviceEvent(const DeviceEvent& event) {
  NORU_ASSERT_MAIN_THREAD();
  const auto listOnly = [](const disc::DetectCDDrives& detect, const disc::ReadCDDiscInfo&) {
    return Scan{detect(), {}};
  };
  switch (event.kind) {
    case DeviceEventKind::appeared:
    case DeviceEventKind::disappeared:
      if (event.kind == DeviceEventKind::disappeared) {
        invalidate(driveIdentity(event.device));
      }
      scanInBackground(listOnly, [](CDDetectionService& self, Scan scan, const Dispatch& report) {
        diagnostic("CDDetectionService: drive list updated \u2014 ", scan.drives.size(),
                   " drive(s)");
        self.keepDiscsOf(scan.drives);
        report(ripAction(actions::drivesUpdated{std::move(scan.drives)}));
      });
      return;
    case DeviceEventKind::statusChanged: {
      const auto& device = event.device;
      const std::string id = driveIdentity(device);
      invalidate(id);
      const auto generation = generation_;
      scanInBackground(
          [id, inserted = reportsMedium(device)](const disc::DetectCDDrives& detect,
                                                 const disc::ReadCDDiscInfo& read) {
            Scan scan{detect(), {}};
            const CDDrive* drive = findDrive(scan.drives, id);
            if (inserted && drive != nullptr) {
              scan.discs[id] = read(*drive);
            }
            return scan;
          },
          [device, generation](CDDetectionService& self, Scan scan, const Dispatch& report) {
            self.onStatusScanned(device, scan, generation, report);
          });
      return;
    }
  }
}

void CDDetectionService::onStatusScanned(const OpticalDevice& device, const Scan& scan,
                                         std::uint64_t generation, const Dispatch& dispatch) {
  const std::string mediaState = device.mediaState.value_or("");
  const auto& drives = scan.drives;
  keepDiscsOf(drives);
  dispatch(ripAction(actions::drivesUpdated{drives}));

  const std::string deviceId = driveIdentity(device);
  const CDDrive* drive = findDrive(drives, deviceId);
  const bool inserted = reportsMedium(device);
  // A drive whose medium left may have left the list as well by the time the list was taken (a
  // disc image goes right after its ejection is announced). When the event describes a drive
  // that the list would show (one with a name), its identity is all an ejection needs.
  const bool leftTheList = drive == nullptr && !inserted && device.productName;
  if (deviceId.empty() || (drive == nullptr && !leftTheList)) {
    diagnostic("CDDetectionService: status change \u2014 could not identify drive (deviceId='",
               deviceId, "')");
    return;
  }
  const std::string name = drive ? drive->name : *device.productName;
  diagnostic("CDDetectionService: status change for '", name, "' \u2014 mediaState=", mediaState);
  if (!inserted) {
    diagnostic("CDDetectionService: disc ejected from '", name, "'");
    dispatch(ripAction(actions::discEjected{deviceId}));
    return;
  }
  diagnostic("CDDetectionService: disc inserted in '", name, "' bsd=", drive->bsdPath);
  const auto read = scan.discs.find(deviceId);
  if (read != scan.discs.end() && read->second) {
    if (generation == generation_) {
      discs_[deviceId] = *read->second;
    }
    dispatch(ripAction(actions::discInserted{*drive, *read->second}));
  }
}

void CDDetectionService::poll() {
  NORU_ASSERT_MAIN_THREAD();
  if (pollUnderWay_) {
    return;  // the last one is still queued or running
  }
  pollUnderWay_ = true;
  const auto generation = generation_;
  scanInBackground(
      [](const disc::DetectCDDrives& detect, const disc::ReadCDDiscInfo&) {
        return Scan{detect(), {}};
      },
      [generation](CDDetectionService& self, Scan scan, const Dispatch& report) {
        self.onPollListed(scan.drives, generation, report);
      });
}

void CDDetectionService::onPollListed(const std::vector<CDDrive>& drives, std::uint64_t generation,
                                      const Dispatch& dispatch) {
  if (generation != generation_) {
    // A medium changed or a drive left while the list was taken: the event reports that itself,
    // with a newer list.
    pollUnderWay_ = false;
    return;
  }
  const auto session = session_;
  keepDiscsOf(drives);
  dispatch(ripAction(actions::drivesUpdated{drives}));
  const bool hadDisc = std::exchange(lastPollHadDisc_, anyHasDisc(drives));
  if (hadDisc && !lastPollHadDisc_ && !drives.empty()) {
    for (const auto& drive : drives) {
      dispatch(ripAction(actions::discEjected{drive.id}));
    }
  }
  if (session != session_) {
    return;  // a report stopped or restarted the watcher
  }

  std::vector<CDDrive> loaded;  // the drives to report, in the list's order
  std::vector<CDDrive> unread;  // those of them whose table of contents is not known
  for (const auto& drive : drives) {
    if (!drive.hasDisc || (driveInUse_ && driveInUse_(drive))) {
      continue;
    }
    loaded.push_back(drive);
    if (!discs_.contains(drive.id)) {
      unread.push_back(drive);
    }
  }
  if (unread.empty()) {
    finishPoll(loaded, {}, generation, dispatch);
    return;
  }
  scanInBackground(
      [unread](const disc::DetectCDDrives&, const disc::ReadCDDiscInfo& read) {
        Scan scan;
        for (const auto& drive : unread) {
          scan.discs[drive.id] = read(drive);
        }
        return scan;
      },
      [loaded, generation](CDDetectionService& self, Scan scan, const Dispatch& report) {
        self.finishPoll(loaded, scan, generation, report);
      });
}

void CDDetectionService::finishPoll(const std::vector<CDDrive>& loaded, const Scan& read,
                                    std::uint64_t generation, const Dispatch& dispatch) {
  pollUnderWay_ = false;
  if (generation != generation_) {
    return;  // what was read may be the disc from before a medium change
  }
  for (const auto& [id, info] : read.discs) {
    if (info) {
      discs_[id] = *info;
    }
  }
  // Every loaded drive is reported, known disc or not: the receiver tells a new disc apart.
  for (const auto& drive : loaded) {
    const auto known = discs_.find(drive.id);
    if (known != discs_.end()) {
      dispatch(ripAction(actions::discInsertedIfNew{drive, known->second}));
    }
  }
}

void CDDetectionService::invalidate(const std::string& id) {
  discs_.erase(id);
  ++generation_;
}

void CDDetectionService::keepDiscsOf(const std::vector<CDDrive>& drives) {
  std::erase_if(discs_, [&](const auto& entry) {
    const CDDrive* drive = findDrive(drives, entry.first);
    return drive == nullptr || !drive->hasDisc;
  });
}

}  // namespace noru::middleware
