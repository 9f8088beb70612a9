#include "accuraterip/verify_track.h"

#include <array>
#include <optional>
#include <utility>

namespace noru::accuraterip {

TrackVerification verifyTrack(const std::vector<Pressing>& pressings, std::size_t entry,
                              std::uint32_t v1, std::uint32_t v2) {
  const std::array<std::pair<std::uint32_t, ChecksumVersion>, 2> ours{
      {{v2, ChecksumVersion::v2}, {v1, ChecksumVersion::v1}}};
  bool anyValue = false;
  std::optional<Accurate> best;
  for (const auto& pressing : pressings) {
    if (entry >= pressing.tracks.size() || pressing.tracks[entry].confidence == 0) {
      continue;
    }
    anyValue = true;
    const auto& value = pressing.tracks[entry];
    for (const auto& [crc, version] : ours) {
      const int confidence = value.confidence;
      if (value.crc == crc &&
          (!best || confidence > best->confidence ||
           (confidence == best->confidence && version == ChecksumVersion::v2))) {
        best = Accurate{confidence, version};
      }
    }
  }
  if (best) {
    return *best;
  }
  return anyValue ? TrackVerification{NotAccurate{}} : TrackVerification{Unverifiable{}};
}

}  // namespace noru::accuraterip
