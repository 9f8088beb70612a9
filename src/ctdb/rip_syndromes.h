#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace noru::ctdb {

// The syndromes of a rip's audio as the CUETools database's files of syndromes hold a disc's:
// the audio region (from the first audio track's start, N stereo samples of two 16-bit
// little-endian words) laid out as rows of 5,880 samples, 11,760 words; each column over the
// rows 1 … L (L = N div 5880 − 2: the rows of the whole-disc CRC) is a codeword whose first row
// is the highest power, and S_i of a column is that codeword at α^i, i = 0 … 15 (GF(2^16)).
//
// Syndromes are linear: audio is added by XOR, so that adding audio a second time takes it out
// again, and a track read again is brought up to date by adding its old audio and its new.
class RipSyndromes {
 public:
  static constexpr std::int64_t kRowSamples = 5880;
  static constexpr std::size_t kColumns = 2 * kRowSamples;
  static constexpr std::size_t kSyndromes = 16;

  explicit RipSyndromes(std::int64_t samples);

  // Adds `pcm` (whole samples), which lies from sample `first` of the audio region on.
  void add(std::int64_t first, std::span<const std::uint8_t> pcm);

  std::int64_t rows() const { return rows_; }
  std::uint16_t syndrome(std::size_t index, std::size_t column) const {
    return syndromes_[index * kColumns + column];
  }
  // S_index of `column` with the rows laid out `offset` samples further on in the audio
  // (|offset| < kRowSamples), as the database's file holds them for a pressing that a drive
  // reads `offset` samples later than this rip. Follows from the syndromes at 0 and the rows at
  // the region's two ends, which the rip keeps.
  std::uint16_t syndromeAt(std::int32_t offset, std::size_t index, std::size_t column) const;
  // The offset, nearest 0 first, at which column 0's first syndromes are `column0`.
  std::optional<std::int32_t> offsetOf(std::span<const std::uint16_t> column0) const;

 private:
  std::uint16_t edgeWord(std::size_t edge, std::size_t column) const;

  std::int64_t rows_;
  std::vector<std::uint16_t> syndromes_;  // S_0 of every column, then S_1, …
  // Rows 0, 1, L and L + 1, added by XOR as the syndromes are.
  std::array<std::vector<std::uint8_t>, 4> edges_;
};

}  // namespace noru::ctdb
