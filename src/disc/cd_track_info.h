#pragma once

#include <cstdint>

namespace noru::disc {

// One audio track of a disc. Sector numbers are logical block addresses; 75 sectors a second.
struct CDTrackInfo {
  std::int64_t number = 0;
  std::int32_t startSector = 0;
  std::int32_t sectorCount = 0;
  // Mastered with pre-emphasis (the control field's bit): its treble is raised, to be lowered
  // again on playback.
  bool preEmphasis = false;

  bool operator==(const CDTrackInfo&) const = default;
};

}  // namespace noru::disc
