#include "middleware/cd_detection_service.h"

#include <algorithm>

#include "disc/drive_identity.h"
#include "platform/log/diagnostic_log.h"
#include "platform/tasks/runtime.h"
#include "state/cd_rip_action.h"

namespace noru::middleware {
namespace {

using disc::CDDrive;
using disc::driveIdentity;
using platform::log::diagnostic;
namespace actions = state::CDRipActions;

template <class Case>
state::AnyAction ripAction(Case action) {
  return state::CDRipAction(std::move(action));
}

bool anyHasDisc(const std::vector<CDDrive>& drives) {
  return std::any_of(drives.begin(), drives.end(), [](const CDDrive& d) { return d.hasDisc; });
}

}  // namespace

std::shared_ptr<CDDetectionService> CDDetectionService::create(
    const std::shared_ptr<platform::linux_cd::OpticalDrives>& drives) {
  return std::make_shared<CDDetectionService>(CreationKey{}, drives);
}

CDDetectionService::CDDetectionService(
    CreationKey, const std::shared_ptr<platform::linux_cd::OpticalDrives>& drives)
    : detectDrives(drives), readDiscInfo(drives), deviceEvents(drives) {}

void CDDetectionService::start(Dispatch dispatch) {
  NORU_ASSERT_MAIN_THREAD();
  observers.clear();
  std::weak_ptr<CDDetectionService> weak = weak_from_this();
  observers.push_back(
      deviceEvents->subscribe([weak, dispatch](const platform::linux_cd::DeviceEvent& event) {
        if (auto self = weak.lock()) {
          self->onDeviceEvent(event, dispatch);
        }
      }));

  const auto drives = detectDrives();
  dispatch(ripAction(actions::drivesUpdated{drives}));
  for (const auto& drive : drives) {
    if (!drive.hasDisc) {
      continue;
    }
    diagnostic("CDDetectionService: disc already present in '", drive.name,
               "' \u2014 reading disc info");
    if (auto info = readDiscInfo(drive)) {
      dispatch(ripAction(actions::discInserted{drive, std::move(*info)}));
    } else {
      diagnostic("CDDetectionService: could not read disc info for '", drive.name, "'");
    }
  }
  diagnostic("CDDetectionService: started \u2014 watching ", drives.size(), " drive(s)");

  stopPolling();
  lastPollHadDisc = anyHasDisc(drives);
  pollTimer = platform::tasks::mainQueue().schedule(
      kPollInterval, platform::tasks::TimerRepeat::repeating, [weak, dispatch] {
        if (auto self = weak.lock()) {
          self->poll(dispatch);
        }
      });
}

void CDDetectionService::stop() {
  NORU_ASSERT_MAIN_THREAD();
  observers.clear();
  stopPolling();
}

void CDDetectionService::stopPolling() {
  if (pollTimer) {
    pollTimer->invalidate();
    pollTimer.reset();
  }
}

void CDDetectionService::onDeviceEvent(const platform::linux_cd::DeviceEvent& event,
                                       const Dispatch& dispatch) {
  NORU_ASSERT_MAIN_THREAD();
  switch (event.kind) {
    case platform::linux_cd::DeviceEventKind::appeared:
    case platform::linux_cd::DeviceEventKind::disappeared:
      onDriveListChanged(dispatch);
      return;
    case platform::linux_cd::DeviceEventKind::statusChanged:
      onStatusChanged(event.device, dispatch);
      return;
  }
}

void CDDetectionService::onDriveListChanged(const Dispatch& dispatch) {
  const auto drives = detectDrives();
  diagnostic("CDDetectionService: drive list updated \u2014 ", drives.size(), " drive(s)");
  dispatch(ripAction(actions::drivesUpdated{drives}));
}

void CDDetectionService::onStatusChanged(const platform::linux_cd::OpticalDevice& device,
                                         const Dispatch& dispatch) {
  const std::string mediaState = device.mediaState.value_or("");
  const auto drives = detectDrives();
  dispatch(ripAction(actions::drivesUpdated{drives}));

  const std::string deviceId = driveIdentity(device);
  const auto drive = std::find_if(drives.begin(), drives.end(),
                                  [&](const CDDrive& d) { return d.id == deviceId; });
  if (deviceId.empty() || drive == drives.end()) {
    diagnostic("CDDetectionService: status change \u2014 could not identify drive (deviceId='",
               deviceId, "')");
    return;
  }
  diagnostic("CDDetectionService: status change for '", drive->name,
             "' \u2014 mediaState=", mediaState);
  if (mediaState == platform::linux_cd::kMediaPresent) {
    diagnostic("CDDetectionService: disc inserted in '", drive->name, "' bsd=", drive->bsdPath);
    if (auto info = readDiscInfo(*drive)) {
      dispatch(ripAction(actions::discInserted{*drive, std::move(*info)}));
    }
  } else {
    diagnostic("CDDetectionService: disc ejected from '", drive->name, "'");
    dispatch(ripAction(actions::discEjected{deviceId}));
  }
}

void CDDetectionService::poll(const Dispatch& dispatch) {
  NORU_ASSERT_MAIN_THREAD();
  const auto drives = detectDrives();
  dispatch(ripAction(actions::drivesUpdated{drives}));
  if (anyHasDisc(drives)) {
    lastPollHadDisc = true;
  } else if (!drives.empty() && lastPollHadDisc) {
    for (const auto& drive : drives) {
      dispatch(ripAction(actions::discEjected{drive.id}));
    }
    lastPollHadDisc = false;
  } else {
    lastPollHadDisc = false;
  }
  for (const auto& drive : drives) {
    if (!drive.hasDisc) {
      continue;
    }
    if (auto info = readDiscInfo(drive)) {
      dispatch(ripAction(actions::discInsertedIfNew{drive, std::move(*info)}));
    }
  }
}

}  // namespace noru::middleware
