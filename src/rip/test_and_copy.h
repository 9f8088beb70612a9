#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <stop_token>
#include <vector>

#include "disc/cd_track_info.h"
#include "disc/disc_reader.h"
#include "rip/rip_cd_track.h"

namespace noru::rip {

// What the first read of a track leaves for a second one to compare with: the CRC-32 of each
// of its sectors and of the whole, and the sectors that never settled.
struct CopyRead {
  std::vector<std::uint32_t> sectorCRCs;
  std::uint32_t crc = 0;
  std::vector<std::int32_t> damaged;
  std::vector<std::int32_t> readAgain;

  static CopyRead of(const TrackAudio& audio);
};

// The second read of a track and what came of it.
struct TestRead {
  std::uint32_t crc = 0;  // of the second read's audio as it came, before any sector settled
  // The track's audio settled from the second read and the reads after it, when the two reads
  // disagreed somewhere; nothing when they agreed on every sector.
  std::optional<TrackAudio> settled;
};

// Reads a track a second time, from the disc and not the drive's cache, and compares it with
// the first read sector by sector ("test and copy"). Where the two differ, or the second read
// has doubts of its own, the sectors are suspects and are settled by reading them again.
// Sectors that never settled in the first read are settled again only where the reads
// disagree; otherwise they stay damaged.
class TestAndCopy {
 public:
  TestRead operator()(disc::DiscReader& reader, const disc::CDTrackInfo& track,
                      const CopyRead& copy, const RipCDTrack& ripTrack,
                      const RipCDTrack::Progress& progress, const std::stop_token& stop) const;
};

}  // namespace noru::rip
