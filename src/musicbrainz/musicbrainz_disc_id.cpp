#include "musicbrainz/musicbrainz_disc_id.h"

#include <discid/discid.h>

#include <algorithm>
#include <array>
#include <memory>

namespace noru::musicbrainz {
namespace {

// Logical address 0 is frame 150 in MusicBrainz's (and the disc's own) numbering.
constexpr int kLeadInFrames = 150;

struct DiscIdDeleter {
  void operator()(DiscId* disc) const { discid_free(disc); }
};

}  // namespace

std::optional<MusicBrainzDiscTOC> musicBrainzDiscTOC(const disc::CDDiscInfo& disc) {
  if (disc.tracks.empty() || disc.tracks.size() > 99) {
    return std::nullopt;
  }
  std::array<int, 100> offsets{};
  offsets[0] = disc.totalSectors + kLeadInFrames;
  for (std::size_t index = 0; index < disc.tracks.size(); ++index) {
    offsets[index + 1] = disc.tracks[index].startSector + kLeadInFrames;
  }
  const std::unique_ptr<DiscId, DiscIdDeleter> discId(discid_new());
  const int last = static_cast<int>(disc.tracks.size());
  if (!discId || discid_put(discId.get(), 1, last, offsets.data()) == 0) {
    return std::nullopt;
  }
  std::string toc = discid_get_toc_string(discId.get());
  std::replace(toc.begin(), toc.end(), ' ', '+');
  return MusicBrainzDiscTOC{.discId = discid_get_id(discId.get()), .toc = std::move(toc)};
}

}  // namespace noru::musicbrainz
