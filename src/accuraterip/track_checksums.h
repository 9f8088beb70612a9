#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace noru::accuraterip {

// The checksums of one track's audio.
struct TrackChecksumValues {
  std::uint32_t accurateRipV1 = 0;
  std::uint32_t accurateRipV2 = 0;
  // The AccurateRip offset-finding CRC of the track's sector 450; 0 for a track too short to
  // have one.
  std::uint32_t offsetFindingCRC = 0;
  // CRC-32 (zlib's, as rip logs print it) of all of the track's audio bytes.
  std::uint32_t crc32 = 0;

  bool operator==(const TrackChecksumValues&) const = default;
};

// Computes a track's checksums from its audio as it is read: feed the 16-bit little-endian
// stereo PCM in pieces of any length (a piece may end inside a sample) and read the values
// once the whole track has been fed. Nothing of the audio is kept but the at most three bytes
// of a sample split between two pieces.
//
// AccurateRip treats each stereo sample as one little-endian 32-bit word and multiplies it by
// its 1-based position in the track; v1 sums the low 32 bits of the products, v2 the low and the
// high 32 bits, both modulo 2^32. The first and the last audio track of a disc leave out
// samples near the disc's ends, where drives with different read offsets disagree: in the first
// audio track positions from 2940 on count (the published reference code starts checking at
// 5 × 588 = 2940, so the first 2939 samples are skipped, "nearly five sectors"), in the last
// audio track the last 2940 samples (exactly five sectors) do not count. A track can be both.
// Sources: "AccurateRip CRC Calculation", dBpoweramp developers' forum
// (forum.dbpoweramp.com/showthread.php?t=20641); "Calculating AccurateRip Checksums",
// jonls.dk/2009/10/calculating-accuraterip-checksums.
class TrackChecksums {
 public:
  static constexpr std::int64_t kSamplesPerSector = 588;
  static constexpr std::int64_t kEdgeSamples = 5 * kSamplesPerSector;

  // `sampleCount`: the track's length in stereo samples (588 a sector).
  TrackChecksums(std::int64_t sampleCount, bool firstAudioTrack, bool lastAudioTrack);

  void add(std::span<const std::uint8_t> bytes);

  // True once exactly sampleCount samples have been fed.
  bool complete() const { return position_ == sampleCount_ && pendingBytes_ == 0; }
  // The checksums of what has been fed so far; the track's once complete().
  TrackChecksumValues values() const;

 private:
  void addSample(std::uint32_t word);

  std::int64_t sampleCount_;
  std::int64_t firstCounted_;  // 1-based positions firstCounted_..lastCounted_ count
  std::int64_t lastCounted_;
  std::int64_t position_ = 0;  // samples fed
  std::uint8_t pending_[4] = {};
  std::size_t pendingBytes_ = 0;
  std::uint32_t v1_ = 0;
  std::uint32_t v2_ = 0;
  std::uint32_t offsetFinding_ = 0;
  unsigned long crc32_;
};

}  // namespace noru::accuraterip
