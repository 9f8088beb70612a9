#pragma once

#include <chrono>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "accuraterip/track_checksums.h"
#include "accuraterip/verify_track.h"
#include "ctdb/verify_rip.h"
#include "disc/cd_drive.h"
#include "disc/cd_track_info.h"
#include "disc/sector_stretch.h"
#include "platform/linux/audio_device.h"
#include "rip/album_folder.h"
#include "rip/find_read_offset.h"
#include "rip/look_up_accurate_rip.h"
#include "rip/look_up_ctdb.h"
#include "rip/repair_from_ctdb.h"
#include "rip/rip_hidden_track.h"

namespace noru::rip {

// One ripped track as the log tells of it.
struct RipLogTrack {
  disc::CDTrackInfo track;
  std::filesystem::path file;
  accuraterip::TrackChecksumValues checksums;
  std::optional<accuraterip::TrackVerification> verdict;
  int passes = 1;  // whole reads of the track
  std::int32_t sectorsReadAgain = 0;
  std::vector<disc::SectorStretch> damaged;  // in sectors from the track's start
  // The CRC-32 of the first and of the second whole read, when there was a second.
  std::uint32_t copyCRC = 0;
  std::optional<std::uint32_t> testCRC;
  platform::linux_cd::C2Mode errorPointers = platform::linux_cd::C2Mode::none;
};

// What an import's log tells: who read what with which drive, and how well.
struct RipLog {
  std::chrono::system_clock::time_point date;
  disc::CDDrive drive;
  ReadOffset readOffset;
  std::optional<AccurateRipAnswer> answer;
  std::optional<CTDBAnswer> ctdb;
  std::optional<ctdb::RipVerdict> ctdbVerdict;
  std::optional<CTDBRepair> ctdbRepair;            // when a repair was tried
  std::vector<disc::CDTrackInfo> tableOfContents;  // the disc's audio tracks
  std::optional<HiddenTrack> hiddenTrack;          // when audio lies before track 1
  std::vector<RipLogTrack> tracks;
  // The sectors the import asked the drive for in all, re-reads and cache-emptying reads too.
  std::int64_t sectorsRead = 0;
};

// Writes `log` as UTF-8 text to the album's rip log, which is never half written (see
// AlbumFolder::write). The description of a failure, if any.
std::optional<std::string> writeRipLog(const RipLog& log, AlbumFolder& album);

}  // namespace noru::rip
