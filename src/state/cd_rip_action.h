#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <variant>
#include <vector>

#include "accuraterip/verify_track.h"
#include "disc/cd_disc_info.h"
#include "disc/cd_drive.h"
#include "disc/cd_lookup_release.h"
#include "disc/sector_stretch.h"

namespace noru::state {

namespace CDRipActions {

#define NORU_EQUALITY(T) bool operator==(const T&) const = default

struct drivesUpdated {
  std::vector<disc::CDDrive> drives;
  NORU_EQUALITY(drivesUpdated);
};
struct discInserted {
  disc::CDDrive drive;
  disc::CDDiscInfo info;
  NORU_EQUALITY(discInserted);
};
struct discInsertedIfNew {
  disc::CDDrive drive;
  disc::CDDiscInfo info;
  NORU_EQUALITY(discInsertedIfNew);
};
struct discEjected {
  std::string id;
  NORU_EQUALITY(discEjected);
};
// A track's read begins: its first, or (`again`) a read of some or all of it again: of its
// doubtful sectors, or a second read to check the first against, which begins before the
// track's trackRipComplete (while its file is written) when the database has turned the track
// down by then, and after later tracks when the database answered late. A track read again
// may be verified again. The reads go in track order, one at a time, and the files are written
// beside them: later tracks' reads may begin before an earlier track's trackRipComplete, so
// the track of the last trackRipStarted is the one being read.
struct trackRipStarted {
  std::int64_t track = 0;
  bool again = false;
  NORU_EQUALITY(trackRipStarted);
};
struct trackRipProgress {
  std::int64_t track = 0;
  double progress = 0.0;
  NORU_EQUALITY(trackRipProgress);
};
// A track's file is in place. Each comes after its track's first trackRipStarted, but the files
// are written several at once: a short track's may come before a longer one's read earlier.
struct trackRipComplete {
  std::int64_t track = 0;
  std::filesystem::path fileURL;
  NORU_EQUALITY(trackRipComplete);
};
// The AccurateRip verdict on a track, once its read and the database's answer are both there
// (its file may still be being written).
struct trackVerified {
  std::int64_t track = 0;
  accuraterip::TrackVerification verification;
  NORU_EQUALITY(trackVerified);
};
// The stretches of an imported track whose reads never agreed, in sectors from the track's
// start, told as its reads end; none when a later read settled them. The track's file holds
// the best audio read.
struct trackDamaged {
  std::int64_t track = 0;
  std::vector<disc::SectorStretch> stretches;
  NORU_EQUALITY(trackDamaged);
};
struct ripFailed {
  std::string message;
  NORU_EQUALITY(ripFailed);
};
struct ejectDisc {
  std::string driveId;
  NORU_EQUALITY(ejectDisc);
};
struct ejectAndClose {
  std::string driveId;
  NORU_EQUALITY(ejectAndClose);
};
struct lookupDisc {
  disc::CDDiscInfo info;
  NORU_EQUALITY(lookupDisc);
};
struct lookupSucceeded {
  std::string discId;
  std::vector<disc::CDLookupRelease> releases;
  NORU_EQUALITY(lookupSucceeded);
};
struct lookupFailed {
  std::string message;
  NORU_EQUALITY(lookupFailed);
};
struct selectRelease {
  disc::CDLookupRelease release;
  NORU_EQUALITY(selectRelease);
};
struct startRipping {
  NORU_EQUALITY(startRipping);
};
struct stopRipping {
  NORU_EQUALITY(stopRipping);
};
struct confirmStopRipping {
  NORU_EQUALITY(confirmStopRipping);
};
struct ripComplete {
  NORU_EQUALITY(ripComplete);
};
struct ripStopped {
  NORU_EQUALITY(ripStopped);
};
// A requested import did not start: no library folder was chosen, or no disc was there.
struct ripNotStarted {
  NORU_EQUALITY(ripNotStarted);
};
struct dismiss {
  NORU_EQUALITY(dismiss);
};
struct debugInjectUnknownDisc {
  NORU_EQUALITY(debugInjectUnknownDisc);
};
struct debugClearDisc {
  NORU_EQUALITY(debugClearDisc);
};

#undef NORU_EQUALITY

}  // namespace CDRipActions

// The ripping actions, in their declaration order.
using CDRipAction = std::variant<
    CDRipActions::drivesUpdated, CDRipActions::discInserted, CDRipActions::discInsertedIfNew,
    CDRipActions::discEjected, CDRipActions::trackRipStarted, CDRipActions::trackRipProgress,
    CDRipActions::trackRipComplete, CDRipActions::trackVerified, CDRipActions::trackDamaged,
    CDRipActions::ripFailed, CDRipActions::ejectDisc, CDRipActions::ejectAndClose,
    CDRipActions::lookupDisc, CDRipActions::lookupSucceeded, CDRipActions::lookupFailed,
    CDRipActions::selectRelease, CDRipActions::startRipping, CDRipActions::stopRipping,
    CDRipActions::confirmStopRipping, CDRipActions::ripComplete, CDRipActions::ripStopped,
    CDRipActions::ripNotStarted, CDRipActions::dismiss, CDRipActions::debugInjectUnknownDisc,
    CDRipActions::debugClearDisc>;

}  // namespace noru::state
