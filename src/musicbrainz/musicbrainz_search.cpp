#include "musicbrainz/musicbrainz_search.h"

#include <algorithm>
#include <limits>

#include "musicbrainz/json_request.h"
#include "musicbrainz/musicbrainz_release.h"

namespace noru::musicbrainz {
namespace {

std::string quotedPhrase(const std::string& text) {
  std::string phrase = "\"";
  for (const char c : text) {
    if (c == '"' || c == '\\') {
      phrase += '\\';
    }
    phrase += c;
  }
  return phrase + "\"";
}

bool hasMediumOfCount(const MusicBrainzRelease& release, std::size_t count) {
  return std::any_of(release.media.begin(), release.media.end(), [&](const auto& medium) {
    return medium.countOfTracks() == static_cast<std::int64_t>(count);
  });
}

struct RankedRelease {
  lookup::LookupCD::Release release;  // with the tracks of its closest medium
  bool hasFrontArtwork = false;
  std::int64_t mismatch = std::numeric_limits<std::int64_t>::max();
};

}  // namespace

std::string releaseQuery(const std::string& artist, const std::string& album) {
  std::string query;
  if (!album.empty()) {
    query = "release:" + quotedPhrase(album);
  }
  if (!artist.empty()) {
    query += (query.empty() ? "" : " AND ") + std::string("artist:") + quotedPhrase(artist);
  }
  return query;
}

lookup::LookupCD::Response MusicBrainzSearch::operator()(
    const std::string& artist, const std::string& album,
    const std::vector<disc::CDTrackInfo>& tracks, std::stop_token stop) const {
  lookup::LookupCD::Response response;
  const auto query = releaseQuery(artist, album);
  if (query.empty()) {
    return response;
  }
  const auto answer = service.get("release?limit=25&query=" + percentEncoded(query), stop);
  if (!answer) {
    return response;
  }
  // Search results list media by their track counts only: editions with a medium of the
  // disc's size go first, in the search's order, and the first few are fetched in full.
  auto candidates = decodeReleases(*answer);
  std::stable_partition(candidates.begin(), candidates.end(), [&](const auto& candidate) {
    return hasMediumOfCount(candidate, tracks.size());
  });
  candidates.resize(std::min(candidates.size(), candidatesFetched));

  const auto durations = trackDurationsMs(tracks);
  std::vector<RankedRelease> ranked;
  for (const auto& candidate : candidates) {
    const auto full = service.get("release/" + percentEncoded(candidate.release.releaseMbid) +
                                      "?inc=recordings+artist-credits+release-groups",
                                  stop);
    if (!full) {
      continue;
    }
    const auto release = MusicBrainzRelease::decode(lookup::JsonObjectReader(*full, ""));
    const auto* medium = release.mediumFor("", durations);
    ranked.push_back(RankedRelease{
        .release = release.withTracksOf(medium),
        .hasFrontArtwork = release.hasFrontArtwork,
        .mismatch = medium == nullptr ? std::numeric_limits<std::int64_t>::max()
                                      : durationMismatch(*medium, durations)
                                            .value_or(std::numeric_limits<std::int64_t>::max()),
    });
  }
  std::stable_sort(ranked.begin(), ranked.end(),
                   [](const auto& a, const auto& b) { return a.mismatch < b.mismatch; });
  for (const auto& entry : ranked) {
    response.releases.push_back(
        withFrontCover(service, entry.release, entry.hasFrontArtwork, stop));
  }
  return response;
}

}  // namespace noru::musicbrainz
