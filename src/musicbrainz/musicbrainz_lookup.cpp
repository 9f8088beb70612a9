#include "musicbrainz/musicbrainz_lookup.h"

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
  for (const auto& release : decodeReleases(*answer)) {
    response.releases.push_back(
        withFrontCover(service, release.withTracksOf(release.mediumFor(toc->discId, durations)),
                       release.hasFrontArtwork, stop));
  }
  return response;
}

}  // namespace noru::musicbrainz
