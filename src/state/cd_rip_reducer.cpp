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
  s.trackVerifications.clear();
  s.ripOutputDirectory.reset();
}

// One overload per case and no catch-all, so that a new case fails to compile until handled.
struct CDRipReduction {
  CDRipState& s;

  void operator()(const drivesUpdated& a) { s.drives = a.drives; }
  void operator()(const discInserted& a) {
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
  }
  void operator()(const trackRipStarted& a) { s.currentTrack = a.track; }
  void operator()(const trackRipProgress& a) {
    s.trackProgress = a.progress;
    s.overallProgress = s.totalTracks > 0 ? (static_cast<double>(a.track - 1) + a.progress) /
                                                static_cast<double>(s.totalTracks)
                                          : 0.0;
  }
  void operator()(const trackRipComplete& a) { s.rippedFiles.push_back(a.fileURL); }
  void operator()(const trackVerified& a) { s.trackVerifications[a.track] = a.verification; }
  void operator()(const ripFailed& a) {
    forgetImport(s);
    s.error = a.message;
  }
  void operator()(const ejectDisc&) {}
  void operator()(const ejectAndClose&) {
    s.isRipping = false;
    s.rippedFiles.clear();
    s.trackVerifications.clear();
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
    s.trackVerifications.clear();
    s.ripOutputDirectory.reset();
    s.error.reset();
  }
  void operator()(const stopRipping&) {}
  void operator()(const confirmStopRipping&) { forgetImport(s); }
  void operator()(const ripComplete&) {
    s.isRipping = false;
    s.overallProgress = 1.0;
    s.ripOutputDirectory.reset();
  }
  void operator()(const ripStopped&) { s.isRipping = false; }
  void operator()(const dismiss&) { s.error.reset(); }
  void operator()(const debugInjectUnknownDisc&) {
    const disc::CDDrive drive = simulatedDrive();
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
