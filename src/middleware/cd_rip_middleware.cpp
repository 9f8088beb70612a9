#include "middleware/cd_rip_middleware.h"

#include <exception>
#include <optional>
#include <system_error>
#include <utility>

#include "middleware/album_folder.h"
#include "platform/log/diagnostic_log.h"
#include "platform/tasks/cancellation_error.h"
#include "platform/tasks/runtime.h"

namespace noru::middleware {
namespace {

namespace actions = state::CDRipActions;
using platform::log::diagnostic;

state::AnyAction ripAction(state::CDRipAction action) {
  return action;
}

// Dispatches `action` from a task of its own on the main queue: two turns after the current
// dispatch, in the order such follow-ups were made.
void followUp(const state::Dispatch& dispatch, state::AnyAction action) {
  platform::tasks::mainQueue().post(
      [dispatch, action = std::move(action)] { dispatch(std::move(action)); });
}

}  // namespace

// The effects of each ripping action; the state is the one from before the action.
struct CDRipMiddleware::CaseHandler {
  CDRipMiddleware& self;
  const state::AppState& state;
  const state::Dispatch& dispatch;

  void operator()(const actions::discInserted& inserted) const {
    followUp(dispatch, ripAction(actions::lookupDisc{inserted.info}));
  }
  void operator()(const actions::discInsertedIfNew& found) const {
    const auto& shown = state.cdRip;
    const bool alreadyShown = shown.discInfo == found.info && shown.selectedDrive &&
                              shown.selectedDrive->id == found.drive.id;
    if (!alreadyShown) {
      followUp(dispatch, ripAction(actions::discInserted{found.drive, found.info}));
    }
  }
  void operator()(const actions::discEjected&) const {
    self.ripTask->cancel();
    followUp(dispatch, state::UIAction(state::UIActions::setCDRipSheetPresented{false}));
  }
  void operator()(const actions::ejectDisc& eject) const {
    diagnostic("CDRipMiddleware: ejectDisc driveId=", eject.driveId);
    self.ripTask->cancel();
    self.ejectDrive(eject.driveId);
  }
  void operator()(const actions::ejectAndClose& eject) const {
    diagnostic("CDRipMiddleware: ejectAndClose driveId=", eject.driveId);
    self.ripTask->cancel();
    followUp(dispatch, ripAction(actions::ejectDisc{eject.driveId}));
  }
  void operator()(const actions::lookupDisc& lookup) const { self.lookUp(lookup.info, dispatch); }
  void operator()(const actions::startRipping&) const { self.startImport(state, dispatch); }
  void operator()(const actions::stopRipping&) const { self.ripTask->cancel(); }
  void operator()(const actions::confirmStopRipping&) const {
    self.ripTask->cancel();
    self.removeImportedFiles(state);
  }
  void operator()(const actions::ripFailed&) const {
    self.ripTask->cancel();
    self.removeImportedFiles(state);
  }
  void operator()(const actions::ripComplete&) const {
    dispatch(state::MusicAction(state::MusicActions::initLibrary{}));
  }
  void operator()(const actions::debugInjectUnknownDisc&) const {
    // A watcher still running would replace the simulated disc with the real drives.
    self.detectionService->stop();
  }
  void operator()(const actions::debugClearDisc&) const { self.detectionService->start(dispatch); }

  void operator()(const actions::drivesUpdated&) const {}
  void operator()(const actions::trackRipStarted&) const {}
  void operator()(const actions::trackRipProgress&) const {}
  void operator()(const actions::trackRipComplete&) const {}
  void operator()(const actions::trackVerified&) const {}
  void operator()(const actions::lookupSucceeded&) const {}
  void operator()(const actions::lookupFailed&) const {}
  void operator()(const actions::selectRelease&) const {}
  void operator()(const actions::ripStopped&) const {}
  void operator()(const actions::dismiss&) const {}
};

CDRipMiddleware::CDRipMiddleware(const std::shared_ptr<platform::linux_cd::OpticalDrives>& drives,
                                 ChooseOutputFolder chooseOutputFolder)
    : detectionService(CDDetectionService::create(drives)),
      ripCD(drives),
      ejectDrive(drives),
      chooseOutputFolder(std::move(chooseOutputFolder)) {}

state::AnyAction CDRipMiddleware::handle(state::AnyAction action, const state::AppState& state,
                                         const state::Dispatch& dispatch) {
  NORU_ASSERT_MAIN_THREAD();
  if (store::actionAs<state::ApplicationAction>(action)) {
    detectionService->start(dispatch);  // didLaunch
  } else if (const auto* rip = store::actionAs<state::CDRipAction>(action)) {
    std::visit(CaseHandler{*this, state, dispatch}, *rip);
  }
  return action;
}

void CDRipMiddleware::lookUp(const disc::CDDiscInfo& info, const state::Dispatch& dispatch) {
  diagnostic("CDRipMiddleware: lookupDisc \u2014 ", info.tracks.size(), " track(s)");
  const auto generation = ++lookupTask->generation;
  platform::tasks::taskRunner().spawn([lookupCD = lookupCD, info, dispatch, holder = lookupTask,
                                       generation](std::stop_token stop) {
    std::optional<state::AnyAction> answer;
    try {
      const auto response = lookupCD(info, std::move(stop));
      auto releases = response.cdLookupReleases();
      diagnostic("CDRipMiddleware: lookup succeeded \u2014 discId=",
                 response.discId.value_or("nil"), ", ", releases.size(), " release(s)");
      answer =
          ripAction(actions::lookupSucceeded{response.discId.value_or(""), std::move(releases)});
    } catch (const platform::tasks::CancellationError&) {
      return;  // the application is quitting
    } catch (const std::exception& error) {
      diagnostic("CDRipMiddleware: lookup failed \u2014 ", error.what());
      answer = ripAction(actions::lookupFailed{error.what()});
    }
    platform::tasks::mainQueue().post([holder, generation, dispatch, answer = std::move(*answer)] {
      if (holder->generation != generation) {
        diagnostic("CDRipMiddleware: dropped the answer of a lookup superseded by a later one");
        return;
      }
      dispatch(answer);
    });
  });
}

void CDRipMiddleware::startImport(const state::AppState& state, const state::Dispatch& dispatch) {
  const auto& rip = state.cdRip;
  if (!rip.selectedDrive || !rip.discInfo) {
    endRefusedStart(dispatch);
    return;
  }
  if (ripTask->isImportRunning()) {
    // Two imports would read the same drive at once and write the same files.
    diagnostic("CDRipMiddleware: startRipping \u2014 an earlier import is still running");
    return;
  }
  if (!state.settings.libraryPath) {
    platform::tasks::mainQueue().post([choose = chooseOutputFolder, dispatch] {
      if (choose && choose(dispatch)) {
        dispatch(ripAction(actions::startRipping{}));
      } else {
        dispatch(ripAction(actions::ripStopped{}));  // declined: no import is under way
      }
    });
    return;
  }

  const auto folder = albumFolder(*state.settings.libraryPath, rip.selectedRelease, now());
  const auto& drive = *rip.selectedDrive;
  const auto& tracks = rip.discInfo->tracks;
  diagnostic("CDRipMiddleware: startRipping \u2014 ", tracks.size(), " track(s) from '", drive.name,
             "' \u2192 ", folder.string());
  std::error_code ignored;
  ripTask->artistPictureWasThere =
      std::filesystem::exists(folder.parent_path() / "folder.jpg", ignored);
  ripTask->hold(platform::tasks::taskRunner().spawn([ripCD = ripCD, drive, tracks,
                                                     release = rip.selectedRelease, folder,
                                                     dispatch](std::stop_token stop) {
    ripCD(drive, tracks, release, folder, dispatch, std::move(stop));
  }));
}

void CDRipMiddleware::endRefusedStart(const state::Dispatch& dispatch) {
  // startRipping has marked an import as running once this follow-up runs; with no task
  // started, nothing else would ever end it.
  platform::tasks::mainQueue().post([dispatch] { dispatch(ripAction(actions::ripStopped{})); });
}

void CDRipMiddleware::removeImportedFiles(const state::AppState& state) {
  cleanupRippedFiles(state.cdRip.rippedFiles, !ripTask->artistPictureWasThere);
}

}  // namespace noru::middleware
