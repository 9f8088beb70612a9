#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <stop_token>
#include <string>

#include "disc/disc_reader.h"
#include "disc/full_toc_layout.h"
#include "rip/album_folder.h"
#include "rip/rip_cd_track.h"

namespace noru::rip {

// What became of the audio a disc hides before track 1 (from the disc's start to track 1's
// INDEX 01).
struct HiddenTrack {
  enum class Outcome {
    imported,    // as track 0, in `file`
    silent,      // digital silence: nothing to import
    unreadable,  // the drive would not read it (many cannot): `failure` says why
  };

  Outcome outcome = Outcome::silent;
  std::int32_t sectors = 0;
  std::filesystem::path file;
  std::uint32_t crc32 = 0;  // of the audio imported
  std::string failure;

  bool operator==(const HiddenTrack&) const = default;
};

// How many sectors of audio lie before track 1 of the disc whose full TOC is `layout`: track 1's
// start when it is an audio track that does not start the disc, else 0.
std::int32_t sectorsBeforeTrackOne(const std::optional<disc::FullTOCLayout>& layout);

// The `sectors` of audio before track 1, when there are any: read through `reader` (one plain
// pass; the first sector the drive will not read ends it) and, unless they are digital silence,
// written by `ripTrack` as track 0 with `metadata` (titled "Hidden Track" unless the release
// names it). Raises CancellationError on a stop, and what writing the file raises.
std::optional<HiddenTrack> ripHiddenTrack(const RipCDTrack& ripTrack, disc::DiscReader& reader,
                                          std::int32_t sectors, TrackMetadata metadata,
                                          AlbumFolder& album, const std::stop_token& stop);

}  // namespace noru::rip
