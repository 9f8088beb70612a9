#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <variant>

#include "accuraterip/verify_track.h"

namespace noru::state {

// The AccurateRip verdicts of an import's tracks, by track number.
using TrackVerdicts = std::map<std::int64_t, accuraterip::TrackVerification>;

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
  NORU_EQUALITY(running);
};
// Every track is in the library.
struct completed {
  TrackVerdicts verdicts;
  NORU_EQUALITY(completed);
  // Whether a track is known to differ from the disc as others ripped it.
  bool hasInaccurateTrack() const {
    for (const auto& [track, verdict] : verdicts) {
      if (std::holds_alternative<accuraterip::NotAccurate>(verdict)) {
        return true;
      }
    }
    return false;
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
