#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <stop_token>
#include <string>
#include <utility>
#include <vector>

#include "disc/cd_drive.h"
#include "disc/cd_track_info.h"
#include "disc/read_cd_sectors.h"
#include "platform/linux/audio_device.h"
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
  std::optional<std::vector<std::uint8_t>> artwork;
};

// Turns one track of the disc into a finished, tagged M4A file in the album folder: reads its
// sectors, encodes and tags them under a hidden name, and has the album folder put the file in
// place. Returns the file's location. `observeAudio`, if any,
// sees the track's audio as it is read.
class RipCDTrack {
 public:
  using Progress = std::function<void(double fraction)>;

  // Reads from `drives`.
  explicit RipCDTrack(std::shared_ptr<platform::linux_cd::AudioDevice> drives)
      : readSectors(std::move(drives)) {}

  std::filesystem::path operator()(const disc::CDDrive& drive, const disc::CDTrackInfo& track,
                                   const TrackMetadata& metadata, AlbumFolder& album,
                                   Progress progress, std::stop_token stop,
                                   disc::ReadCDSectors::ObserveAudio observeAudio = {}) const;

  disc::ReadCDSectors readSectors;
  EncodeTrackToAAC encodeToAAC;
  EmbedTrackMetadata embedMetadata;
};

}  // namespace noru::rip
