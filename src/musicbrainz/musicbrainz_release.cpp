#include "musicbrainz/musicbrainz_release.h"

#include <algorithm>
#include <cstdlib>
#include <limits>

#include "lookup/search_cd.h"

namespace noru::musicbrainz {
namespace {

using lookup::JsonObjectReader;
using lookup::LookupCD;

constexpr std::int64_t kMissingLengthPenaltyMs = 30'000;

// An artist credit: the credited names, each followed by its join phrase (" & ", " feat. ").
struct ArtistCredit {
  std::string text;
  std::optional<std::string> firstArtistMbid;

  static std::optional<ArtistCredit> decode(const JsonObjectReader& object,
                                            std::string_view field) {
    const auto names = object.optionalObjects(field, [](const JsonObjectReader& credit) {
      const auto artist = credit.optionalObject("artist");
      return std::make_pair(credit.text("name") + credit.optionalText("joinphrase").value_or(""),
                            artist ? std::optional(artist->text("id")) : std::nullopt);
    });
    if (names.empty()) {
      return std::nullopt;
    }
    ArtistCredit credit{.firstArtistMbid = names.front().second};
    for (const auto& [name, artist] : names) {
      credit.text += name;
    }
    return credit;
  }
};

// MusicBrainz writes an unknown date or country as an empty text.
std::optional<std::string> unlessEmpty(std::optional<std::string> text) {
  return text && text->empty() ? std::nullopt : text;
}

LookupCD::Track decodeTrack(const JsonObjectReader& object, const std::string& releaseCredit) {
  const auto recording = object.optionalObject("recording");
  auto credit = ArtistCredit::decode(object, "artist-credit");
  if (!credit && recording) {
    credit = ArtistCredit::decode(*recording, "artist-credit");
  }
  auto length = object.optionalInteger("length");
  if (!length && recording) {
    length = recording->optionalInteger("length");
  }
  return LookupCD::Track{
      .number = object.integer("position"),
      .title = object.text("title"),
      .artistCredit = credit ? credit->text : releaseCredit,
      .lengthMs = length,
      .recordingMbid = recording ? std::optional(recording->text("id")) : std::nullopt,
  };
}

// A medium's hidden track before track 1, which MusicBrainz lists apart as its `pregap`.
std::optional<LookupCD::Track> decodePregap(const JsonObjectReader& medium,
                                            const std::string& releaseCredit) {
  const auto pregap = medium.optionalObject("pregap");
  return pregap ? std::optional(decodeTrack(*pregap, releaseCredit)) : std::nullopt;
}

}  // namespace

std::int64_t MusicBrainzMedium::countOfTracks() const {
  return tracks.empty() ? trackCount.value_or(0) : static_cast<std::int64_t>(tracks.size());
}

MusicBrainzRelease MusicBrainzRelease::decode(const JsonObjectReader& object) {
  const auto credit = ArtistCredit::decode(object, "artist-credit");
  if (!credit) {
    throw lookup::DecodingError(lookup::DecodingError::Kind::keyNotFound, "artist-credit");
  }
  const auto group = object.optionalObject("release-group");
  const auto coverArt = object.optionalObject("cover-art-archive");
  MusicBrainzRelease decoded{
      .release =
          LookupCD::Release{
              .releaseMbid = object.text("id"),
              .releaseGroupMbid = group ? std::optional(group->text("id")) : std::nullopt,
              .title = object.text("title"),
              .artistCredit = credit->text,
              .artistMbid = credit->firstArtistMbid,
              .date = unlessEmpty(object.optionalText("date")),
              .country = unlessEmpty(object.optionalText("country")),
          },
      .hasFrontArtwork = coverArt && coverArt->optionalBoolean("front").value_or(false),
      .barcode = unlessEmpty(object.optionalText("barcode")),
  };
  decoded.media = object.optionalObjects("media", [&](const JsonObjectReader& medium) {
    return MusicBrainzMedium{
        .position = medium.optionalInteger("position"),
        .discIds = medium.optionalObjects(
            "discs", [](const JsonObjectReader& disc) { return disc.text("id"); }),
        .trackCount = medium.optionalInteger("track-count"),
        .tracks = medium.optionalObjects(
            "tracks",
            [&](const JsonObjectReader& track) { return decodeTrack(track, credit->text); }),
        .pregap = decodePregap(medium, credit->text),
    };
  });
  return decoded;
}

bool MusicBrainzRelease::hasBarcode(const std::string& mcn) const {
  const auto withoutLeadingZeros = [](std::string_view code) {
    return code.substr(std::min(code.find_first_not_of('0'), code.size()));
  };
  return barcode && !barcode->empty() && withoutLeadingZeros(*barcode) == withoutLeadingZeros(mcn);
}

const MusicBrainzMedium* MusicBrainzRelease::mediumFor(
    const std::string& discId, const std::vector<std::int64_t>& durationsMs) const {
  if (media.empty()) {
    return nullptr;
  }
  for (const auto& medium : media) {
    if (std::find(medium.discIds.begin(), medium.discIds.end(), discId) != medium.discIds.end()) {
      return &medium;
    }
  }
  const MusicBrainzMedium* closest = &media.front();
  auto smallest = std::numeric_limits<std::int64_t>::max();
  for (const auto& medium : media) {
    const auto mismatch = durationMismatch(medium, durationsMs);
    if (mismatch && *mismatch < smallest) {
      smallest = *mismatch;
      closest = &medium;
    }
  }
  return closest;
}

LookupCD::Release MusicBrainzRelease::withTracksOf(const MusicBrainzMedium* medium) const {
  auto mapped = release;
  if (medium != nullptr) {
    mapped.tracks = medium->tracks;
    if (medium->pregap) {
      mapped.tracks.insert(mapped.tracks.begin(), *medium->pregap);
    }
    mapped.discNumber = medium->position.value_or(medium - media.data() + 1);
    mapped.discTotal = static_cast<std::int64_t>(media.size());
  }
  return mapped;
}

std::vector<MusicBrainzRelease> decodeReleases(const nlohmann::ordered_json& answer) {
  return JsonObjectReader(answer, "").objects("releases", &MusicBrainzRelease::decode);
}

LookupCD::Release withFrontCover(const MusicBrainzService& service, LookupCD::Release release,
                                 bool hasFrontArtwork, std::stop_token stop) {
  if (hasFrontArtwork) {
    release.caaId = service.frontImageId(release.releaseMbid, std::move(stop));
    if (release.caaId) {
      release.caaReleaseMbid = release.releaseMbid;
    }
  }
  return release;
}

std::optional<std::int64_t> durationMismatch(const MusicBrainzMedium& medium,
                                             const std::vector<std::int64_t>& durationsMs) {
  if (medium.countOfTracks() != static_cast<std::int64_t>(durationsMs.size())) {
    return std::nullopt;
  }
  if (medium.tracks.empty()) {
    return std::int64_t{0};
  }
  std::int64_t mismatch = 0;
  for (std::size_t index = 0; index < durationsMs.size(); ++index) {
    const auto& length = medium.tracks[index].lengthMs;
    mismatch += length ? std::llabs(*length - durationsMs[index]) : kMissingLengthPenaltyMs;
  }
  return mismatch;
}

std::vector<std::int64_t> trackDurationsMs(const std::vector<disc::CDTrackInfo>& tracks) {
  return lookup::SearchCD::Request::from("", "", tracks).trackDurationsMs;
}

}  // namespace noru::musicbrainz
