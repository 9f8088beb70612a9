#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "ctdb/disc_crcs.h"
#include "ctdb/parse_ctdb_answer.h"

namespace noru::ctdb {

// What the CUETools database says of a rip.
struct RipVerdict {
  struct DiscMatch {
    std::size_t entry = 0;  // among the entries asked about
    std::int32_t offset = 0;
    int confidence = 0;

    bool operator==(const DiscMatch&) const = default;
  };
  // The most confident entry whose whole-disc CRC the rip has at some read offset.
  std::optional<DiscMatch> disc;
  // By audio track: the confidence of the most confident entry that holds the track's CRC (at
  // the disc's offset when the disc matches, at any offset otherwise); 0 when none does.
  std::vector<int> tracks;

  bool operator==(const RipVerdict&) const = default;
};

// Compares the rip's CRCs with every entry that has a CRC for each of its `trackCount` audio
// tracks (entries of another layout are passed over; a track CRC of 0 is no value).
RipVerdict verifyRip(const std::vector<CTDBEntry>& entries, const DiscCRCs::AtOffsets& crcs,
                     std::size_t trackCount);

}  // namespace noru::ctdb
