#include "state/simulated_disc.h"

#include <array>
#include <cstdint>

namespace noru::state {

disc::CDDrive simulatedDrive() {
  return disc::CDDrive{"debug-drive", "Debug DVD Drive", "disk9", true};
}

disc::CDDiscInfo simulatedDiscInfo() {
  static constexpr std::array<double, 14> kTrackSeconds = {
      189.988, 194.586, 169.639, 161.175, 210.155, 334.994, 71.131,
      204.8,   168.698, 144.352, 133.224, 205.061, 198.008, 227.291};
  disc::CDDiscInfo info;
  std::int32_t start = 0;
  std::int64_t number = 1;
  for (double seconds : kTrackSeconds) {
    const auto count = static_cast<std::int32_t>(seconds * 75.0);
    info.tracks.push_back(disc::CDTrackInfo{number++, start, count});
    start += count;
  }
  info.totalSectors = start;
  return info;
}

}  // namespace noru::state
