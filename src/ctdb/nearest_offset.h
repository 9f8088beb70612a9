#pragma once

#include <cstdint>
#include <optional>

namespace noru::ctdb {

// The read offsets the CUETools database's checks reach, either side of the rip's own.
inline constexpr std::int32_t kMaxOffset = 5879;

// The offset within ±kMaxOffset, nearest 0 first (+d before −d), at which `matches` holds.
template <class Matches>
std::optional<std::int32_t> nearestOffset(Matches matches) {
  for (std::int32_t distance = 0; distance <= kMaxOffset; ++distance) {
    for (const std::int32_t offset : {distance, -distance}) {
      if (matches(offset)) {
        return offset;
      }
    }
  }
  return std::nullopt;
}

}  // namespace noru::ctdb
