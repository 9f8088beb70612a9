#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace noru::disc {

// A run of consecutive sectors, numbered from `first`.
struct SectorStretch {
  std::int32_t first = 0;
  std::int32_t count = 0;

  std::int32_t end() const { return first + count; }
  bool operator==(const SectorStretch&) const = default;
};

// A place on a track as minutes, seconds and frames (75 a second) from its start: "1:02.13".
std::string positionText(std::int32_t sector);
// A stretch as the places of its first and last sector, "1:02.13–1:02.40" (one place for a
// single sector).
std::string stretchText(SectorStretch stretch);

// The sectors in `a` or `b` or both (each ascending, without repeats), ascending.
std::vector<std::int32_t> sectorsInEither(const std::vector<std::int32_t>& a,
                                          const std::vector<std::int32_t>& b);

// The stretches of consecutive sectors in `sectors` (ascending, without repeats).
std::vector<SectorStretch> stretchesOf(const std::vector<std::int32_t>& sectors);

}  // namespace noru::disc
