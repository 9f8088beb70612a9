#include "state/cd_rip_reducer.h"

#include "state/simulated_disc.h"

namespace noru::state {
namespace {

using namespace CDRipActions;

void clearLookup(CDRipState& s) {
  s.isLookingUp = false;
  s.lookupDiscId.reset();
  s.lookupReleases.clear();
  s.selectedRelease.reset();
  s.lookupError.reset();
}

void forgetImport(CDRipState& s) {
  s.isRipping = false;
  s.rippedFiles.clear();
  s.ripOutputDirectory.reset();
}

// A running import that the user (or the disc's leaving) ends is stopped from now on, even
// before its task has noticed.
void endRunningImport(CDRipState& s, ImportOutcome end) {
  if (std::holds_alternative<ImportOutcomes::running>(s.lastImport)) {
    s.lastImport = std::move(end);
  }
}

// The notice of an import tells of the disc it was made from (a failure stays until dismissed).
void forgetImportOfAnotherDisc(CDRipState& s, const disc::CDDiscInfo& shown) {
  const bool told = std::holds_alternative<ImportOutcomes::completed>(s.lastImport) ||
                    std::holds_alternative<ImportOutcomes::stopped>(s.lastImport);
  if (told && s.discInfo != shown) {
    s.lastImport = ImportOutcomes::none{};
  }
}

void updateOverallProgress(CDRipState& s) {
  const double done = s.tracksRead + static_cast<double>(s.rippedFiles.size());
  s.overallProgress = s.totalTracks > 0 ? done / (2.0 * static_cast<double>(s.totalTracks)) : 0.0;
}

// One overload per case and no catch-all, so that a new case fails to compile until handled.
struct CDRipReduction {
  CDRipState& s;

  void operator()(const drivesUpdated& a) { s.drives = a.drives; }
  void operator()(const discInserted& a) {
    forgetImportOfAnotherDisc(s, a.info);
    s.selectedDrive = a.drive;
    s.discInfo = a.info;
    s.totalTracks = static_cast<std::int64_t>(a.info.tracks.size());
    clearLookup(s);
  }
  void operator()(const discInsertedIfNew&) {}
  void operator()(const discEjected&) {
    s.selectedDrive.reset();
    s.discInfo.reset();
    s.totalTracks = 0;
    forgetImport(s);
    clearLookup(s);
    endRunningImport(s, ImportOutcomes::stopped{});
  }
  void operator()(const trackRipStarted& a) {
    s.currentTrack = a.track;
    s.readingAgain = a.again;
  }
  void operator()(const trackRipProgress& a) {
    s.trackProgress = a.progress;
    if (s.readingAgain) {
      return;
    }
    s.tracksRead = static_cast<double>(a.track - 1) + a.progress;
    updateOverallProgress(s);
  }
  void operator()(const trackRipComplete& a) {
    s.rippedFiles.push_back(a.fileURL);
    updateOverallProgress(s);
  }
  void operator()(const trackVerified& a) {
    if (auto* running = std::get_if<ImportOutcomes::running>(&s.lastImport)) {
      running->verdicts[a.track] = a.verification;
    }
  }
  void operator()(const trackDamaged& a) {
    if (auto* running = std::get_if<ImportOutcomes::running>(&s.lastImport)) {
      if (a.stretches.empty()) {
        running->damage.erase(a.track);
      } else {
        running->damage[a.track] = a.stretches;
      }
    }
  }
  void operator()(const ripFailed& a) {
    forgetImport(s);
    s.error = a.message;
    s.lastImport = ImportOutcomes::failed{a.message};
  }
  void operator()(const ejectDisc&) {}
  void operator()(const ejectAndClose&) {
    s.isRipping = false;
    s.rippedFiles.clear();
    endRunningImport(s, ImportOutcomes::stopped{});
  }
  void operator()(const lookupDisc&) {
    clearLookup(s);
    s.isLookingUp = true;
  }
  void operator()(const lookupSucceeded& a) {
    s.isLookingUp = false;
    s.lookupDiscId = a.discId;
    s.lookupReleases = a.releases;
    s.lookupError.reset();
    if (a.releases.size() == 1) {
      s.selectedRelease = a.releases.front();
    }
  }
  void operator()(const lookupFailed& a) {
    s.isLookingUp = false;
    s.lookupError = a.message;
  }
  void operator()(const selectRelease& a) { s.selectedRelease = a.release; }
  void operator()(const startRipping&) {
    s.isRipping = true;
    s.rippedFiles.clear();
    s.ripOutputDirectory.reset();
    s.error.reset();
    s.tracksRead = 0.0;
    s.lastImport = ImportOutcomes::running{};
  }
  void operator()(const stopRipping&) {}
  void operator()(const confirmStopRipping&) {
    forgetImport(s);
    endRunningImport(s, ImportOutcomes::stopped{});
  }
  void operator()(const ripComplete&) {
    s.isRipping = false;
    s.overallProgress = 1.0;
    s.ripOutputDirectory.reset();
    // The import tells of its end last, after a stop it did not come to in time, too: its
    // files are all in place then.
    const auto* running = std::get_if<ImportOutcomes::running>(&s.lastImport);
    s.lastImport = running ? ImportOutcomes::completed{running->verdicts, running->damage}
                           : ImportOutcomes::completed{};
  }
  void operator()(const ripStopped&) {
    s.isRipping = false;
    endRunningImport(s, ImportOutcomes::stopped{});
  }
  void operator()(const ripNotStarted&) {
    s.isRipping = false;
    endRunningImport(s, ImportOutcomes::none{});
  }
  void operator()(const dismiss&) {
    s.error.reset();
    if (std::holds_alternative<ImportOutcomes::failed>(s.lastImport)) {
      s.lastImport = ImportOutcomes::none{};
    }
  }
  void operator()(const debugInjectUnknownDisc&) {
    const disc::CDDrive drive = simulatedDrive();
    forgetImportOfAnotherDisc(s, simulatedDiscInfo());
    s.isDebugMode = true;
    s.drives = {drive};
    s.selectedDrive = drive;
    s.discInfo = simulatedDiscInfo();
    s.totalTracks = static_cast<std::int64_t>(s.discInfo->tracks.size());
    clearLookup(s);
    s.lookupDiscId = kSimulatedDiscId;
  }
  void operator()(const debugClearDisc&) { s = initialCDRipState(); }
};

}  // namespace

CDRipState reduceCDRip(const CDRipState& state, const AnyAction& action) {
  const auto* ripAction = store::actionAs<CDRipAction>(action);
  if (ripAction == nullptr) {
    return state;
  }
  CDRipState next = state;
  std::visit(CDRipReduction{next}, *ripAction);
  return next;
}

}  // namespace noru::state
