#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <stop_token>
#include <vector>

#include "disc/disc_reader.h"

namespace noru::disc {

// What settling a run's suspect sectors came to.
struct Settlement {
  std::vector<std::int32_t> unsettled;  // ascending: the sectors whose reads never agreed
};

// Reads suspect sectors again, each round from the disc rather than from the drive's cache,
// until the reads agree on every sample, and puts the agreed audio in place. Agreement is
// weighed per sample: a read the drive did not flag there counts twice as much as a flagged
// one, and a sample is settled when one value outweighs every other by two unflagged reads'
// worth. A sector still unsettled after kMostReads reads keeps the value that weighs most in
// each sample (the first pass's audio if no read ever delivered it) and is reported. A sector
// that fails kFailuresInARow reads in a row is given up sooner: a stretch the drive cannot
// read at all would otherwise cost every round its slow failures.
class SettleSuspects {
 public:
  using Progress = std::function<void(double fraction)>;
  static constexpr int kMostReads = 10;
  static constexpr int kFailuresInARow = 3;

  // `audio` holds the run's sectors from `start`; `suspects` (ascending) lie within it.
  // `progress`, if any, hears 0 before the first read and how far the rounds have come after
  // each. Raises CDRipError when the medium is gone and CancellationError when `stop` is
  // requested.
  Settlement operator()(DiscReader& reader, std::span<std::uint8_t> audio, std::int32_t start,
                        const std::vector<std::int32_t>& suspects, const std::stop_token& stop,
                        const Progress& progress = {}) const;
};

}  // namespace noru::disc
