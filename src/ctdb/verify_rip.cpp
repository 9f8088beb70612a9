#include "ctdb/verify_rip.h"

#include <algorithm>

#include "ctdb/nearest_offset.h"

namespace noru::ctdb {

RipVerdict verifyRip(const std::vector<CTDBEntry>& entries, const DiscCRCs::AtOffsets& crcs,
                     std::size_t trackCount) {
  RipVerdict verdict{.tracks = std::vector<int>(trackCount, 0)};
  for (std::size_t index = 0; index < entries.size(); ++index) {
    const CTDBEntry& entry = entries[index];
    if (entry.trackCRCs.size() != trackCount ||
        (verdict.disc && verdict.disc->confidence >= entry.confidence)) {
      continue;
    }
    if (const auto offset = crcs.offsetOf(entry.crc32)) {
      verdict.disc = RipVerdict::DiscMatch{index, *offset, entry.confidence};
    }
  }
  if (verdict.disc) {
    std::ranges::fill(verdict.tracks, verdict.disc->confidence);
    return verdict;
  }
  // A disc that no entry holds as a whole may still have tracks that one does: each track is
  // looked for at every offset, nearest 0 first.
  for (const CTDBEntry& entry : entries) {
    if (entry.trackCRCs.size() != trackCount) {
      continue;
    }
    for (std::size_t track = 0; track < trackCount; ++track) {
      const auto wanted = entry.trackCRCs[track];
      if (wanted == 0 || verdict.tracks[track] >= entry.confidence) {
        continue;
      }
      if (nearestOffset([&](std::int32_t offset) { return crcs.track(track, offset) == wanted; })) {
        verdict.tracks[track] = entry.confidence;
      }
    }
  }
  return verdict;
}

}  // namespace noru::ctdb
