#pragma once

#include <chrono>
#include <filesystem>
#include <optional>
#include <vector>

#include "accuraterip/track_checksums.h"
#include "accuraterip/verify_track.h"
#include "disc/cd_drive.h"
#include "disc/cd_track_info.h"
#include "rip/find_read_offset.h"
#include "rip/look_up_accurate_rip.h"

namespace noru::rip {

// One ripped track as the log tells of it.
struct RipLogTrack {
  disc::CDTrackInfo track;
  std::filesystem::path file;
  accuraterip::TrackChecksumValues checksums;
  std::optional<accuraterip::TrackVerification> verdict;
};

// What an import's log tells: who read what with which drive, and how well.
struct RipLog {
  std::chrono::system_clock::time_point date;
  disc::CDDrive drive;
  ReadOffset readOffset;
  std::optional<AccurateRipAnswer> answer;
  std::vector<disc::CDTrackInfo> tableOfContents;  // the disc's audio tracks
  std::vector<RipLogTrack> tracks;
};

// The name of the log in the album folder.
inline constexpr char kRipLogName[] = "rip.log";

// Writes `log` as UTF-8 text to `file`: under a temporary name beside it first, then renamed
// over it, so that `file` is never half written. Raises std::runtime_error (saying why) and
// leaves no temporary file then.
void writeRipLog(const RipLog& log, const std::filesystem::path& file);

}  // namespace noru::rip
