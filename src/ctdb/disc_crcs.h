#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "ctdb/nearest_offset.h"

namespace noru::ctdb {

// The CRC-32s by which the CUETools database knows a disc's audio (the audio region: from the
// first audio track's start to the audio lead-out, N stereo samples of 16-bit little-endian
// words), kept so that they follow at every read offset within ±5879 samples of the audio as
// read, without reading it again.
//
// The whole-disc CRC is zlib's CRC-32 of the samples [5880, N − tail), tail = 5880 + N mod 5880;
// track k's runs from its start to the next track's (the first's from 5880, the last's to
// N − tail). At offset o the same windows are taken o samples further on in the audio read.
// For that, only the 5879 samples on either side of each of those boundaries are kept, with
// the CRC of what lies between them.
class DiscCRCs {
 public:
  static constexpr std::int64_t kSkipped = 5880;
  static constexpr std::int32_t kMaxOffset = ctdb::kMaxOffset;

  // The CRCs of a complete disc, at any offset.
  class AtOffsets {
   public:
    // |offset| ≤ kMaxOffset.
    std::uint32_t disc(std::int32_t offset) const;
    std::uint32_t track(std::size_t index, std::int32_t offset) const;
    // The offset, nearest 0 first, at which the whole disc's CRC is `crc`.
    std::optional<std::int32_t> offsetOf(std::uint32_t crc) const;

   private:
    friend class DiscCRCs;
    // The CRC of the samples [from, to) of boundary `index`'s window.
    std::uint32_t windowCRC(std::size_t index, std::int64_t from, std::int64_t to) const;

    std::vector<std::vector<std::uint32_t>> prefixes_;  // by boundary: CRCs of each window's start
    std::vector<std::uint32_t> middles_;                // by track
    // zlib's operators that append so many bytes to a CRC: of 0 … 2 × kMaxOffset samples, of
    // each track's middle, of everything between the first window and the last.
    std::vector<unsigned long> samplesAppended_;
    std::vector<unsigned long> middleAppended_;
    std::uint32_t inner_ = 0;
    unsigned long innerAppended_ = 0;
  };

  // For a disc whose audio tracks hold `trackSamples` stereo samples each, in order. Nothing
  // when a track is too short for its windows (the first and the last need 0.4 s, the others
  // 0.27 s: no real disc has such tracks).
  static std::optional<DiscCRCs> forTracks(std::vector<std::int64_t> trackSamples);

  // Takes the whole audio of the track at `index` (exactly its samples), in place of what an
  // earlier read of it gave.
  void setTrack(std::size_t index, std::span<const std::uint8_t> pcm);
  // Once every track is set.
  std::optional<AtOffsets> atOffsets() const;

 private:
  struct Track {
    std::int64_t start = 0;  // in samples from the first audio track's start
    std::int64_t samples = 0;
    std::int64_t headFrom = 0, headTo = 0;  // kept samples, from the track's start
    std::int64_t tailFrom = 0, tailTo = 0;
    std::vector<std::uint8_t> head, tail;
    std::uint32_t middle = 0;
    bool set = false;
  };

  std::vector<Track> tracks_;
};

}  // namespace noru::ctdb
