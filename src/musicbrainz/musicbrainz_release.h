#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "lookup/json_coding.h"
#include "lookup/lookup_cd.h"
#include "musicbrainz/musicbrainz_service.h"

namespace noru::musicbrainz {

// One medium (disc) of a MusicBrainz release.
struct MusicBrainzMedium {
  std::optional<std::int64_t> position;    // 1 for the first disc of the release
  std::vector<std::string> discIds;        // the disc IDs MusicBrainz has for it
  std::optional<std::int64_t> trackCount;  // given even where the tracks are not
  std::vector<lookup::LookupCD::Track> tracks;
  // The audio hidden before track 1, when MusicBrainz lists it (as track 0).
  std::optional<lookup::LookupCD::Track> pregap;

  std::int64_t countOfTracks() const;
};

// A release as the MusicBrainz web service describes it (JSON, with recordings, artist credits
// and release group where asked for), decoded all or nothing.
struct MusicBrainzRelease {
  // Every field but the tracks and the cover art, which depend on the medium and on the
  // Cover Art Archive.
  lookup::LookupCD::Release release;
  std::vector<MusicBrainzMedium> media;
  bool hasFrontArtwork = false;
  std::optional<std::string> barcode;  // as printed: UPC-A (12 digits) or EAN-13

  // Whether the release's barcode is the disc's catalogue number `mcn` (13 digits, a UPC-A
  // code with a 0 in front).
  bool hasBarcode(const std::string& mcn) const;

  // Raises lookup::DecodingError.
  static MusicBrainzRelease decode(const lookup::JsonObjectReader& object);

  // The medium holding `discId`, else the one whose track lengths come closest to
  // `durationsMs`, else the first. Nothing for a release without media.
  const MusicBrainzMedium* mediumFor(const std::string& discId,
                                     const std::vector<std::int64_t>& durationsMs) const;
  // The release with that medium's tracks (its hidden track 0 first), its position and the
  // number of media.
  lookup::LookupCD::Release withTracksOf(const MusicBrainzMedium* medium) const;
};

// The "releases" of a web-service answer, all or nothing. Raises lookup::DecodingError.
std::vector<MusicBrainzRelease> decodeReleases(const nlohmann::ordered_json& answer);

// `release` with its front cover when it has one (`hasFrontArtwork`) and the Cover Art
// Archive lists it.
lookup::LookupCD::Release withFrontCover(const MusicBrainzService& service,
                                         lookup::LookupCD::Release release, bool hasFrontArtwork,
                                         std::stop_token stop);

// How far a medium's track lengths are from a disc's durations, in milliseconds summed over the
// tracks (a track without a length counts as 30 seconds off). Nothing when the numbers of
// tracks differ.
std::optional<std::int64_t> durationMismatch(const MusicBrainzMedium& medium,
                                             const std::vector<std::int64_t>& durationsMs);

// The disc's track durations in milliseconds, as the text search computes them.
std::vector<std::int64_t> trackDurationsMs(const std::vector<disc::CDTrackInfo>& tracks);

}  // namespace noru::musicbrainz
