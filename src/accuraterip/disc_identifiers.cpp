#include "accuraterip/disc_identifiers.h"

#include <algorithm>
#include <cstdio>

namespace noru::accuraterip {
namespace {

constexpr std::int64_t kLeadInFrames = 150;
constexpr std::int64_t kFramesPerSecond = 75;

std::uint32_t digitSum(std::int64_t n) {
  std::uint32_t sum = 0;
  for (; n > 0; n /= 10) {
    sum += static_cast<std::uint32_t>(n % 10);
  }
  return sum;
}

// The freedb disc id: the digit sums of every track's start in whole seconds (lead-in
// included) modulo 255, the seconds from the first track to the lead-out, the track count.
std::uint32_t freedbDiscId(const std::vector<disc::FullTOCTrack>& tracks, std::int32_t leadOut) {
  std::uint32_t checksum = 0;
  for (const auto& track : tracks) {
    checksum += digitSum((track.startLBA + kLeadInFrames) / kFramesPerSecond);
  }
  const auto seconds = (leadOut + kLeadInFrames) / kFramesPerSecond -
                       (tracks.front().startLBA + kLeadInFrames) / kFramesPerSecond;
  return (checksum % 0xFF) << 24 | static_cast<std::uint32_t>(seconds) << 8 |
         static_cast<std::uint32_t>(tracks.size());
}

}  // namespace

std::optional<DiscIdentifiers> DiscIdentifiers::from(const disc::FullTOCLayout& layout) {
  if (!layout.leadOut) {
    return std::nullopt;
  }
  // Sums modulo 2^32, as the reference ripper's 32-bit arithmetic gives them.
  DiscIdentifiers ids;
  for (const auto& track : layout.tracks) {
    if (track.data) {
      continue;
    }
    ids.id1 += static_cast<std::uint32_t>(track.startLBA);
    ids.id2 += static_cast<std::uint32_t>(std::max(track.startLBA, 1)) *
               static_cast<std::uint32_t>(++ids.audioTrackCount);
  }
  if (ids.audioTrackCount == 0) {
    return std::nullopt;
  }
  const auto leadOut = static_cast<std::uint32_t>(*layout.leadOut);
  ids.id1 += leadOut;
  ids.id2 += leadOut * static_cast<std::uint32_t>(ids.audioTrackCount + 1);
  ids.cddbId = freedbDiscId(layout.tracks, *layout.leadOut);
  return ids;
}

std::string DiscIdentifiers::databasePath() const {
  char id1Hex[9];
  std::snprintf(id1Hex, sizeof id1Hex, "%08x", id1);
  char path[80];
  std::snprintf(path, sizeof path, "/accuraterip/%c/%c/%c/dBAR-%03d-%08x-%08x-%08x.bin", id1Hex[7],
                id1Hex[6], id1Hex[5], audioTrackCount, id1, id2, cddbId);
  return path;
}

}  // namespace noru::accuraterip
