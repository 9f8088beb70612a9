#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <vector>

#include "accuraterip/track_checksums.h"
#include "accuraterip/verify_track.h"
#include "rip/look_up_accurate_rip.h"
#include "state/app_store.h"

namespace noru::rip {

// Brings the tracks an import has read together with the AccurateRip answer for the disc,
// whichever comes first: the import reports each track as it is ripped, the database lookup
// its answer once it has one. Each track is verified as soon as both are there and its verdict
// dispatched as trackVerified. Safe to use from any thread.
class TrackVerifications {
 public:
  explicit TrackVerifications(state::Dispatch dispatch) : dispatch_(std::move(dispatch)) {}

  // `track` is the track's number on the disc, `audioIndex` its place among the disc's audio
  // tracks from 0: the database holds one entry per audio track, so a disc whose first track
  // is data has its first audio track (number 2) at entry 0.
  void trackRipped(std::int64_t track, std::size_t audioIndex,
                   const accuraterip::TrackChecksumValues& checksums);
  // The first answer counts; a later one is ignored.
  void answered(AccurateRipAnswer answer);
  // The CUETools database holds the track with `confidence` submissions: a track that
  // AccurateRip does not confirm is accurate all the same. A track that a repair corrected
  // `repairedSamples` of to make it so is told as repaired, whatever the verdict was.
  void confirmedByCTDB(std::int64_t track, int confidence, std::int64_t repairedSamples = 0);

  // The answer, once there is one.
  std::optional<AccurateRipAnswer> answer() const;
  // What the answer says of a track with `checksums` at `audioIndex`, once there is one; nothing
  // is dispatched.
  std::optional<accuraterip::TrackVerification> verdictFor(
      std::size_t audioIndex, const accuraterip::TrackChecksumValues& checksums) const;
  // The verdicts so far, by track number.
  std::map<std::int64_t, accuraterip::TrackVerification> verdicts() const;

 private:
  struct Ripped {
    std::int64_t track;
    std::size_t audioIndex;
    accuraterip::TrackChecksumValues checksums;
  };

  void verifyLocked(const Ripped& ripped);

  state::Dispatch dispatch_;
  mutable std::mutex mutex_;
  std::optional<AccurateRipAnswer> answer_;
  std::vector<Ripped> waiting_;
  std::map<std::int64_t, accuraterip::TrackVerification> verdicts_;
};

}  // namespace noru::rip
