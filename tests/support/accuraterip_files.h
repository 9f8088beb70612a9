#pragma once

#include <cstdint>
#include <cstring>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "accuraterip/disc_identifiers.h"
#include "accuraterip/drive_offsets.h"
#include "accuraterip/track_checksums.h"
#include "support/disc_image_writer.h"

namespace noru::testing {

// The files the stand-ins for the AccurateRip service serve, in the service's own layouts.

// One pressing's block of a disc's database file: the track count (that of `tracks` unless
// given), the disc's identifiers, then each track's confidence and checksum, with an
// offset-finding CRC of checksum + 1.
inline std::string accurateRipBlock(
    const accuraterip::DiscIdentifiers& disc,
    const std::vector<std::pair<std::uint8_t, std::uint32_t>>& tracks,
    std::optional<std::uint8_t> trackCount = std::nullopt) {
  std::string bytes(1, static_cast<char>(trackCount.value_or(tracks.size())));
  const auto put = [&](std::uint32_t word) {
    for (int shift = 0; shift < 32; shift += 8) {
      bytes.push_back(static_cast<char>(word >> shift));
    }
  };
  for (const auto id : {disc.id1, disc.id2, disc.cddbId}) {
    put(id);
  }
  for (const auto& [confidence, crc] : tracks) {
    bytes.push_back(static_cast<char>(confidence));
    put(crc);
    put(crc + 1);
  }
  return bytes;
}

// The AccurateRip v2 checksum of `track` of `image`, the first or the last of its audio tracks
// or neither.
inline std::uint32_t accurateRipV2Of(const WrittenDiscImage& image, const WrittenTrack& track,
                                     bool first, bool last) {
  accuraterip::TrackChecksums checksums(
      std::int64_t{track.sectors} * accuraterip::TrackChecksums::kSamplesPerSector, first, last);
  checksums.add(image.discAudio(track.startSector, track.sectors));
  return checksums.values().accurateRipV2;
}

// The database's file for a disc image of audio tracks: one pressing holding each track's own
// AccurateRip v2 checksum at `confidence`.
inline std::string accurateRipFileOf(const WrittenDiscImage& image,
                                     const accuraterip::DiscIdentifiers& disc,
                                     std::uint8_t confidence) {
  std::vector<std::pair<std::uint8_t, std::uint32_t>> tracks;
  for (const auto& track : image.tracks) {
    tracks.emplace_back(confidence, accurateRipV2Of(image, track, &track == &image.tracks.front(),
                                                    &track == &image.tracks.back()));
  }
  return accurateRipBlock(disc, tracks);
}

// One record of the drive offset list: a drive's "VENDOR - MODEL" and its read offset.
inline std::string driveOffsetRecord(const std::string& name, std::int16_t offset) {
  std::string record(accuraterip::DriveOffsets::kRecordBytes, '\0');
  record[0] = static_cast<char>(offset);
  record[1] = static_cast<char>(static_cast<std::uint16_t>(offset) >> 8);
  std::memcpy(record.data() + 2, name.data(), name.size());
  record[34] = 42;  // submissions
  return record;
}

}  // namespace noru::testing
