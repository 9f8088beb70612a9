#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <stop_token>
#include <vector>

#include "ctdb/rip_syndromes.h"

namespace noru::ctdb {

// Samples [from, to) of the audio region.
struct SampleRange {
  std::int64_t from = 0;
  std::int64_t to = 0;
};

// One word of the rip to put right: `value` is added (XOR) to channel `channel` (0 left, 1 right)
// of the audio region's sample `sample`.
struct WordCorrection {
  std::int64_t sample = 0;
  int channel = 0;
  std::uint16_t value = 0;

  bool operator==(const WordCorrection&) const = default;
};

// The corrections that give the rip the syndromes of an entry's file: `file` holds the first
// `count` syndromes of every column (as FetchCTDBSyndromes gives them), of the rows laid out
// `offset` samples further on in the rip. Every corrected word lies within `suspect`. Nothing
// when some column's wrong words cannot be placed there: more of them than `count` / 2, or
// some outside `suspect`. Raises platform::tasks::CancellationError once `stop` is requested.
std::optional<std::vector<WordCorrection>> findRepair(const RipSyndromes& rip,
                                                      std::span<const std::uint16_t> file,
                                                      std::size_t count, std::int32_t offset,
                                                      std::span<const SampleRange> suspect,
                                                      const std::stop_token& stop);

}  // namespace noru::ctdb
