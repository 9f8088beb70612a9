#pragma once

#include <cstdint>
#include <vector>

#include "disc/cd_track_info.h"
#include "platform/linux/disc_facts.h"

namespace noru::disc {

// The audio layout of a disc: its audio tracks in disc order (never empty) and the number of
// sectors from address 0 to the end of the last audio track; and what the disc says of itself.
struct CDDiscInfo {
  std::vector<CDTrackInfo> tracks;
  std::int32_t totalSectors = 0;
  platform::linux_cd::DiscFacts facts;

  bool operator==(const CDDiscInfo&) const = default;
};

}  // namespace noru::disc
