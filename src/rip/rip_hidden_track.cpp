#include "rip/rip_hidden_track.h"

#include <zlib.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "platform/log/diagnostic_log.h"
#include "platform/tasks/cancellation_error.h"

namespace noru::rip {
namespace {

constexpr int kSectorBytes = 2352;
constexpr int kSectorsARead = 75;

}  // namespace

std::int32_t sectorsBeforeTrackOne(const std::optional<disc::FullTOCLayout>& layout) {
  if (!layout || layout->tracks.empty() || layout->tracks.front().number != 1 ||
      layout->tracks.front().data) {
    return 0;
  }
  return std::max(layout->tracks.front().startLBA, 0);
}

std::optional<HiddenTrack> ripHiddenTrack(const RipCDTrack& ripTrack, disc::DiscReader& reader,
                                          std::int32_t sectors, TrackMetadata metadata,
                                          AlbumFolder& album, const std::stop_token& stop) {
  if (sectors <= 0) {
    return std::nullopt;
  }
  const disc::CDTrackInfo hidden{.number = 0, .startSector = 0, .sectorCount = sectors};
  HiddenTrack result{.sectors = hidden.sectorCount};
  std::vector<std::uint8_t> pcm(static_cast<std::size_t>(hidden.sectorCount) * kSectorBytes);
  std::vector<std::uint8_t> flagged(kSectorsARead * 588);
  for (std::int32_t first = 0; first < hidden.sectorCount; first += kSectorsARead) {
    platform::tasks::throwIfCancelled(stop);
    const int count = std::min(kSectorsARead, hidden.sectorCount - first);
    if (const int error = reader.read(first, count, pcm.data() + std::size_t(first) * kSectorBytes,
                                      flagged.data());
        error != 0) {
      result.outcome = HiddenTrack::Outcome::unreadable;
      result.failure = "sector " + std::to_string(first) + ": " + std::strerror(error);
      platform::log::diagnostic("RipCD: the audio before track 1 cannot be read \u2014 ",
                                result.failure);
      return result;
    }
  }
  if (std::ranges::all_of(pcm, [](std::uint8_t byte) { return byte == 0; })) {
    return result;
  }
  if (!metadata.trackTitle) {
    metadata.trackTitle = "Hidden Track";
  }
  result.outcome = HiddenTrack::Outcome::imported;
  result.crc32 =
      static_cast<std::uint32_t>(::crc32_z(::crc32(0, nullptr, 0), pcm.data(), pcm.size()));
  result.file = ripTrack.write(pcm, hidden, metadata, album, stop);
  return result;
}

}  // namespace noru::rip
