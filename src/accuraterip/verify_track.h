#pragma once

#include <cstddef>
#include <cstdint>
#include <variant>
#include <vector>

#include "accuraterip/pressing.h"

namespace noru::accuraterip {

enum class ChecksumVersion { v1, v2 };

// The database that confirmed a track.
enum class Database { accurateRip, cueToolsDatabase };

// The track's checksum is one the database holds: `confidence` submissions (the most among
// the pressings that match) agree with it. (`version` tells AccurateRip's checksums apart.)
struct Accurate {
  int confidence = 0;
  ChecksumVersion version = ChecksumVersion::v2;
  Database database = Database::accurateRip;
  // The samples that a repair from the CUETools database corrected to make the track so.
  std::int64_t repairedSamples = 0;

  bool operator==(const Accurate&) const = default;
};

// The database knows the disc and has values for the track, and none matches.
struct NotAccurate {
  bool operator==(const NotAccurate&) const = default;
};

// Nothing to compare with: the disc is not in the database, or the database has no value for
// the track.
struct Unverifiable {
  bool operator==(const Unverifiable&) const = default;
};

using TrackVerification = std::variant<Accurate, NotAccurate, Unverifiable>;

// Compares a track's AccurateRip v1 and v2 checksums with the database's entries at `entry`
// (the track's place among the disc's audio tracks, from 0) in every pressing. Entries of
// confidence 0 carry no value and are passed over. A v2 match wins a tie in confidence.
TrackVerification verifyTrack(const std::vector<Pressing>& pressings, std::size_t entry,
                              std::uint32_t v1, std::uint32_t v2);

}  // namespace noru::accuraterip
