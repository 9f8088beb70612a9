#include "musicbrainz/musicbrainz_lookup.h"

#include <algorithm>

#include "musicbrainz/json_request.h"
#include "musicbrainz/musicbrainz_disc_id.h"
#include "musicbrainz/musicbrainz_release.h"

namespace noru::musicbrainz {

lookup::LookupCD::Response MusicBrainzLookup::operator()(const disc::CDDiscInfo& disc,
                                                         std::stop_token stop) const {
  const auto toc = musicBrainzDiscTOC(disc);
  if (!toc) {
    throw SourceError("the disc's layout has no MusicBrainz disc ID");
  }
  const auto answer = service.get("discid/" + toc->discId + "?toc=" + toc->toc +
                                      "&cdstubs=no&inc=recordings+artist-credits+release-groups",
                                  stop);
  lookup::LookupCD::Response response{.discId = toc->discId};
  if (!answer) {
    return response;
  }
  const auto durations = trackDurationsMs(disc.tracks);
  auto releases = decodeReleases(*answer);
  // Of the editions that share the disc's layout, the one with the disc's own barcode comes first.
  if (const auto& mcn = disc.facts.mcn) {
    std::stable_partition(releases.begin(), releases.end(), [&](const MusicBrainzRelease& release) {
      return release.hasBarcode(*mcn);
    });
  }
  for (const auto& release : releases) {
    response.releases.push_back(
        withFrontCover(service, release.withTracksOf(release.mediumFor(toc->discId, durations)),
                       release.hasFrontArtwork, stop));
  }
  return response;
}

}  // namespace noru::musicbrainz
