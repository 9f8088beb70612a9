#pragma once

#include <cstdint>
#include <functional>
#include <stop_token>
#include <vector>

#include "disc/disc_reader.h"

namespace noru::disc {

// A run of sectors as one pass over them delivered it.
struct SectorsRead {
  std::vector<std::uint8_t> audio;  // 2352 bytes a sector; zeros where a sector failed
  // The sectors whose audio is in doubt, ascending: those that could not be read and those
  // the drive flagged as uncorrected.
  std::vector<std::int32_t> suspects;
};

// Reads a run of raw CD-DA sectors (2352 bytes each, 16-bit little-endian stereo) in one pass,
// at most 75 sectors a request, reporting progress on the main thread after every request. A
// request that fails is read again sector by sector; a sector that fails again, or that the
// drive flags, is a suspect, for the caller to settle.
class ReadCDSectors {
 public:
  using Progress = std::function<void(double fraction)>;

  // Returns sectorCount * 2352 bytes and the suspects, or raises CDRipError (readFailed when
  // the medium is gone) or CancellationError. A range that starts below 0, has a negative
  // count or ends beyond the 32-bit sector range fails with readFailed(EINVAL) before anything
  // is read. Call it off the main thread: the progress reports wait for the main thread.
  // A run read `again` comes from the disc, not from what the drive's cache still holds of an
  // earlier read.
  SectorsRead operator()(DiscReader& reader, std::int32_t startSector, std::int32_t sectorCount,
                         const Progress& progress, const std::stop_token& stop,
                         bool again = false) const;
};

}  // namespace noru::disc
