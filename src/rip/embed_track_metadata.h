#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "disc/audio_format.h"
#include "rip/gapless_timing.h"

namespace noru::rip {

// What a track file is tagged with. Absent values are left out, never written empty.
struct TrackTags {
  std::optional<std::string> title;
  std::int64_t number = 0;
  std::int64_t total = 0;             // the tracks of the disc; 0 when unknown
  std::int64_t disc = 0;              // which disc of the release it is; 0 when unknown
  std::int64_t discTotal = 0;         // the discs of the release; 0 when unknown
  std::optional<std::string> artist;  // the release's artist credit, as artist and album artist
  std::optional<std::string> album;
  std::optional<std::string> date;  // as the release gives it: "1992", "1992-05" or "1992-05-11"
  std::optional<std::vector<std::uint8_t>> cover;  // JPEG
  // The MusicBrainz identifiers of the release, its group, the track's recording and the
  // release's artist, by which library managers find the files again.
  std::optional<std::string> releaseId;
  std::optional<std::string> releaseGroupId;
  std::optional<std::string> recordingId;
  std::optional<std::string> artistId;
  // What the disc itself says: the track's ISRC and the album's barcode (its catalogue number).
  std::optional<std::string> isrc;
  std::optional<std::string> barcode;
  bool preEmphasised = false;  // the audio is as mastered, with pre-emphasis, for players to undo
};

// Writes a track's tags into an encoded file: into M4A (AAC, Apple Lossless) as iTunes items,
// the identifiers as the freeform "MusicBrainz … Id" items, and the encoder's priming and
// padding as the "iTunSMPB" item when they are known; into FLAC as Vorbis comments
// (MUSICBRAINZ_ALBUMID and friends) and a front-cover picture. The tags go into a copy named
// <UUID> and the file's extension beside the file, which then takes the file's place in one
// rename, so the track file is never missing; the audio is copied as it is.
class EmbedTrackMetadata {
 public:
  using ReplaceFile =
      std::function<void(const std::filesystem::path& from, const std::filesystem::path& to)>;

  // Raises CDRipError::encodingFailed when the tagged copy cannot be made (the copy is then
  // removed and the file stays untagged), or the std::filesystem::filesystem_error of
  // replaceFile (the tagged copy then stays beside the untagged file).
  void operator()(const std::filesystem::path& file, const TrackTags& tags,
                  const std::optional<GaplessTiming>& gapless = std::nullopt,
                  disc::AudioFormat format = disc::AudioFormat::aac) const;

  // Puts the tagged copy in the file's place: rename(2), atomic within one folder.
  ReplaceFile replaceFile = [](const std::filesystem::path& from, const std::filesystem::path& to) {
    std::filesystem::rename(from, to);
  };
};

}  // namespace noru::rip
