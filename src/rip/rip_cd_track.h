#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <stop_token>
#include <string>
#include <vector>

#include "disc/cd_drive.h"
#include "disc/cd_track_info.h"
#include "disc/disc_reader.h"
#include "disc/read_cd_sectors.h"
#include "disc/settle_suspects.h"
#include "rip/album_folder.h"
#include "rip/embed_track_metadata.h"
#include "rip/encode_track_to_aac.h"

namespace noru::rip {

// The tags and the destination of one track's file.
struct TrackMetadata {
  std::optional<std::string> trackTitle;
  std::optional<std::string> albumTitle;
  std::optional<std::string> albumArtist;
  std::int64_t trackTotal = 0;
  std::int64_t disc = 0;  // see TrackTags
  std::int64_t discTotal = 0;
  std::optional<std::vector<std::uint8_t>> artwork;
  std::optional<std::string> date;
  // MusicBrainz identifiers (see TrackTags).
  std::optional<std::string> releaseId;
  std::optional<std::string> releaseGroupId;
  std::optional<std::string> recordingId;
  std::optional<std::string> artistId;
  std::optional<std::string> isrc;  // see TrackTags
  std::optional<std::string> barcode;
};

// One track's audio as its reads settled it.
struct TrackAudio {
  std::vector<std::uint8_t> pcm;
  std::vector<std::int32_t> damaged;    // ascending disc sectors whose reads never agreed
  std::vector<std::int32_t> readAgain;  // ascending disc sectors read again to settle them
};

// Turns one track of the disc into a finished, tagged file of the album folder's format: reads its
// sectors (one pass, then whatever was in doubt read again until settled), encodes and tags
// them under a hidden name, and has the album folder put the file in place.
class RipCDTrack {
 public:
  using Progress = disc::ReadCDSectors::Progress;

  // `settling`, if any, hears of the reads of doubtful sectors again (see SettleSuspects).
  TrackAudio read(disc::DiscReader& reader, const disc::CDTrackInfo& track,
                  const Progress& progress, const std::stop_token& stop,
                  const Progress& settling = {}) const;

  // Encodes and tags `pcm` as the track's file and puts it in place, replacing an earlier one
  // only once it is complete. Returns the file's location.
  std::filesystem::path write(std::span<const std::uint8_t> pcm, const disc::CDTrackInfo& track,
                              const TrackMetadata& metadata, AlbumFolder& album,
                              const std::stop_token& stop) const;

  disc::ReadCDSectors readSectors;
  disc::SettleSuspects settleSuspects;
  EncodeTrackToAAC encodeToAAC;
  EmbedTrackMetadata embedMetadata;
};

}  // namespace noru::rip
