#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <variant>
#include <vector>

#include "accuraterip/verify_track.h"
#include "disc/sector_stretch.h"

namespace noru::state {

// The AccurateRip verdicts of an import's tracks, by track number.
using TrackVerdicts = std::map<std::int64_t, accuraterip::TrackVerification>;
// The damaged stretches of an import's tracks (in sectors from each track's start), by track
// number; only tracks with damage are there.
using TrackDamage = std::map<std::int64_t, std::vector<disc::SectorStretch>>;

// How the last import ended, or that it is still running: what the window tells about it.
namespace ImportOutcomes {

#define NORU_EQUALITY(T) bool operator==(const T&) const = default

// No import to tell of: none yet, one that never started (no library folder chosen), or its
// notice has been dismissed or belongs to a disc no longer shown.
struct none {
  NORU_EQUALITY(none);
};
struct running {
  TrackVerdicts verdicts;  // of the tracks verified so far
  TrackDamage damage;
  NORU_EQUALITY(running);
};
// Every track is in the library.
struct completed {
  TrackVerdicts verdicts;
  TrackDamage damage;
  NORU_EQUALITY(completed);
  // Whether a track is known to differ from the disc as others ripped it, or holds audio that
  // could not be read for certain.
  bool needsAttention() const {
    for (const auto& [track, verdict] : verdicts) {
      if (std::holds_alternative<accuraterip::NotAccurate>(verdict)) {
        return true;
      }
    }
    return !damage.empty();
  }
};
// The user stopped it (or the disc left the drive): the finished tracks stay unless the user
// chose to remove them.
struct stopped {
  NORU_EQUALITY(stopped);
};
struct failed {
  std::string message;
  NORU_EQUALITY(failed);
};

#undef NORU_EQUALITY

}  // namespace ImportOutcomes

using ImportOutcome =
    std::variant<ImportOutcomes::none, ImportOutcomes::running, ImportOutcomes::completed,
                 ImportOutcomes::stopped, ImportOutcomes::failed>;

}  // namespace noru::state
