#pragma once

#include <cstdint>
#include <vector>

namespace noru::accuraterip {

// What the database holds for one track of one pressing.
struct PressingTrack {
  // How many submissions agree on `crc`; 0 where the database has no value (a data track, a
  // track too short to check).
  std::uint8_t confidence = 0;
  // An AccurateRip v1 or v2 checksum: the database keeps the two kinds as separate pressings
  // and does not say which a pressing holds.
  std::uint32_t crc = 0;
  std::uint32_t offsetFindingCRC = 0;

  bool operator==(const PressingTrack&) const = default;
};

// One block of a database answer: one pressing of the disc (or one kind of checksum of it).
// Its tracks are the disc's audio tracks in disc order, data tracks left out, so the entry of a
// track is its place among the audio tracks (on a disc whose first track is data, track 2 is
// entry 0).
struct Pressing {
  std::vector<PressingTrack> tracks;

  bool operator==(const Pressing&) const = default;
};

}  // namespace noru::accuraterip
