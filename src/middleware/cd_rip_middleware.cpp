#include "middleware/cd_rip_middleware.h"

#include <cerrno>
#include <cstring>
#include <exception>
#include <optional>
#include <thread>
#include <utility>

#include "musicbrainz/with_musicbrainz.h"
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
    self.ripTask_->cancel();
    followUp(dispatch, state::UIAction(state::UIActions::setCDRipSheetPresented{false}));
  }
  void operator()(const actions::ejectDisc& eject) const {
    diagnostic("CDRipMiddleware: ejectDisc driveId=", eject.driveId);
    self.ripTask_->cancel();
    self.ejectOnceFree(eject.driveId);
  }
  void operator()(const actions::ejectAndClose& eject) const {
    diagnostic("CDRipMiddleware: ejectAndClose driveId=", eject.driveId);
    self.ripTask_->cancel();
    followUp(dispatch, ripAction(actions::ejectDisc{eject.driveId}));
  }
  void operator()(const actions::lookupDisc& lookup) const { self.lookUp(lookup.info, dispatch); }
  void operator()(const actions::startRipping&) const { self.startImport(state, dispatch); }
  void operator()(const actions::stopRipping&) const { self.ripTask_->cancel(); }
  void operator()(const actions::confirmStopRipping&) const {
    self.ripTask_->cancel();
    // The album folder knows what the import wrote and what it replaced; an import that has
    // completed meanwhile keeps its files.
    if (const auto& album = self.ripTask_->album()) {
      album->undo();
    }
  }
  void operator()(const actions::ripFailed&) const {
    // The import has taken away what it wrote before telling of its failure.
    self.ripTask_->cancel();
  }
  void operator()(const actions::ripComplete&) const {
    dispatch(state::MusicAction(state::MusicActions::initLibrary{}));
    if (state.settings.import.ejectWhenComplete && state.cdRip.selectedDrive) {
      followUp(dispatch, ripAction(actions::ejectDisc{state.cdRip.selectedDrive->id}));
    }
  }
  void operator()(const actions::debugInjectUnknownDisc&) const {
    // A watcher still running would replace the simulated disc with the real drives.
    self.detectionService_->stop();
  }
  void operator()(const actions::debugClearDisc&) const { self.detectionService_->start(dispatch); }

  void operator()(const actions::drivesUpdated&) const {}
  void operator()(const actions::trackRipStarted&) const {}
  void operator()(const actions::trackRipProgress&) const {}
  void operator()(const actions::trackRipComplete&) const {}
  void operator()(const actions::trackVerified&) const {}
  void operator()(const actions::trackDamaged&) const {}
  void operator()(const actions::lookupSucceeded&) const {}
  void operator()(const actions::lookupFailed&) const {}
  void operator()(const actions::selectRelease&) const {}
  void operator()(const actions::ripStopped&) const {}
  void operator()(const actions::ripNotStarted&) const {}
  void operator()(const actions::dismiss&) const {}
};

CDRipMiddleware::CDRipMiddleware(const std::shared_ptr<platform::linux_cd::OpticalDrives>& drives,
                                 const platform::http::WebServices& services,
                                 ChooseOutputFolder chooseOutputFolder)
    : detectionService_(CDDetectionService::create(
          drives,
          [holder = std::weak_ptr<RipTaskHolder>(ripTask_)](const disc::CDDrive& drive) {
            const auto ripTask = holder.lock();
            return ripTask && ripTask->isReading(drive.id);
          })),
      ripCD_(drives, services, musicbrainz::artistPictureFromMusicBrainz(services)),
      lookupCD_(musicbrainz::lookupWithMusicBrainz(services)),
      ejectDrive_(drives),
      chooseOutputFolder_(std::move(chooseOutputFolder)) {}

state::AnyAction CDRipMiddleware::handle(state::AnyAction action, const state::AppState& state,
                                         const state::Dispatch& dispatch) {
  NORU_ASSERT_MAIN_THREAD();
  if (store::actionAs<state::ApplicationAction>(action)) {
    detectionService_->start(dispatch);  // didLaunch
  } else if (const auto* rip = store::actionAs<state::CDRipAction>(action)) {
    std::visit(CaseHandler{*this, state, dispatch}, *rip);
  }
  return action;
}

void CDRipMiddleware::lookUp(const disc::CDDiscInfo& info, const state::Dispatch& dispatch) {
  diagnostic("CDRipMiddleware: lookupDisc \u2014 ", info.tracks.size(), " track(s)");
  const auto generation = ++lookupTask_->generation;
  platform::tasks::taskRunner().spawn([lookupCD = lookupCD_, info, dispatch, holder = lookupTask_,
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
    notStarted(dispatch);
    return;
  }
  if (ripTask_->isImportRunning()) {
    // Two imports would read the same drive at once and write the same files. The earlier one
    // has told its end already (the window offers an import only then) but its task is still
    // letting go of the drive: this import starts once it has, or does not start at all.
    diagnostic("CDRipMiddleware: startRipping \u2014 waiting for the earlier import to end");
    platform::tasks::taskRunner().spawn([earlier = *ripTask_->lastImport(),
                                         dispatch](std::stop_token stop) {
      const bool ended = earlier.waitFor(kEjectWait, stop);
      platform::tasks::mainQueue().post([ended, dispatch] {
        dispatch(ended ? ripAction(actions::startRipping{}) : ripAction(actions::ripNotStarted{}));
      });
    });
    return;
  }
  if (!state.settings.libraryPath) {
    platform::tasks::mainQueue().post([choose = chooseOutputFolder_, dispatch] {
      if (choose && choose(dispatch)) {
        dispatch(ripAction(actions::startRipping{}));
      } else {
        dispatch(ripAction(actions::ripNotStarted{}));
      }
    });
    return;
  }

  // The preferences of the moment go with the import; a later change is for the next one.
  const auto& preferences = state.settings.import;
  const auto album = std::make_shared<rip::AlbumFolder>(
      rip::AlbumFolder::pathFor(*state.settings.libraryPath, rip.selectedRelease,
                                std::chrono::system_clock::now()),
      preferences.format, rip::AlbumFolder::discFor(rip.selectedRelease));
  auto ripCD = ripCD_;
  ripCD.readUnconfirmedTwice = preferences.readUnconfirmedTwice;
  const auto& drive = *rip.selectedDrive;
  const auto& tracks = rip.discInfo->tracks;
  const auto& facts = rip.discInfo->facts;
  diagnostic("CDRipMiddleware: startRipping \u2014 ", tracks.size(), " track(s) from '", drive.name,
             "' \u2192 ", album->path().string());
  ripTask_->hold(platform::tasks::taskRunner().spawn([ripCD = std::move(ripCD), drive, tracks,
                                                      release = rip.selectedRelease, album, facts,
                                                      dispatch](std::stop_token stop) {
    ripCD(drive, tracks, release, *album, dispatch, std::move(stop), facts);
  }),
                 drive, album);
}

void CDRipMiddleware::ejectOnceFree(const std::string& driveId) {
  // The drive refuses to eject (EBUSY) while an import still holds it open, and the poll of the
  // disc watcher may hold it for a moment: the eject waits, off the main thread, for the
  // stopped import to let go, then tries until the drive is free, for a few seconds at most.
  auto import = ripTask_->isReading(driveId) ? ripTask_->lastImport() : std::nullopt;
  platform::tasks::taskRunner().spawn(
      [eject = ejectDrive_, import = std::move(import), driveId](std::stop_token stop) {
        const auto deadline = std::chrono::steady_clock::now() + kEjectWait;
        if (import && !import->waitFor(kEjectWait, stop) && !stop.stop_requested()) {
          diagnostic("CDRipMiddleware: ejectDisc \u2014 the import still holds drive ", driveId);
        }
        int refusal = eject(driveId);
        while (refusal == EBUSY && std::chrono::steady_clock::now() < deadline &&
               !stop.stop_requested()) {
          std::this_thread::sleep_for(std::chrono::milliseconds(100));
          refusal = eject(driveId);
        }
        if (refusal != 0 && refusal != ENODEV) {
          diagnostic("CDRipMiddleware: ejectDisc \u2014 drive ", driveId,
                     " refused to eject: ", std::strerror(refusal));
        }
      });
}

void CDRipMiddleware::notStarted(const state::Dispatch& dispatch) {
  // startRipping has marked an import as running once this follow-up runs; with no task
  // started, nothing else would ever end it.
  platform::tasks::mainQueue().post([dispatch] { dispatch(ripAction(actions::ripNotStarted{})); });
}

}  // namespace noru::middleware
